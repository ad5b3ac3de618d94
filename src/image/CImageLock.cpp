#include "CImageLock.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IOperatorReport.h"

CImageLock::~CImageLock()
{
    Unlock();
}

void CImageLock::Unlock()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    m_fd = -1;
}

bool CImageLock::Lock(const std::string& path, Mode mode, IOperatorReport& report, int waitMs)
{
    Unlock();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    const int operation = (mode == kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return true;  // nothing there to lose; the command reports what is missing
        struct stat held;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return true;
        }
        bool locked = false;
        for (;;) {
            if (::flock(fd, operation) == 0) {
                locked = true;
                break;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                // A file system without locks: go on as before there were any.
                ::close(fd);
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!locked) {
            ::close(fd);
            report.ShowMessage(path + " is in use by another program that is changing it.\n"
                                      "Nothing was done; try again when it has finished.");
            return false;
        }
        // Still the file the path names? A save in between renamed a new one
        // over it: lock that one instead.
        struct stat now;
        if (::stat(path.c_str(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino) {
            m_fd = fd;
            return true;
        }
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
}
