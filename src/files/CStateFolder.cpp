#include "CStateFolder.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BlockingMode.h"

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

std::string ProblemText(const std::string& path, const char* reason)
{
    return path + ": " + reason;
}

// Where the user's folder of a kind starts and which of its folders are ours
// to make and check; empty base when the environment names none.
void Base(CStateFolder::Kind kind, std::string& base, std::vector<std::string>& ours)
{
    base.clear();
    ours.clear();
    if (kind == CStateFolder::Kind::State) {
        if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/')
            base = xdg;
        else if (const char* home = std::getenv("HOME"); home && *home == '/')
            base = std::string(home) + "/.local/state";
        ours.push_back("ORMID");
    } else {
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
            base = runtime;
        ours.push_back("ormid");
    }
    if (base.empty()) {
        base = "/tmp";
        ours = {"ormid-" + std::to_string(::getuid())};
        if (kind == CStateFolder::Kind::State)
            ours.push_back("ORMID");
    }
}

// Makes every missing folder of a path the user named (his own choice, so
// links are followed there), new ones 0700; returns it opened.
int OpenUserBase(const std::string& path)
{
    for (size_t at = 1; at < path.size(); ++at)
        if (path[at] == '/')
            (void)::mkdir(path.substr(0, at).c_str(), 0700);
    (void)::mkdir(path.c_str(), 0700);
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

std::string CStateFolder::Location(Kind kind, const std::vector<std::string>& below)
{
    std::string base;
    std::vector<std::string> ours;
    Base(kind, base, ours);
    std::string path = WithSlash(base);
    for (const std::string& part : ours)
        path += part + "/";
    for (const std::string& part : below)
        path += part + "/";
    return path;
}

CStateFolder::CStateFolder(Kind kind, const std::vector<std::string>& below)
{
    std::string base;
    std::vector<std::string> ours;
    Base(kind, base, ours);
    const int fd = OpenUserBase(base);
    if (fd < 0) {
        m_problem = ProblemText(base, std::strerror(errno));
        return;
    }
    ours.insert(ours.end(), below.begin(), below.end());
    OpenBelow(fd, WithSlash(base), ours, true);
    ::close(fd);
}

CStateFolder::CStateFolder(const std::string& path)
{
    if (path.empty()) {
        m_problem = "no folder";
        return;
    }
    std::string parent = path;
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    const size_t slash = parent.rfind('/');
    const std::string name = slash == std::string::npos ? parent : parent.substr(slash + 1);
    parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : parent.substr(0, slash));
    const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_problem = ProblemText(parent, std::strerror(errno));
        return;
    }
    OpenBelow(fd, WithSlash(parent), {name}, false);
    ::close(fd);
}

bool CStateFolder::OpenBelow(int base, const std::string& basePath, const std::vector<std::string>& below, bool create)
{
    int fd = ::dup(base);
    std::string path = basePath;
    for (const std::string& part : below) {
        path += part;
        if (create)
            (void)::mkdirat(fd, part.c_str(), 0700);
        const int next = ::openat(fd, part.c_str(), kFolderFlags);
        ::close(fd);
        fd = next;
        if (fd < 0) {
            m_problem = ProblemText(path, errno == ELOOP || errno == ENOTDIR ? "not a folder" : std::strerror(errno));
            return false;
        }
        struct stat info;
        if (::fstat(fd, &info) != 0 || info.st_uid != ::getuid()) {
            m_problem = ProblemText(path, "the folder belongs to another user");
            ::close(fd);
            return false;
        }
        // A folder the caller named is the user's to set up: one that others
        // may write into is refused, not changed. Group write is the user's
        // own where the group is his (a umask of 002 gives it).
        const bool othersWrite = (info.st_mode & 002) != 0 || ((info.st_mode & 020) != 0 && info.st_gid != ::getgid());
        if (!create && othersWrite) {
            m_problem = ProblemText(path, "other users may write into the folder");
            ::close(fd);
            return false;
        }
        // Ours: nobody else may add or change anything in it.
        if (create && (info.st_mode & 077) != 0 && ::fchmod(fd, info.st_mode & 0700) != 0) {
            m_problem = ProblemText(path, std::strerror(errno));
            ::close(fd);
            return false;
        }
        path += "/";
    }
    m_fd = fd;
    m_path = path;
    return true;
}

