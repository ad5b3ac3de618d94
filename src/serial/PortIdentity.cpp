#include "PortIdentity.h"

#include <climits>
#include <dirent.h>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "CStateFolder.h"
#include "NetworkAddress.h"
#include "SerialPortList.h"

namespace {

std::string Resolved(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// Field 22 of /proc/PID/stat: when the process started, which tells a reused
// process number apart.
std::string ProcessStart(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return std::string();
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int n = 3; n <= 22 && fields >> field; ++n)
        if (n == 22)
            return field;
    return std::string();
}

std::string ByIdName(const std::string& device)
{
    std::string found;
    const std::string folder = "/dev/serial/by-id/";
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && Resolved(folder + name) == device) {
                found = name;
                break;
            }
        }
        ::closedir(dir);
    }
    return found;
}

}  // namespace

std::string PortIdentity(const std::string& portName)
{
    // A network port is its address, one spelling for every way of typing it.
    if (IsNetworkPortName(portName))
        return CanonicalPortName(portName);
    const std::string device = Resolved(portName);
    if (device.empty())
        return portName;
    if (const std::string byId = ByIdName(device); !byId.empty())
        return "by-id:" + byId;
    const char prefix[] = "unitsim-";
    const std::string ports = SimulatedPortsFolder() + "/";
    for (const std::string& name : CStateFolder(ports).Names()) {
        if (name.rfind(prefix, 0) != 0 || Resolved(ports + name) != device)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + sizeof prefix - 1, &end, 10);
        const std::string start = pid > 0 && *end == '\0' ? ProcessStart(pid) : std::string();
        if (!start.empty())
            return "unitsim:" + std::to_string(pid) + ":" + start;
    }
    return device;
}
