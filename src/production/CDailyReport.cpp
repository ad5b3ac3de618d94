#include "CDailyReport.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "CStateFolder.h"
#include "SafeFile.h"

const char* const CDailyReport::kNotAddedText = "The results could not be added to the day's report.";
const char* const CDailyReport::kFolder = "reports";
const char* const CDailyReport::kExtension = ".jsonl";

namespace {

// A day's name as the program writes it, nothing else: no path reaches the
// folder through it.
bool IsDay(const std::string& day)
{
    if (day.size() != 10 || day[4] != '-' || day[7] != '-')
        return false;
    for (size_t i = 0; i < day.size(); ++i)
        if (i != 4 && i != 7 && (day[i] < '0' || day[i] > '9'))
            return false;
    return true;
}

std::string Reason(const std::string& path, int error)
{
    if (error == EPERM)
        return path + ": another user's file";
    return FileErrorLine(path, error);
}

}  // namespace

std::string CDailyReport::Day(time_t when)
{
    char text[16] = "";
    struct tm local { };
    if (localtime_r(&when, &local))
        strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::string CDailyReport::PathOf(const std::string& day)
{
    return CStateFolder::Location(CStateFolder::Kind::State, {kFolder}) + day + kExtension;
}

bool CDailyReport::Append(const std::vector<std::string>& lines, std::string& why, time_t when)
{
    const CStateFolder folder(CStateFolder::Kind::State, {kFolder});
    if (!folder.IsOpen()) {
        why = folder.Problem();
        return false;
    }
    const std::string name = Day(when) + kExtension;
    const std::string path = folder.Path() + name;
    int error = 0;
    const int fd = folder.OpenFile(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, error);
    if (fd < 0) {
        why = Reason(path, error);
        return false;
    }
    bool written = true;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            why = Reason(path, errno);
            close(fd);
            return false;
        }
    }
    for (const std::string& line : lines) {
        // One write a line: with O_APPEND a line lands whole at the end.
        ssize_t n;
        do
            n = write(fd, line.data(), line.size());
        while (n < 0 && errno == EINTR);
        if (n != ssize_t(line.size())) {
            why = Reason(path, n < 0 ? errno : ENOSPC);
            written = false;
            break;
        }
    }
    close(fd);  // releases the lock
    return written;
}

bool CDailyReport::Read(const std::string& day, std::string& text, std::string& why)
{
    if (!IsDay(day)) {
        why = day + ": not a day";
        return false;
    }
    const CStateFolder folder(CStateFolder::Kind::State, {kFolder});
    if (!folder.IsOpen()) {
        why = folder.Problem();
        return false;
    }
    int error = 0;
    if (!folder.Read(day + kExtension, text, size_t(256) << 20, error)) {
        why = Reason(folder.Path() + day + kExtension, error);
        return false;
    }
    return true;
}

std::vector<std::string> CDailyReport::Days()
{
    std::vector<std::string> days;
    const CStateFolder folder(CStateFolder::Kind::State, {kFolder});
    if (!folder.IsOpen())
        return days;
    const std::string extension = kExtension;
    for (const std::string& name : folder.Names()) {
        if (name.size() <= extension.size() ||
            name.compare(name.size() - extension.size(), std::string::npos, extension) != 0)
            continue;
        const std::string day = name.substr(0, name.size() - extension.size());
        if (IsDay(day))
            days.push_back(day);
    }
    std::sort(days.rbegin(), days.rend());
    return days;
}
