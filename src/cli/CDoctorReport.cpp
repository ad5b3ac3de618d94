#include "CDoctorReport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CGetAppPath.h"
#include "CliSettings.h"
#include "CIniFile.h"
#include "SerialPortList.h"

namespace {

const char* const kDialout = "dialout";
const char* const kGuideName = "ORMID Prog Guide.pdf";
const char* const kDebugIniName = "TXDoruvevAzad.ini";

bool Exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// "0 [PCH            ]: HDA-Intel - HDA Intel PCH" lines, the card's own
// lines only (the second line of each card is indented).
std::vector<std::string> SoundCards()
{
    std::vector<std::string> cards;
    std::ifstream in("/proc/asound/cards");
    std::string line;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || start > 2 || !std::isdigit(static_cast<unsigned char>(line[start])))
            continue;
        std::string card;
        bool space = false;
        for (char c : line.substr(start)) {
            // Squeeze the padding of the card's short name.
            if (c == ' ') {
                space = true;
                continue;
            }
            if (space && !card.empty() && c != ']')
                card += ' ';
            space = false;
            card += c;
        }
        cards.push_back(card);
    }
    return cards;
}

std::string SoundServer()
{
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty())
        return std::string();
    const std::string pipewire = WithSlash(runtime) + "pipewire-0";
    if (Exists(pipewire))
        return "PipeWire (" + pipewire + ")";
    const std::string pulse = WithSlash(runtime) + "pulse/native";
    if (Exists(pulse))
        return "PulseAudio (" + pulse + ")";
    return std::string();
}

void ReadDialout(SDoctorFacts& facts)
{
    const struct group* group = ::getgrnam(kDialout);
    if (!group)
        return;
    facts.dialoutExists = true;
    const gid_t dialout = group->gr_gid;
    for (char** member = group->gr_mem; member && *member; ++member) {
        if (facts.user == *member)
            facts.dialoutMember = true;
    }
    if (const struct passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_gid == dialout)
        facts.dialoutMember = true;
    // The groups this process runs with: what a new login would have only
    // after the user logs in again.
    std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)) + 1);
    const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(n > 0 ? static_cast<size_t>(n) : 0);
    groups.push_back(::getegid());
    for (gid_t g : groups) {
        if (g == dialout)
            facts.dialoutActive = true;
    }
}

std::string PortState(int error)
{
    switch (error) {
    case 0:
        return "can be opened";
    case EACCES:
    case EPERM:
        return "no permission";
    case EBUSY:
        return "in use by another program";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "not connected";
    default:
        return std::string("cannot be opened: ") + std::strerror(error);
    }
}

bool NoSound(const SDoctorFacts& f)
{
    return f.captureFile.empty() && f.playbackFile.empty() && f.soundCards.empty() && f.soundServer.empty() &&
           f.sound.inputs.empty() && f.sound.outputs.empty();
}

std::string Indented(const std::string& text)
{
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        out += "  " + text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return out;
}

std::string Yes(bool yes, const char* ifYes, const char* ifNo)
{
    return yes ? ifYes : ifNo;
}

}  // namespace

int CDoctorReport::ProbePort(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // A copy of this program that holds the port keeps an advisory lock on
    // it (root passes the exclusive mode that keeps other users out).
    int error = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    else
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return error;
}

void CDoctorReport::Gather()
{
    SDoctorFacts facts;
    const uid_t uid = ::geteuid();
    if (const struct passwd* pw = ::getpwuid(uid))
        facts.user = pw->pw_name;
    else
        facts.user = "uid " + std::to_string(uid);
    facts.root = uid == 0;
    ReadDialout(facts);

    for (const std::string& port : ListSerialPorts())
        facts.ports.push_back({port, ProbePort(port)});

    facts.captureFile = Env("SONVOX_CAPTURE_FILE");
    facts.playbackFile = Env("SONVOX_PLAYBACK_FILE");
    facts.soundCards = SoundCards();
    facts.soundServer = SoundServer();

    facts.programFolder = CGetAppPath::ProgramFolder();
    facts.programFolderWritable = ::access(facts.programFolder.c_str(), W_OK) == 0;
    facts.workingFolder = CGetAppPath::WorkingFolder();
    facts.workingFolderWritable = ::access(facts.workingFolder.c_str(), W_OK) == 0;
    facts.sound = CSoundDeviceReport::Gather();
    facts.settingsFile = SettingsFilePath();
    facts.settingsExist = Exists(facts.settingsFile);
    facts.guideFile = facts.programFolder + kGuideName;
    facts.guideExists = Exists(facts.guideFile);
    facts.debugIni = facts.workingFolder + kDebugIniName;
    facts.debugIniExists = Exists(facts.debugIni);
    std::string log;
    if (facts.debugIniExists && CIniFile(facts.workingFolder).ReadValue(kDebugIniName, "[DEBUG]", "Log", log))
        facts.logOn = std::atoi(log.c_str()) != 0;
    m_facts = facts;
}

