#include "CGetAppPath.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ExecutablePath()
{
    // Grown until the whole link fits: a path is never cut.
    for (size_t size = 256; size <= (1u << 20); size *= 2) {
        std::string path(size, '\0');
        const ssize_t n = ::readlink("/proc/self/exe", &path[0], size);
        if (n <= 0)
            return std::string();
        if (size_t(n) < size) {
            path.resize(size_t(n));
            return path;
        }
    }
    return std::string();
}

bool MakeFolders(const std::string& folder)
{
    // Creates every missing folder along the path.
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || folder[at] == '/') {
            const std::string part = folder.substr(0, at);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace

CGetAppPath::CGetAppPath() : m_modulePath(ExecutablePath())
{
    const size_t slash = m_modulePath.rfind('/');
    m_directory = slash == std::string::npos ? std::string() : m_modulePath.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? m_modulePath : m_modulePath.substr(slash + 1);
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        m_name = file;
    } else {
        m_name = file.substr(0, dot);
        m_extension = file.substr(dot);
    }
    m_folder = m_drive + m_directory;
}

const std::string& CGetAppPath::ProgramFolder()
{
    static const std::string folder = CGetAppPath().GetFolder();
    return folder;
}

std::string CGetAppPath::WorkingFolder()
{
    if (const char* forced = std::getenv("ORMID_WORKING_FOLDER"); forced && *forced) {
        MakeFolders(WithSlash(forced));
        return WithSlash(forced);
    }
    const std::string& program = ProgramFolder();
    if (!program.empty() && ::access(program.c_str(), W_OK) == 0)
        return program;
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        data = WithSlash(xdg);
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = WithSlash(home) + ".local/share/";
    else
        return program;
    data += "ORMID/";
    MakeFolders(data);
    return data;
}
