#include "CAtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "CInPlaceBackup.h"
#include "StaleFiles.h"

namespace {

// The path with a symbolic link followed, so that what the link points to is
// replaced and the link stays.
std::string Resolved(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string result = real;
    std::free(real);
    return result;
}

void CopyAttribute(const std::string& from, int to, const char* name)
{
    const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
    if (size < 0)
        return;
    std::vector<char> value(static_cast<size_t>(size) + 1);
    const ssize_t got = ::getxattr(from.c_str(), name, value.data(), size_t(size));
    if (got >= 0)
        (void)::fsetxattr(to, name, value.data(), size_t(got), 0);
}

// The old file's access control list and the user's own extended attributes
// go to the new one (where the file system keeps them and allows it).
void CopyAttributes(const std::string& from, int to)
{
    CopyAttribute(from, to, "system.posix_acl_access");
    const ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return;
    std::vector<char> names(static_cast<size_t>(size));
    const ssize_t got = ::listxattr(from.c_str(), names.data(), names.size());
    for (ssize_t at = 0; at < got;) {
        const char* name = names.data() + at;
        if (std::strncmp(name, "user.", 5) == 0)
            CopyAttribute(from, to, name);
        at += ssize_t(std::strlen(name)) + 1;
    }
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The folder's entry for a renamed file reaches the disk too.
void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

CAtomicFile::~CAtomicFile()
{
    Abort();
}

void CAtomicFile::Fail(int error)
{
    m_error = error ? error : EIO;
}

bool CAtomicFile::Open(const char* path, uint64_t size)
{
    Abort();
    m_error = 0;
    m_inPlace = false;
    m_size = size;
    m_written = 0;
    m_reserved = 0;
    if (!path || !*path) {
        Fail(ENOENT);
        return false;
    }
    m_target = path;
    struct stat old;
    const bool exists = ::stat(m_target.c_str(), &old) == 0;
    if (exists) {
        m_target = Resolved(m_target);
        if (S_ISDIR(old.st_mode)) {
            Fail(EISDIR);
            return false;
        }
        // Never rename over a device or a FIFO, nor write into one.
        if (!S_ISREG(old.st_mode)) {
            Fail(EINVAL);
            return false;
        }
        if (::access(m_target.c_str(), W_OK) != 0) {
            Fail(errno);
            return false;
        }
        if (old.st_nlink > 1)
            return OpenInPlace();
    }

    // The temporary name extends the target's; for a name near the system's
    // limit a short one in the same folder is used instead.
    const std::string folder = FolderOf(m_target);
    RemoveStaleTemporaries(folder, m_target.substr(folder.size()));
    bool shortName = false;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const std::string suffix = "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".tmp";
        m_temp = shortName ? folder + ".ormid" + suffix : m_target + suffix;
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno == ENAMETOOLONG && !shortName) {
            shortName = true;
            --attempt;
            continue;
        }
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temp.clear();
        // A folder that refuses new files may still hold a writable file.
        if (exists)
            return OpenInPlace();
        Fail(error);
        return false;
    }
    if (exists) {
        // Owner and group first: changing them may clear set-id bits.
        (void)!::fchown(m_fd, old.st_uid, old.st_gid);
        (void)::fchmod(m_fd, old.st_mode & 07777);
        CopyAttributes(m_target, m_fd);
    }
    return true;
}

bool CAtomicFile::OpenInPlace()
{
    m_inPlace = true;
    m_temp.clear();
    m_targetFd = ::open(m_target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_targetFd < 0) {
        Fail(errno);
        return false;
    }
    struct stat info;
    if (::fstat(m_targetFd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Fail(EINVAL);
        ::close(m_targetFd);
        m_targetFd = -1;
        return false;
    }
    m_oldSize = uint64_t(info.st_size);
    const int flags = ::fcntl(m_targetFd, F_GETFL);
    if (flags != -1)
        (void)::fcntl(m_targetFd, F_SETFL, flags & ~O_NONBLOCK);
    m_fd = ::memfd_create("ormid-in-place", MFD_CLOEXEC);
    if (m_fd < 0) {
        Fail(errno);
        ::close(m_targetFd);
        m_targetFd = -1;
        return false;
    }
    // Room for the whole new content before anything is overwritten. The
    // file could be opened, so a lack of room is a failure of the writing
    // (Write reports it), not of the opening.
    if (m_size > 0 && !Reserve(m_size)) {
        ::close(m_fd);
        m_fd = -1;
    }
    return true;
}

// The new content from memory into the target, the old kept until the new
// has reached the disk.
bool CAtomicFile::CopyInPlace()
{
    std::string old(size_t(m_oldSize), '\0');
    for (size_t done = 0; done < old.size();) {
        const ssize_t got = ::pread(m_targetFd, &old[done], old.size() - done, off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            Fail(got == 0 ? EIO : errno);
            return false;
        }
        done += size_t(got);
    }
    // Kept on the disk as well, for the case that this program is killed
    // during the copy.
    CInPlaceBackup backup;
    backup.Keep(m_targetFd, old);
    char block[65536];
    bool ok = true;
    for (uint64_t at = 0; ok && at < m_written;) {
        const ssize_t got = ::pread(m_fd, block, size_t(std::min<uint64_t>(sizeof block, m_written - at)), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            Fail(got == 0 ? EIO : errno);
            ok = false;
            break;
        }
        for (ssize_t put = 0; ok && put < got;) {
            const ssize_t n = ::pwrite(m_targetFd, block + put, size_t(got - put), off_t(at) + put);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                Fail(n == 0 ? EIO : errno);
                ok = false;
            } else {
                put += n;
            }
        }
        at += uint64_t(got);
    }
    if (ok && (::ftruncate(m_targetFd, off_t(m_written)) != 0 || ::fsync(m_targetFd) != 0)) {
        Fail(errno);
        ok = false;
    }
    if (!ok)
        RestoreInPlace(old);
    return ok;
}

