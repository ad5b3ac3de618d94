#include "SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CStateFolder.h"

namespace {

std::vector<std::string> DirectoryEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool IsCharDevice(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A simulated unit's link is named after its process ("unitsim-<pid>"). One
// that was killed leaves its link behind, and the pseudo-terminal it named
// may by now belong to something else: only a link whose simulator still
// runs names a unit.
bool SimulatorRuns(const std::string& linkName)
{
    const char prefix[] = "unitsim-";
    if (linkName.rfind(prefix, 0) != 0)
        return true;  // not one of its own: judged by its target alone
    char* end = nullptr;
    const long pid = std::strtol(linkName.c_str() + sizeof prefix - 1, &end, 10);
    if (pid <= 0 || *end != '\0')
        return false;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    return std::getline(comm, name) && name == "ormid-unitsim";
}

// Legacy UART slots the kernel reserves whether or not a chip is there
// report the port type 0 (unknown).
bool IsPhantomUart(const std::string& sysEntry)
{
    std::ifstream type(sysEntry + "/type");
    int value = -1;
    return type >> value && value == 0;
}

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            // Compare the numbers without leading zeros: first by length, then digit by digit.
            size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0')
                ++zi;
            while (zj + 1 < ej && b[zj] == '0')
                ++zj;
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj;
            int order = a.compare(zi, ei - zi, b, zj, ej - zj);
            if (order != 0)
                return order < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;  // equal up to leading zeros
}

std::string SimulatedPortsFolder()
{
    std::string folder = CStateFolder::Location(CStateFolder::Kind::Runtime, {"ports"});
    folder.pop_back();
    return folder;
}

std::vector<std::string> ListSimulatedPorts()
{
    // Simulated units leave a symlink to their pseudo-terminal; a unit that
    // died without cleaning up leaves a dangling or stale one, which is skipped.
    std::vector<std::string> ports;
    // Only a folder of the user's own, which nobody else can plant links in.
    const std::string simulated = SimulatedPortsFolder();
    for (const std::string& name : CStateFolder(simulated).Names()) {
        char resolved[PATH_MAX];
        if (SimulatorRuns(name) && realpath((simulated + "/" + name).c_str(), resolved) && IsCharDevice(resolved))
            ports.push_back(resolved);
    }
    return ports;
}

std::vector<std::string> ListSerialPorts()
{
    std::vector<std::string> ports = ListSimulatedPorts();
    const std::string sysTty = "/sys/class/tty";
    for (const std::string& name : DirectoryEntries(sysTty)) {
        std::string entry = sysTty + "/" + name;
        struct stat st { };
        if (stat((entry + "/device").c_str(), &st) != 0 || IsPhantomUart(entry))
            continue;
        std::string dev = "/dev/" + name;
        if (IsCharDevice(dev))
            ports.push_back(dev);
    }
    std::sort(ports.begin(), ports.end(), PortNameLess);
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}
