#include "CLogFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "CGetAppPath.h"
#include "CStateFolder.h"
#include "CIniFile.h"

namespace {

const char* const kDebugIni = "TXDoruvevAzad.ini";

// Holds the advisory lock on the log file while one message is written, so
// that another process writing the same file cannot interleave with it.
class FileLock {
public:
    explicit FileLock(int fd) : m_fd(fd) { ::flock(m_fd, LOCK_EX); }
    ~FileLock() { ::flock(m_fd, LOCK_UN); }

private:
    int m_fd;
};

}  // namespace

CLogFile::~CLogFile()
{
    Close();
}

bool CLogFile::Open(const char* fileName, Mode mode)
{
    return Open(fileName, CGetAppPath::WorkingFolder(), mode);
}

namespace {

// The log file is only written when it is the user's regular file reached
// without a symbolic link, in a folder of the user's that nobody else may
// write into: a link could point anywhere the user may write, a FIFO or a
// device could block every message.
int OpenLogFile(const std::string& path, int flags)
{
    const size_t slash = path.rfind('/');
    const CStateFolder folder(slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1));
    int error = 0;
    const int fd = folder.OpenFile(path.substr(slash + 1), flags | O_CREAT, error);
    if (fd < 0) {
        static bool told = false;
        if (!told) {
            told = true;
            std::fprintf(stderr, "The log %s cannot be kept (%s): logging is off\n", path.c_str(),
                         folder.IsOpen() ? std::strerror(error) : folder.Problem().c_str());
        }
    }
    return fd;
}

}  // namespace

// Appending keeps every other run's lines. A log grown past its limit is
// moved aside whole (a run still writing it goes on writing there), under
// the lock, and only when the name still names the file that was locked: two
// runs never both move the log aside.
int CLogFile::OpenAppended(const std::string& path)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int fd = OpenLogFile(path, O_WRONLY | O_APPEND);
        if (fd < 0)
            return -1;
        bool keep;
        {
            FileLock lock(fd);  // released before the file is closed
            struct stat mine, named;
            const bool same = ::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                              mine.st_ino == named.st_ino && mine.st_dev == named.st_dev;
            // Not the same: moved aside meanwhile, open the new one.
            keep = same && (mine.st_size < kAppendLimit || ::rename(path.c_str(), (path + ".old").c_str()) != 0);
        }
        if (keep)
            return fd;
        ::close(fd);
    }
    return -1;
}

bool CLogFile::Open(const char* fileName, const std::string& folder, Mode mode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    // An open log stays as it is: the switch is read once, when it opens.
    if (m_open)
        return true;
    std::string value;
    if (CIniFile(folder).ReadValue(kDebugIni, "[DEBUG]", "Log", value))
        m_level = std::atoi(value.substr(0, 49).c_str());
    else
        m_level = 0;
    if (m_level == 0)
        return true;
    if (folder.empty() || !fileName)
        return false;
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    path += fileName;

    m_append = mode == kAppend;
    if (m_append) {
        m_file = OpenAppended(path);
    } else {
        // The previous run's log is replaced.
        m_file = OpenLogFile(path, O_RDWR);
        if (m_file >= 0 && ::ftruncate(m_file, 0) != 0) {
            ::close(m_file);
            m_file = -1;
        }
    }
    m_open = m_file >= 0;
    m_writePos = 0;
    if (m_open)
        WriteLocked("Log open");
    return m_open;
}

bool CLogFile::IsOpen() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_open;
}

void CLogFile::Write(const char* format, ...)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_open || m_level == 0 || !format)
        return;
    // A message longer than the buffer is cut at 1,023 characters.
    va_list args;
    va_start(args, format);
    vsnprintf(m_text, sizeof m_text, format, args);
    va_end(args);
    WriteLocked(m_text);
}

void CLogFile::WriteLocked(const char* text)
{
    const time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char date[32], clock[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", local.tm_mon + 1, local.tm_mday, local.tm_year % 100);
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    std::snprintf(m_prefix, sizeof m_prefix, "%s %s -", date, clock);

    char line[sizeof m_prefix + kTextSize + 2];
    const int total = std::snprintf(line, sizeof line, "%s %s", m_prefix, text);
    const size_t length = total < 0 ? 0 : std::min(size_t(total), sizeof line - 1);

    FileLock lock(m_file);
    // The first line carries the time stamp; the rest of a long message
    // follows on lines of its own.
    size_t done = 0;
    do {
        const size_t n = std::min(kLineLength, length - done);
        char out[kLineLength + 2];
        std::memcpy(out, line + done, n);
        out[n] = '\r';
        out[n + 1] = '\n';
        if (m_append) {
            // At the end of the file, wherever other runs have brought it.
            (void)!::write(m_file, out, n + 2);
            done += n;
            continue;
        }
        if (m_writePos >= kWrapAt)
            m_writePos = 0;
        // A failed write is not reported; the position moves on regardless.
        (void)!::pwrite(m_file, out, n + 2, off_t(m_writePos));
        m_writePos += uint32_t(n + 2);
        done += n;
    } while (done < length);
}

void CLogFile::Close()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_open)
        WriteLocked("Log close");
    if (m_file >= 0)
        ::close(m_file);
    m_file = -1;
    m_open = false;
    m_append = false;
    m_writePos = 0;
    m_level = 0;
    std::memset(m_text, 0, sizeof m_text);
    std::memset(m_prefix, 0, sizeof m_prefix);
}

CLogFile& TheLog()
{
    static CLogFile log;
    return log;
}

std::string GetOsDescription()
{
    struct utsname names;
    if (::uname(&names) != 0)
        return std::string();
    // The distribution's own name, when it gives one.
    std::string pretty;
    std::ifstream release("/etc/os-release");
    std::string line;
    while (std::getline(release, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            pretty = line.substr(12);
            if (pretty.size() >= 2 && (pretty.front() == '"' || pretty.front() == '\''))
                pretty = pretty.substr(1, pretty.size() - 2);
            break;
        }
    }
    char text[1024];
    std::snprintf(text, sizeof text, "%s%s%s %s %s (Build %s)\r\n", pretty.c_str(), pretty.empty() ? "" : ". ",
                  names.sysname, names.release, names.machine, names.version);
    return text;
}
