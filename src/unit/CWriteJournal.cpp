#include "CWriteJournal.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "CAtomicFile.h"
#include "CLogFile.h"
#include "NetworkAddress.h"

namespace {

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string BootId()
{
    return FirstLine("/proc/sys/kernel/random/boot_id");
}

// When the process started, in clock ticks since boot; empty when it does not
// run (a zombie no longer runs either). Tells a reused process number apart.
std::string ProcessStart(long pid)
{
    const std::string stat = FirstLine("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return std::string();
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    // Field 3 is the state, field 22 the start time.
    for (int n = 3; n <= 22 && fields >> field; ++n) {
        if (n == 3 && (field == "Z" || field == "X"))
            return std::string();
        if (n == 22)
            return field;
    }
    return std::string();
}

// One file per port: the device's path with everything but letters, digits,
// dots, dashes and underscores written as %XX.
std::string FileName(const std::string& port)
{
    std::string name;
    for (unsigned char c : port) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            name += char(c);
        } else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    return name + ".journal";
}

// A port reached through a link (/dev/serial/by-id/...) shares the journal of
// its device.
std::string CanonicalPort(const std::string& port)
{
    // A network port by its address, one spelling for every way of typing it.
    if (IsNetworkPortName(port))
        return CanonicalPortName(port);
    char resolved[PATH_MAX];
    return realpath(port.c_str(), resolved) ? std::string(resolved) : port;
}

}  // namespace

CWriteJournal::CWriteJournal(const std::string& portName)
    : m_port(CanonicalPort(portName)), m_path(Folder() + FileName(m_port))
{
}

std::string CWriteJournal::Folder()
{
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/')
        state = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        state = std::string(home) + "/.local/state";
    else
        state = "/tmp/ormid-" + std::to_string(getuid());
    return state + "/ORMID/journal/";
}

CWriteJournal::Entry CWriteJournal::Read() const
{
    Entry entry;
    std::ifstream in(m_path);
    if (m_path.empty() || !in)
        return entry;
    entry.present = true;
    std::string line, boot, start;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "sector") {
            char* end = nullptr;
            const long sector = std::strtol(value.c_str(), &end, 10);
            entry.sector = (end != value.c_str() && *end == '\0' && sector >= 0 && sector < 70) ? int(sector) : -1;
        } else if (key == "started") {
            entry.started = value;
        } else if (key == "pid") {
            entry.pid = std::strtol(value.c_str(), nullptr, 10);
        } else if (key == "boot") {
            boot = value;
        } else if (key == "process-start") {
            start = value;
        }
    }
    entry.interrupted = entry.pid <= 0 || entry.pid == long(getpid()) || boot != BootId() ||
                        ProcessStart(entry.pid) != start || start.empty();
    return entry;
}

bool CWriteJournal::Begin(uint8_t sector)
{
    if (m_path.empty())
        return false;
    char started[32] = "";
    const time_t now = time(nullptr);
    struct tm local { };
    if (localtime_r(&now, &local))
        strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", &local);
    const long pid = long(getpid());
    const std::string text = "port=" + m_port + "\nsector=" + std::to_string(sector) + "\nstarted=" + started +
                             "\npid=" + std::to_string(pid) + "\nprocess-start=" + ProcessStart(pid) +
                             "\nboot=" + BootId() + "\n";
    std::error_code error;
    std::filesystem::create_directories(Folder(), error);
    CAtomicFile file;
    if (file.Open(m_path.c_str(), text.size()) && file.Write(text.data(), text.size()) && file.Commit())
        return true;
    TheLog().Write("Unable to write the write journal %s: %s", m_path.c_str(), strerror(file.Error()));
    return false;
}

void CWriteJournal::Clear()
{
    if (!m_path.empty())
        unlink(m_path.c_str());
}
