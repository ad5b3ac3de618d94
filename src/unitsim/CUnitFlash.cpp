#include "CUnitFlash.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Set by OpenRegular for a path that names something other than a file.
constexpr int kNotRegular = -2;
int g_lastOpen = 0;

std::string SysError(const std::string& what, const std::string& path)
{
    if (g_lastOpen == kNotRegular)
        return what + " " + path + ": not a regular file";
    return what + " " + path + ": " + std::strerror(errno);
}

// Opens without blocking (a FIFO or device named as a file must not hang the
// unit in open()) and only a regular file; blocking mode is restored.
int OpenRegular(const std::string& path, int flags, mode_t mode = 0)
{
    g_lastOpen = 0;
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        g_lastOpen = kNotRegular;
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool ReadAll(int fd, uint8_t* dst, size_t n)
{
    while (n > 0) {
        ssize_t r = ::read(fd, dst, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        dst += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* src, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, src, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        src += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

CUnitFlash::CUnitFlash() : m_bytes(kFlashSize, 0xFF) { }

uint32_t CUnitFlash::SectorStart(int n)
{
    if (n <= 8)
        return static_cast<uint32_t>(n) * 0x2000;
    return static_cast<uint32_t>(n - 7) * 0x10000;
}

uint32_t CUnitFlash::SectorSize(int n)
{
    return n < 8 ? 0x2000 : 0x10000;
}

uint16_t CUnitFlash::SectorChecksum(int n) const
{
    uint32_t sum = 0;
    const uint8_t* p = SectorData(n);
    for (uint32_t i = 0, L = SectorSize(n); i < L; ++i)
        sum += p[i];
    return static_cast<uint16_t>(sum);
}

void CUnitFlash::EraseAll()
{
    std::fill(m_bytes.begin(), m_bytes.end(), 0xFF);
}

void CUnitFlash::ProgramSector(int n, const uint8_t* data)
{
    std::memcpy(m_bytes.data() + SectorStart(n), data, SectorSize(n));
}

bool CUnitFlash::AttachFile(const std::string& path, std::string* error)
{
    int fd = OpenRegular(path, O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT || g_lastOpen == kNotRegular) {
            *error = SysError("cannot open flash file", path);
            return false;
        }
        m_path = path;
        EraseAll();
        return Save(error);
    }
    struct stat st { };
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && st.st_size != static_cast<off_t>(kFlashSize)) {
        ::close(fd);
        *error = "flash file " + path + " is " + std::to_string(st.st_size) + " bytes, expected " +
                 std::to_string(kFlashSize);
        return false;
    }
    std::vector<uint8_t> bytes(kFlashSize);
    ok = ok && ReadAll(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (!ok) {
        *error = SysError("cannot read flash file", path);
        return false;
    }
    m_bytes.swap(bytes);
    m_path = path;
    return true;
}

bool CUnitFlash::Save(std::string* error)
{
    if (m_path.empty())
        return true;
    const std::string tmp = m_path + ".tmp";
    int fd = OpenRegular(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        *error = SysError("cannot create", tmp);
        return false;
    }
    bool ok = WriteAll(fd, m_bytes.data(), m_bytes.size()) && ::fdatasync(fd) == 0;
    int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        errno = savedErrno;
        *error = SysError("cannot write", tmp);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), m_path.c_str()) != 0) {
        *error = SysError("cannot replace", m_path);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool CUnitFlash::LoadImageFile(const std::string& path, std::string* error)
{
    int fd = OpenRegular(path, O_RDONLY);
    if (fd < 0) {
        *error = SysError("cannot open image file", path);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(kImageFileSize)) {
        ::close(fd);
        *error = "image file " + path + " is not " + std::to_string(kImageFileSize) + " bytes long";
        return false;
    }
    std::vector<uint8_t> file(kImageFileSize);
    bool ok = ReadAll(fd, file.data(), file.size());
    ::close(fd);
    if (!ok) {
        *error = SysError("cannot read image file", path);
        return false;
    }
    uint32_t version = file[0] | (file[1] << 8) | (file[2] << 16) | (static_cast<uint32_t>(file[3]) << 24);
    if (version != 1) {
        *error = "image file " + path + " has version " + std::to_string(version) + ", expected 1";
        return false;
    }
    std::memcpy(m_bytes.data(), file.data() + 8, kImageSize);
    return true;
}
