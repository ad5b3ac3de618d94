#include "CUnitLog.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

CUnitLog::CUnitLog() : m_start(std::chrono::steady_clock::now()) { }

CUnitLog::~CUnitLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool CUnitLog::Open(const std::string& path, std::string* error)
{
    // Without blocking and only a regular file: a FIFO would hold the unit
    // in open() until somebody read it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot open log file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = "cannot open log file " + path + ": not a regular file";
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_file = ::fdopen(fd, "a");
    if (!m_file) {
        *error = "cannot open log file " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    return true;
}

void CUnitLog::Write(const char* fmt, ...)
{
    if (!m_file)
        return;
    struct timeval tv { };
    ::gettimeofday(&tv, nullptr);
    struct tm lt { };
    ::localtime_r(&tv.tv_sec, &lt);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
    std::fprintf(m_file, "%02d:%02d:%02d.%03ld %9lld ms  ", lt.tm_hour, lt.tm_min, lt.tm_sec,
                 static_cast<long>(tv.tv_usec / 1000), static_cast<long long>(ms));
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(m_file, fmt, ap);
    va_end(ap);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

std::string CUnitLog::Printable(const uint8_t* data, size_t n, size_t keep)
{
    std::string s;
    const size_t shown = n > keep ? keep : n;
    for (size_t i = 0; i < shown; ++i) {
        const uint8_t c = data[i];
        if (c == '\r') {
            s += "\\r";
        } else if (c == '\n') {
            s += "\\n";
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            s += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    if (shown < n)
        s += "... (" + std::to_string(n) + " bytes)";
    return s;
}
