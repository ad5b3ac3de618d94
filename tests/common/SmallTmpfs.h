// A small tmpfs of its own (the tests run as root), for writers that meet a
// full disk or a read-only file system. Mounted() is false where the mount is
// not allowed (Missing() says why): the caller then skips, or fails under CI
// (REQUIRE_REAL_PART), which runs as root.
#pragma once

#include <string>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include "TempFolder.h"

class SmallTmpfs {
public:
    explicit SmallTmpfs(const char* size = "size=5m")
    {
        m_mounted = !m_folder.Path().empty() && ::mount("tmpfs", m_folder.Path().c_str(), "tmpfs", 0, size) == 0;
        if (!m_mounted)
            m_missing = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(m_folder.Path().c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Missing() const { return m_missing; }
    std::string File(const std::string& name) const { return m_folder.File(name); }
    void Write(const std::string& name, const std::string& text) const { m_folder.Write(name, text); }
    std::string Read(const std::string& name) const { return m_folder.Read(name); }

    // Takes every free byte (a file "filler" grows until the disk is full).
    void Fill() const
    {
        const int fd = ::open(File("filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        static const char block[4096] = {};
        while (::write(fd, block, sizeof block) > 0) { }
        ::close(fd);
    }
    // Frees what Fill took.
    void Free() const { ::unlink(File("filler").c_str()); }
    bool MakeReadOnly(bool readOnly) const
    {
        return ::mount("tmpfs", m_folder.Path().c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) ==
               0;
    }

private:
    TempFolder m_folder;
    bool m_mounted = false;
    std::string m_missing;
};
