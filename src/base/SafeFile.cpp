#include "SafeFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenRegularFileForReading(const char* path, int& error)
{
    error = 0;
    if (!path || !*path) {
        error = ENOENT;
        return -1;
    }
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& text, size_t maxBytes, int& error)
{
    text.clear();
    const int fd = OpenRegularFileForReading(path.c_str(), error);
    if (fd < 0)
        return false;
    char block[4096];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            break;
        }
        if (got == 0)
            break;
        if (text.size() + size_t(got) > maxBytes) {
            error = EFBIG;
            break;
        }
        text.append(block, size_t(got));
    }
    ::close(fd);
    if (error)
        text.clear();
    return error == 0;
}

std::string SystemErrorText(int error)
{
    return std::strerror(error ? error : EIO);
}