std::vector<std::string> CDoctorReport::ProblemTexts() const
{
    const SDoctorFacts& f = m_facts;
    std::vector<std::string> problems;
    bool denied = false;
    for (const SDoctorPort& port : f.ports) {
        if (port.error == EACCES || port.error == EPERM)
            denied = true;
    }
    if (f.ports.empty())
        problems.push_back("No serial ports found: plug in the unit's cable or USB adapter.");
    if (!f.root && f.dialoutExists && !f.dialoutMember && (denied || f.ports.empty()))
        problems.push_back(std::string("You are not in the dialout group, which serial ports belong to: "
                                       "sudo usermod -aG dialout ") +
                           f.user + ", then log in again.");
    else if (!f.root && f.dialoutMember && !f.dialoutActive)
        problems.push_back("You were added to the dialout group after this session began: log out and in again.");
    else if (denied)
        problems.push_back("Some serial ports do not let you open them; ask the administrator for access.");
    if (NoSound(f))
        problems.push_back("No sound device found: recording and listening will not work.");
    else if (f.captureFile.empty() && f.playbackFile.empty())
        for (const std::string& p : CSoundDeviceReport::Problems(f.sound))
            problems.push_back(p);
    if (!f.workingFolderWritable)
        problems.push_back("The working folder " + f.workingFolder + " is not writable.");
    if (!f.guideExists)
        problems.push_back("The user guide " + f.guideFile + " is missing.");
    return problems;
}

int CDoctorReport::Problems() const
{
    return static_cast<int>(ProblemTexts().size());
}

std::string CDoctorReport::Text() const
{
    const SDoctorFacts& f = m_facts;
    std::string text = "User: " + f.user + (f.root ? " (root: every port opens regardless of groups)" : "") + "\n";

    text += "\nSerial ports:\n";
    if (f.ports.empty())
        text += "  none found\n";
    for (const SDoctorPort& port : f.ports) {
        std::string line = "  " + port.path;
        if (line.size() < 20)
            line.resize(20, ' ');
        text += line + " " + PortState(port.error) + (port.path.rfind("/dev/pts/", 0) == 0 ? " (simulated unit)" : "") +
                "\n";
    }

    text += "\nGroup dialout: ";
    if (!f.dialoutExists)
        text += "no such group on this system\n";
    else if (!f.dialoutMember)
        text += f.user + " is not a member\n";
    else
        text += f.user + " is a member" +
                Yes(f.dialoutActive, ", in this session too\n", ", but not yet in this session\n");

    text += "\nSound:\n";
    if (!f.captureFile.empty())
        text += "  microphone: the file " + f.captureFile + " (SONVOX_CAPTURE_FILE)\n";
    if (!f.playbackFile.empty())
        text += "  speaker: the file " + f.playbackFile + " (SONVOX_PLAYBACK_FILE)\n";
    for (const std::string& card : f.soundCards)
        text += "  sound card " + card + "\n";
    if (!f.soundServer.empty())
        text += "  sound server " + f.soundServer + "\n";
    if (NoSound(f))
        text += "  none found\n";
    else if (f.captureFile.empty() && f.playbackFile.empty())
        text += CSoundDeviceReport::Used(f.sound) + Indented(CSoundDeviceReport::Lists(f.sound));

    text += "\nFiles:\n";
    text += "  program folder:  " + f.programFolder + Yes(f.programFolderWritable, "", " (read-only)") + "\n";
    text += "  working folder:  " + f.workingFolder + Yes(f.workingFolderWritable, "", " (not writable)") +
            "  (TXTemp.wav, ORMID.log, ormid-cli.log, Audio.log)\n";
    text += "  settings:        " + f.settingsFile + Yes(f.settingsExist, "", " (not written yet)") + "\n";
    text += "  user guide:      " + f.guideFile + Yes(f.guideExists, "", " (missing)") + "\n";
    text += "  debug INI:       " + f.debugIni +
            (f.debugIniExists ? Yes(f.logOn, " (log on)", " (log off)") : std::string(" (none: log off)")) + "\n";

    const std::vector<std::string> problems = ProblemTexts();
    text += "\n";
    if (problems.empty())
        text += "No problems found.\n";
    for (const std::string& problem : problems)
        text += "  problem: " + problem + "\n";
    return text;
}
