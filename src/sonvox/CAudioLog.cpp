#include "CAudioLog.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

CAudioLog::~CAudioLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CAudioLog::Open(const char* path)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_fd >= 0)
        return true;
    if (!path || !*path)
        return false;
    std::string file(path);
    size_t slash = file.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        // Only the last folder is made; an existing one is fine.
        std::string folder = file.substr(0, slash);
        ::mkdir(folder.c_str(), 0777);
    }
    // Without blocking: a device node of that name must not hold the host in
    // open(); anything but a regular file is refused before it is used.
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_pos = st.st_size > off_t(UINT32_MAX) ? UINT32_MAX : uint32_t(st.st_size);
    return true;
}

bool CAudioLog::IsOpen() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_fd >= 0;
}

std::string CAudioLog::TimeStamp()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t secs = system_clock::to_time_t(now);
    int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    struct tm t;
    localtime_r(&secs, &t);
    char buf[64];
    snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d:%03d ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
             t.tm_min, t.tm_sec, ms);
    return buf;
}

void CAudioLog::Write(const char* text)
{
    if (!text)
        return;
    size_t len = strnlen(text, kMaxMessage + 1);
    if (len == 0 || len > kMaxMessage)
        return;

    std::lock_guard<std::mutex> hold(m_lock);
    if (m_fd < 0)
        return;
    const std::string prefix = TimeStamp();
    size_t offset = 0;
    bool first = true;
    bool more;
    do {
        const size_t piece = len - offset < 254 ? len - offset : 254;
        std::string line = first ? prefix : std::string();
        line.append(text + offset, piece);
        if (line.size() + 2 >= kMaxLine) {
            line.resize(kMaxLine - 2);
            offset += first ? kMaxLine - 2 - prefix.size() : kMaxLine - 2;
            more = true;
        } else {
            offset += piece;
            more = false;
        }
        line += "\r\n";
        if (m_pos == 0 || m_pos >= kRingBytes)
            m_pos = 0;
        // A failed write is ignored: the log must never stop the library.
        if (::pwrite(m_fd, line.data(), line.size(), off_t(m_pos)) == ssize_t(line.size()))
            m_pos += uint32_t(line.size());
        first = false;
    } while (more && offset < len);
}

CAudioLog& TheAudioLog()
{
    static CAudioLog log;
    return log;
}

void LogPrintf(const char* format, ...)
{
    CAudioLog& log = TheAudioLog();
    if (!format || !log.IsOpen())
        return;
    // One more than the longest message, so that a longer one is seen as such.
    char buf[CAudioLog::kMaxMessage + 2];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n <= 0 || size_t(n) > CAudioLog::kMaxMessage)
        return;
    log.Write(buf);
}