CStateFolder::~CStateFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

CStateFolder::CStateFolder(const CStateFolder& other)
    : m_fd(other.m_fd >= 0 ? ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0) : -1), m_path(other.m_path),
      m_problem(other.m_problem)
{
}

CStateFolder& CStateFolder::operator=(const CStateFolder& other)
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd >= 0 ? ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0) : -1;
        m_path = other.m_path;
        m_problem = other.m_problem;
    }
    return *this;
}

int CStateFolder::OpenFile(const std::string& name, int flags, int& error) const
{
    error = 0;
    if (m_fd < 0 || name.empty() || name.find('/') != std::string::npos) {
        error = m_fd < 0 ? ENOENT : EINVAL;
        return -1;
    }
    const int fd =
        ::openat(m_fd, name.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno == ELOOP ? EINVAL : errno;
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        error = S_ISREG(info.st_mode) ? EPERM : EINVAL;
        ::close(fd);
        return -1;
    }
    if ((flags & O_TRUNC) && ::ftruncate(fd, 0) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    MakeBlocking(fd);
    return fd;
}

bool CStateFolder::Read(const std::string& name, std::string& text, size_t maxBytes, int& error) const
{
    text.clear();
    const int fd = OpenFile(name, O_RDONLY, error);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) == 0 && uint64_t(info.st_size) > maxBytes)
        error = EFBIG;
    char block[4096];
    while (!error) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        if (text.size() + size_t(got) > maxBytes)
            error = EFBIG;
        else
            text.append(block, size_t(got));
    }
    ::close(fd);
    if (error)
        text.clear();
    return error == 0;
}

// 0 when name holds the user's regular file or nothing (exists tells which),
// else EINVAL or EPERM.
int CStateFolder::CheckedStat(const std::string& name, bool& exists) const
{
    struct stat info;
    exists = ::fstatat(m_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists)
        return 0;
    if (!S_ISREG(info.st_mode))
        return EINVAL;
    return info.st_uid == ::getuid() ? 0 : EPERM;
}

bool CStateFolder::Replace(const std::string& name, const std::string& text, int& error) const
{
    error = 0;
    if (m_fd < 0 || name.empty() || name.find('/') != std::string::npos) {
        error = m_fd < 0 ? ENOENT : EINVAL;
        return false;
    }
    bool exists = false;
    if ((error = CheckedStat(name, exists)) != 0)
        return false;
    const std::string temp = "." + name + "." + std::to_string(::getpid()) + ".tmp";
    (void)::unlinkat(m_fd, temp.c_str(), 0);
    const int fd = ::openat(m_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        return false;
    }
    size_t done = 0;
    while (done < text.size() && !error) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            error = put < 0 ? errno : EIO;
        else
            done += size_t(put);
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    // Checked again: the name may have been taken meanwhile (by this user).
    if (!error)
        error = CheckedStat(name, exists);
    if (!error && ::renameat(m_fd, temp.c_str(), m_fd, name.c_str()) != 0)
        error = errno;
    if (error) {
        (void)::unlinkat(m_fd, temp.c_str(), 0);
        return false;
    }
    (void)::fsync(m_fd);
    return true;
}

bool CStateFolder::Remove(const std::string& name) const
{
    if (m_fd < 0)
        return false;
    bool exists = false;
    if (CheckedStat(name, exists) != 0)
        return false;
    return !exists || ::unlinkat(m_fd, name.c_str(), 0) == 0 || errno == ENOENT;
}

bool CStateFolder::IsForeign(const std::string& name) const
{
    bool exists = false;
    return m_fd >= 0 && CheckedStat(name, exists) != 0;
}

std::vector<std::string> CStateFolder::Names() const
{
    std::vector<std::string> names;
    if (m_fd < 0)
        return names;
    const int fd = ::openat(m_fd, ".", kFolderFlags);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}
