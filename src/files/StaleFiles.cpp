#include "StaleFiles.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsProcessGone(long pid)
{
    if (pid <= 0 || pid == long(::getpid()))
        return false;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

long PidInName(const std::string& name, const std::string& prefix, char stop)
{
    if (name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    size_t i = prefix.size();
    long pid = 0;
    const size_t first = i;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && i - first < 10)
        pid = pid * 10 + (name[i++] - '0');
    if (i == first)
        return 0;
    if (stop ? (i >= name.size() || name[i] != stop) : i != name.size())
        return 0;
    return pid;
}

void RemoveStaleFolders(const std::string& parent, const std::string& prefix)
{
    std::error_code error;
    std::filesystem::directory_iterator it(parent, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const long pid = PidInName(name, prefix, '-');
        struct stat info;
        // Only real folders: a link named like one is not followed.
        if (pid > 0 && IsProcessGone(pid) && ::lstat(it->path().c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid()) {
            std::error_code ignored;
            std::filesystem::remove_all(it->path(), ignored);
        }
    }
}
