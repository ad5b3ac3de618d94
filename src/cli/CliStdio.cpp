#include "CliStdio.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

#include "CliImage.h"
#include "IOperatorReport.h"
#include "SafeFile.h"

namespace {

// Copies from one descriptor to the other; 0, or the error (EFBIG past max).
int Copy(int from, int to, size_t max)
{
    char block[65536];
    size_t total = 0;
    for (;;) {
        const ssize_t got = ::read(from, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        total += size_t(got);
        if (total > max)
            return EFBIG;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::write(to, block + put, size_t(got - put));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            put += n;
        }
    }
}

}  // namespace

CliStdio::~CliStdio()
{
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

bool CliStdio::MakeFolder(IOperatorReport& report)
{
    if (!m_folder.empty())
        return true;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/ormid-cli-XXXXXX";
    if (!::mkdtemp(&pattern[0])) {
        report.ShowMessage("ormid-cli: no scratch folder for standard input or output: " + SystemErrorText(errno));
        return false;
    }
    m_folder = pattern;
    return true;
}

bool CliStdio::TakeInput(std::string& path, IOperatorReport& report)
{
    if (!Is(path))
        return true;
    if (!m_input.empty()) {
        report.ShowMessage("ormid-cli: standard input (-) can be read only once.");
        return false;
    }
    if (!MakeFolder(report))
        return false;
    const std::string copy = m_folder + "/standard-input";
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int error = fd < 0 ? errno : Copy(STDIN_FILENO, fd, kMaxInput);
    if (fd >= 0)
        ::close(fd);
    if (error) {
        report.ShowMessage("ormid-cli: standard input could not be read: " + SystemErrorText(error));
        return false;
    }
    m_input = copy;
    path = copy;
    return true;
}

bool CliStdio::TakeOutput(std::string& path, IOperatorReport& report)
{
    if (!Is(path))
        return true;
    if (::isatty(STDOUT_FILENO)) {
        report.ShowMessage("ormid-cli: the output is binary and is not written to a terminal; redirect it to a "
                           "file or a pipe.");
        return false;
    }
    if (!MakeFolder(report))
        return false;
    m_output = m_folder + "/standard-output";
    path = m_output;
    return true;
}

bool CliStdio::SendOutput(IOperatorReport& report)
{
    if (m_output.empty())
        return true;
    if (!FlushOutput(report))
        return false;
    int error = 0;
    const int fd = OpenRegularFileForReading(m_output.c_str(), error);
    if (fd >= 0) {
        error = Copy(fd, STDOUT_FILENO, size_t(-1));
        ::close(fd);
    }
    if (error) {
        report.ShowMessage("Could not write the output: " + SystemErrorText(error));
        return false;
    }
    return true;
}

CliStdio& TheStdio()
{
    static CliStdio stdio;
    return stdio;
}
