#include "CPortRegistration.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CStateFolder.h"

namespace {

const char kPrefix[] = "unitsim-";

std::string ReadLink(const std::string& path)
{
    // Grown until the whole link fits: a path is never cut.
    for (size_t size = 256; size <= (1u << 20); size *= 2) {
        std::string target(size, '\0');
        const ssize_t n = ::readlink(path.c_str(), &target[0], size);
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < size) {
            target.resize(static_cast<size_t>(n));
            return target;
        }
    }
    return std::string();
}

void RemoveStaleLinks(const std::string& folder)
{
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return;
    while (struct dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(kPrefix, 0) != 0)
            continue;
        const std::string path = folder + "/" + name;
        const long pid = std::strtol(name.c_str() + sizeof kPrefix - 1, nullptr, 10);
        struct stat st { };
        const bool ownerGone = pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        const bool targetGone = ::stat(path.c_str(), &st) != 0;
        if (ownerGone || targetGone)
            ::unlink(path.c_str());
    }
    ::closedir(d);
}

}  // namespace

CPortRegistration::~CPortRegistration()
{
    RemoveAll();
}

std::string CPortRegistration::PortsFolder()
{
    std::string folder = CStateFolder::Location(CStateFolder::Kind::Runtime, {"ports"});
    folder.pop_back();
    return folder;
}

bool CPortRegistration::Register(const std::string& port, std::string* error)
{
    // Made 0700 and checked to be the user's own, so that nobody can plant
    // links the program's port list would take for units.
    const CStateFolder ports(CStateFolder::Kind::Runtime, {"ports"});
    if (!ports.IsOpen()) {
        *error = "cannot use the ports folder " + ports.Problem();
        return false;
    }
    const std::string folder = PortsFolder();
    RemoveStaleLinks(folder);
    return Link(folder + "/" + kPrefix + std::to_string(::getpid()), port, error);
}

bool CPortRegistration::AddLink(const std::string& linkPath, const std::string& port, std::string* error)
{
    struct stat st { };
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = linkPath + " exists and is not a symlink";
        return false;
    }
    return Link(linkPath, port, error);
}

bool CPortRegistration::Link(const std::string& linkPath, const std::string& port, std::string* error)
{
    // Made beside its place and renamed over it, so an old link is replaced whole.
    const std::string tmp = linkPath + ".new" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(port.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), linkPath.c_str()) != 0) {
        *error = "cannot create link " + linkPath + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    m_port = port;
    m_links.push_back(linkPath);
    return true;
}

void CPortRegistration::RemoveAll()
{
    for (const auto& link : m_links) {
        // Another simulator may have taken the name over since; leave its link.
        if (ReadLink(link) == m_port)
            ::unlink(link.c_str());
    }
    m_links.clear();
}