// Back to the old bytes: they fit where they were, so neither room nor a
// size limit stands in the way.
void CAtomicFile::RestoreInPlace(const std::string& old)
{
    for (size_t done = 0; done < old.size();) {
        const ssize_t n = ::pwrite(m_targetFd, old.data() + done, old.size() - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    (void)!::ftruncate(m_targetFd, off_t(old.size()));
    (void)::fsync(m_targetFd);
}

bool CAtomicFile::Reserve(uint64_t size)
{
    if (m_fd < 0)
        return false;
    if (!m_inPlace || size <= m_reserved)
        return true;
    const int error = ::posix_fallocate(m_targetFd, 0, off_t(size));
    if (error != 0) {
        Fail(error);
        return false;
    }
    m_reserved = size;
    return true;
}

void CAtomicFile::RemoveStaleTemporaries(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    // TARGET.PID.N.tmp and .ormid.PID.N.tmp, nothing else.
    auto pidOf = [](const std::string& file, const std::string& prefix) -> long {
        const long pid = PidInName(file, prefix, '.');
        if (pid == 0)
            return 0;
        const size_t attempt = file.find('.', prefix.size()) + 1;
        const bool numbered = file.size() > attempt + 4 &&
                              file.find_first_not_of("0123456789", attempt) == file.size() - 4 &&
                              file.compare(file.size() - 4, 4, ".tmp") == 0;
        return numbered ? pid : 0;
    };
    while (const dirent* entry = ::readdir(dir)) {
        const std::string file = entry->d_name;
        long pid = pidOf(file, name + ".");
        if (pid == 0)
            pid = pidOf(file, ".ormid.");
        if (pid == 0)
            continue;
        const std::string path = folder + file;
        struct stat info;
        if (IsProcessGone(pid) && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            (void)::unlink(path.c_str());
    }
    ::closedir(dir);
}

bool CAtomicFile::HasRoomFor(const char* path, uint64_t size, int& error)
{
    error = 0;
    if (!path || !*path) {
        error = ENOENT;
        return false;
    }
    std::string target = path;
    struct stat old;
    uint64_t needed = size;
    if (::stat(target.c_str(), &old) == 0) {
        target = Resolved(target);
        if (S_ISDIR(old.st_mode))
            error = EISDIR;
        else if (!S_ISREG(old.st_mode))
            error = EINVAL;
        else if (::access(target.c_str(), W_OK) != 0)
            error = errno;
        if (error)
            return false;
        // A file with more links is written in place, over its own blocks.
        if (old.st_nlink > 1)
            needed = size > uint64_t(old.st_size) ? size - uint64_t(old.st_size) : 0;
    }
    const std::string folder = FolderOf(target);
    const std::string where = folder.empty() ? "." : folder;
    if (::stat(target.c_str(), &old) != 0 && ::access(where.c_str(), W_OK | X_OK) != 0) {
        error = errno;
        return false;
    }
    struct statvfs fs;
    if (::statvfs(where.c_str(), &fs) != 0) {
        error = errno;
        return false;
    }
    if (uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize) < needed) {
        error = ENOSPC;
        return false;
    }
    return true;
}

bool CAtomicFile::Move(const char* from, const char* to, int& error)
{
    error = 0;
    struct stat target;
    if (::stat(to, &target) == 0 && !S_ISREG(target.st_mode)) {
        error = S_ISDIR(target.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (::rename(from, to) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool CAtomicFile::Write(const void* data, size_t length)
{
    if (m_fd < 0) {
        if (!m_error)
            Fail(EBADF);
        return false;
    }
    auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t put = ::write(m_fd, p, length);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            Fail(put == 0 ? EIO : errno);
            return false;
        }
        p += put;
        length -= size_t(put);
        m_written += uint64_t(put);
    }
    return true;
}

bool CAtomicFile::Commit()
{
    if (m_fd < 0) {
        if (!m_error)
            Fail(EBADF);
        Abort();
        return false;
    }
    if (m_inPlace) {
        const bool ok = CopyInPlace();
        ::close(m_fd);
        m_fd = -1;
        const bool closed = ::close(m_targetFd) == 0;
        m_targetFd = -1;
        if (ok && !closed)
            Fail(errno);
        return ok && closed;
    }
    bool ok = ::fsync(m_fd) == 0;
    if (!ok)
        Fail(errno);
    if (::close(m_fd) != 0 && ok) {
        ok = false;
        Fail(errno);
    }
    m_fd = -1;
    if (ok && !m_inPlace && ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        ok = false;
        Fail(errno);
    }
    if (ok && !m_inPlace)
        SyncFolder(FolderOf(m_target));
    if (ok)
        m_temp.clear();
    else
        Abort();
    return ok;
}

void CAtomicFile::Abort()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_targetFd >= 0) {
        // The room reserved for the new content may have made it longer.
        struct stat info;
        if (::fstat(m_targetFd, &info) == 0 && uint64_t(info.st_size) != m_oldSize)
            (void)!::ftruncate(m_targetFd, off_t(m_oldSize));
        ::close(m_targetFd);
    }
    m_targetFd = -1;
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_temp.clear();
}
