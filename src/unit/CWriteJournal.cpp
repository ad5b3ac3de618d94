#include "CWriteJournal.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <unistd.h>

#include "CLogFile.h"
#include "CStateFolder.h"
#include "PortIdentity.h"

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

// One file per unit: its identity with everything but letters, digits,
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

// The notice is given once per journal in a run, however many transfers
// meet it.
bool FirstTimeTold(const std::string& path)
{
    static std::mutex lock;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> guard(lock);
    return told.insert(path).second;
}

CStateFolder JournalFolder()
{
    return CStateFolder(CStateFolder::Kind::State, {"journal"});
}

}  // namespace

CWriteJournal::CWriteJournal(const std::string& portName)
    : m_port(portName), m_unit(PortIdentity(portName)), m_name(FileName(m_unit)), m_path(Folder() + m_name)
{
}

std::string CWriteJournal::Folder()
{
    return CStateFolder::Location(CStateFolder::Kind::State, {"journal"});
}

std::string CWriteJournal::Notice(int error) const
{
    if (!FirstTimeTold(m_path))
        return std::string();
    const std::string why = error == EPERM ? "belongs to another user" : "is not a regular file";
    return "The write journal " + m_path + " " + why + ": recovery is off";
}

CWriteJournal::Entry CWriteJournal::Read() const
{
    Entry entry;
    const CStateFolder folder = JournalFolder();
    std::string text;
    int error = 0;
    if (m_name.empty() || !folder.IsOpen()) {
        if (!folder.IsOpen() && FirstTimeTold(folder.Problem()))
            TheLog().Write("The write journals cannot be kept (%s): recovery is off", folder.Problem().c_str());
        return entry;
    }
    if (!folder.Read(m_name, text, kMaxBytes, error)) {
        if (error == EINVAL || error == EPERM) {
            entry.notice = Notice(error);
            if (!entry.notice.empty())
                TheLog().Write("%s", entry.notice.c_str());
        } else if (error != ENOENT) {
            TheLog().Write("The write journal %s could not be read (%s) and was removed", m_path.c_str(),
                           strerror(error));
            folder.Remove(m_name);
        }
        return entry;
    }
    std::istringstream in(text);
    std::string line, boot, start, port, unit;
    bool garbage = text.find('\0') != std::string::npos;
    entry.sector = -1;
    while (!garbage && std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            garbage = !line.empty();
            continue;
        }
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "sector") {
            char* end = nullptr;
            const long sector = std::strtol(value.c_str(), &end, 10);
            entry.sector = (end != value.c_str() && *end == '\0' && sector >= 0 && sector < 70) ? int(sector) : -1;
        } else if (key == "started") {
            entry.started = value;
        } else if (key == "pid") {
            char* end = nullptr;
            entry.pid = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0')
                entry.pid = 0;
        } else if (key == "boot") {
            boot = value;
        } else if (key == "process-start") {
            start = value;
        } else if (key == "port") {
            port = value;
        } else if (key == "unit") {
            unit = value;
        }
    }
    // Journals of earlier versions name the port alone.
    const bool ours = unit.empty() ? !port.empty() && PortIdentity(port) == m_unit : unit == m_unit;
    if (garbage || entry.sector < 0 || entry.pid <= 0 || boot.empty()) {
        TheLog().Write("The write journal %s could not be read and was removed", m_path.c_str());
        folder.Remove(m_name);
        entry.sector = -1;
        return entry;
    }
    if (!ours) {
        TheLog().Write("The write journal %s is of another unit (%s), not of %s: left alone", m_path.c_str(),
                       unit.empty() ? port.c_str() : unit.c_str(), m_unit.c_str());
        return entry;
    }
    entry.present = true;
    entry.interrupted =
        entry.pid == long(getpid()) || boot != BootId() || ProcessStart(entry.pid) != start || start.empty();
    return entry;
}

bool CWriteJournal::Begin(uint8_t sector, std::string* notice)
{
    if (m_name.empty())
        return false;
    char started[32] = "";
    const time_t now = time(nullptr);
    struct tm local { };
    if (localtime_r(&now, &local))
        strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", &local);
    const long pid = long(getpid());
    const std::string text = "port=" + m_port + "\nunit=" + m_unit + "\nsector=" + std::to_string(sector) +
                             "\nstarted=" + started + "\npid=" + std::to_string(pid) +
                             "\nprocess-start=" + ProcessStart(pid) + "\nboot=" + BootId() + "\n";
    const CStateFolder folder = JournalFolder();
    int error = ENOENT;
    if (folder.IsOpen() && folder.Replace(m_name, text, error))
        return true;
    if (!folder.IsOpen()) {
        if (FirstTimeTold(folder.Problem()))
            TheLog().Write("The write journals cannot be kept (%s): recovery is off", folder.Problem().c_str());
        return false;
    }
    if (error == EINVAL || error == EPERM) {
        const std::string text = Notice(error);
        if (!text.empty()) {
            TheLog().Write("%s", text.c_str());
            if (notice)
                *notice = text;
        }
        return false;
    }
    TheLog().Write("Unable to write the write journal %s: %s", m_path.c_str(), strerror(error));
    return false;
}

void CWriteJournal::Clear()
{
    if (!m_name.empty())
        JournalFolder().Remove(m_name);
}
