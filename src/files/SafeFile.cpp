#include "SafeFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BlockingMode.h"

int OpenRegularFileForReading(const char* path, int& error)
{
    return OpenRegularFile(path, O_RDONLY, error);
}

int OpenRegularFile(const char* path, int flags, int& error)
{
    error = 0;
    if (!path || !*path) {
        error = ENOENT;
        return -1;
    }
    const int fd = ::open(path, (flags & ~O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
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
    MakeBlocking(fd);
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

std::string FileErrorLine(const std::string& path, int error)
{
    // The layer's own code for a path that names no regular file.
    const std::string reason = error == EINVAL ? "not a regular file" : SystemErrorText(error);
    return (path.empty() ? std::string("(no file name)") : path) + ": " + reason;
}

std::string WithFileError(const std::string& text, const std::string& path, int error)
{
    return text + "\n" + FileErrorLine(path, error);
}
