// The line state is read and written as the kernel's termios2, so that every
// baud rate of the list (14400 and 56000 too) reaches the driver unchanged.
// This file therefore uses the kernel's termios headers, not <termios.h>.
#include "CSerial.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "CLogFile.h"
#include "CNetworkLine.h"
#include "NetworkAddress.h"
#include "TickCount.h"

namespace {

bool GetState(int fd, termios2& tio)
{
    return ioctl(fd, TCGETS2, &tio) == 0;
}

bool SetState(int fd, const termios2& tio)
{
    return ioctl(fd, TCSETS2, &tio) == 0;
}

// Unix98 pseudo-terminal slaves have the major numbers 136 to 143.
bool IsPseudoTerminal(int fd)
{
    struct stat st { };
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned number = major(st.st_rdev);
    return number >= 136 && number <= 143;
}

int32_t Errno()
{
    return errno != 0 ? errno : EIO;
}

// What the debug output says after "CSerial::<operation> - ".
constexpr const char* kNotOpened = "Device is not opened";
constexpr const char* kStateUnreadable = "Unable to obtain DCB information";
constexpr const char* kStateRefused = "Unable to set DCB information";
constexpr const char* kOpenRefused = "Unable to open port";

struct StandardRate {
    int baud;
    unsigned code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

void SetSpeed(termios2& tio, int baud)
{
    unsigned code = BOTHER;
    for (const StandardRate& rate : kStandardRates)
        if (rate.baud == baud)
            code = rate.code;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= code | (code << IBSHIFT);
    tio.c_ispeed = unsigned(baud);
    tio.c_ospeed = unsigned(baud);
}

int GetSpeed(const termios2& tio)
{
    unsigned code = tio.c_cflag & CBAUD;
    if (code == BOTHER)
        return int(tio.c_ospeed);
    for (const StandardRate& rate : kStandardRates)
        if (rate.code == code)
            return rate.baud;
    return int(tio.c_ospeed);
}

void MakeRaw(termios2& tio)
{
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// The fields this layer sets, for comparing what the driver kept.
bool SameSettings(const termios2& a, const termios2& b)
{
    constexpr tcflag_t kC = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CREAD | CLOCAL;
    constexpr tcflag_t kI = IXON | IXOFF | INPCK;
    return (a.c_cflag & kC) == (b.c_cflag & kC) && (a.c_iflag & kI) == (b.c_iflag & kI) && GetSpeed(a) == GetSpeed(b);
}

// Writes the state and reads it back: the driver accepts settings it cannot
// carry out and reports success if any one of them took.
int32_t SetAndVerify(int fd, const termios2& tio)
{
    if (!SetState(fd, tio))
        return Errno();
    termios2 kept{};
    if (!GetState(fd, kept))
        return Errno();
    return SameSettings(tio, kept) ? 0 : EINVAL;
}

}  // namespace

CSerial::CSerial() = default;

int32_t CSerial::TraceFailure(const char* operation, const char* why, int32_t code)
{
    DebugTrace("CSerial::%s - %s\n", operation, why);
    return Fail(code);
}

int32_t CSerial::RequireOpen(const char* operation)
{
    m_lastError = 0;
    return IsOpen() ? 0 : TraceFailure(operation, kNotOpened, SERIAL_NOT_OPEN);
}

int32_t CSerial::RequireState(const char* operation, termios2& tio)
{
    if (int32_t code = RequireOpen(operation))
        return code;
    return GetState(m_fd, tio) ? 0 : TraceFailure(operation, kStateUnreadable, Errno());
}

int32_t CSerial::OpenNetwork(const char* port)
{
    NetworkAddress address;
    std::string why;
    if (!ParseNetworkAddress(port, address, &why)) {
        TheLog().Write("%s", why.c_str());
        return Fail(SERIAL_NET_BAD_NAME);
    }
    int fd = -1;
    if (int32_t code = CNetworkLine::Connect(address, &m_net, &fd))
        return TraceFailure("Open", kOpenRefused, code);
    m_fd = fd;
    m_portName = port;
    m_refusedDefaults.clear();
    m_eventsReceived = 0;
    m_hasCounters = false;
    bool modemOk = false;
    m_modemBase = ModemStatus(modemOk);
    SetMask(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR);
    SetupReadTimeouts(0);
    if (IPortDefaultsProvider* provider = GetPortDefaultsProvider()) {
        PortDefaults defaults;
        if (provider->Load(port, defaults) && ApplyDefaults(defaults) != 0) {
            DebugTrace("CSerial::Open - Unable to set default communication configuration.\n");
            m_refusedDefaults = DescribePortDefaults(defaults);
        }
    }
    m_lastError = 0;
    return 0;
}

CSerial::~CSerial()
{
    if (IsOpen()) {
        DebugTrace("CSerial::~CSerial - Serial port not closed\n");
        CSerial::Close();
    }
}

int32_t CSerial::Open(const char* port, uint32_t /*inQueue*/, uint32_t /*outQueue*/)
{
    m_lastError = 0;
    if (IsOpen()) {
        DebugTrace("CSerial::Open - Port already opened\n");
        return Fail(SERIAL_ALREADY_OPEN);
    }
    if (IsNetworkPortName(port))
        return OpenNetwork(port);
    int fd = ::open(port, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // The caller tells the operator why (OpenFailureText); once is enough.
    if (fd < 0)
        return TraceFailure("Open", kOpenRefused, Errno());
    termios2 tio{};
    if (!GetState(fd, tio)) {
        int32_t code = Errno();
        ::close(fd);
        return TraceFailure("Open", kOpenRefused, code);
    }
    // TIOCEXCL keeps other users out, but root passes it; the advisory lock
    // catches a second copy of this program running as root. A pseudo-
    // terminal stays open on its other side, so an exclusive flag left by a
    // killed program would lock it for good: there the lock alone serves,
    // which the kernel drops with the process.
    if ((!IsPseudoTerminal(fd) && ioctl(fd, TIOCEXCL) != 0) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int32_t code = errno == EWOULDBLOCK ? EBUSY : Errno();
        ::close(fd);
        return TraceFailure("Open", kOpenRefused, code);
    }
    MakeRaw(tio);
    if (int32_t code = SetAndVerify(fd, tio)) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        DebugTrace("CSerial::Open - Unable to setup the COM-port\n");
        return Fail(code);
    }
    m_fd = fd;
    m_portName = port;
    m_refusedDefaults.clear();
    m_eventsReceived = 0;
    m_hasCounters = ReadCounters(m_errorBase);
    m_eventBase = m_errorBase;
    bool modemOk = false;
    m_modemBase = ModemStatus(modemOk);

    SetMask(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR);
    SetupReadTimeouts(0);

    if (IPortDefaultsProvider* provider = GetPortDefaultsProvider()) {
        PortDefaults defaults;
        termios2 before{};
        const bool haveBefore = GetState(m_fd, before);
        if (provider->Load(port, defaults) && ApplyDefaults(defaults) != 0) {
            DebugTrace("CSerial::Open - Unable to set default communication configuration.\n");
            m_refusedDefaults = DescribePortDefaults(defaults);
            // Half of a default (say its data bits without its stop bits)
            // would leave a line no one asked for: back to the raw line.
            if (haveBefore)
                SetState(m_fd, before);
        }
    }
    // Bytes that arrived while the port was closed belong to nobody.
    ioctl(m_fd, TCFLSH, TCIFLUSH);
    m_lastError = 0;
    return 0;
}

int32_t CSerial::ApplyDefaults(const PortDefaults& defaults)
{
    int32_t code = Setup(defaults.baud, defaults.dataBits, defaults.parity, defaults.stopBits);
    if (code == 0)
        code = SetupHandshakingMode(defaults.handshaking);
    return code;
}

int32_t CSerial::Close()
{
    m_lastError = 0;
    if (m_net) {
        ::close(m_fd);
        m_fd = -1;
        m_net.reset();
        return 0;
    }
    if (IsOpen()) {
        // Let what was just written go out, for a moment only: a port stuck in
        // flow control would otherwise hold close() for the driver's closing wait.
        uint32_t start = GetTickCountMs();
        int queued = 0;
        while (ioctl(m_fd, TIOCOUTQ, &queued) == 0 && queued > 0 && GetTickCountMs() - start < 300)
            usleep(5000);
        ioctl(m_fd, TCFLSH, TCOFLUSH);
        // The exclusive flag stays on the tty while anyone else holds it open.
        ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
    }
    return 0;
}

int32_t CSerial::Setup(int baud, int dataBits, int parity, int stopBits)
{
    termios2 tio{};
    if (int32_t code = m_net ? RequireOpen("Setup") : RequireState("Setup", tio))
        return code;
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (baud <= 0 || dataBits < 5 || dataBits > 8 || parity < 0 || parity > 4 || stopBits < 0 || stopBits > 2)
        return TraceFailure("Setup", kStateRefused, EINVAL);
    if (m_net) {
        if (int32_t code = m_net->SetLine(baud, dataBits, parity, stopBits))
            return TraceFailure("Setup", kStateRefused, code);
        return 0;
    }
    SetSpeed(tio, baud);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_cflag |= kSizes[dataBits - 5];
    if (parity != 0) {
        tio.c_cflag |= PARENB;
        if (parity == 1 || parity == 3)
            tio.c_cflag |= PARODD;
        if (parity >= 3)
            tio.c_cflag |= CMSPAR;
        tio.c_iflag |= INPCK;
    } else {
        tio.c_iflag &= ~INPCK;
    }
    if (stopBits != 0)
        tio.c_cflag |= CSTOPB;
    if (int32_t code = SetAndVerify(m_fd, tio))
        return TraceFailure("Setup", kStateRefused, code);
    return 0;
}

int32_t CSerial::SetEventChar(uint8_t eventChar, bool addToMask)
{
    termios2 tio{};
    if (int32_t code = m_net ? RequireOpen("SetEventChar") : RequireState("SetEventChar", tio))
        return code;
    if (m_net) {
        m_eventChar = eventChar;
        return addToMask ? SetMask(GetEventMask() | EV_RXFLAG) : 0;
    }
    if (addToMask) {
        int32_t code = SetMask(GetEventMask() | EV_RXFLAG);
        if (code != 0)
            return code;
    }
    // VEOL has no effect in raw mode; it keeps the character with the line state.
    tio.c_cc[VEOL] = eventChar;
    if (!SetState(m_fd, tio))
        return TraceFailure("SetEventChar", kStateRefused, Errno());
    return 0;
}

int32_t CSerial::SetMask(uint32_t mask)
{
    if (int32_t code = RequireOpen("SetMask"))
        return code;
    m_eventMask = mask;
    return 0;
}

int32_t CSerial::SetupHandshaking(int mode)
{
    termios2 tio{};
    if (int32_t code = m_net ? RequireOpen("SetupHandshaking") : RequireState("SetupHandshaking", tio))
        return code;
    if (m_net) {
        if (mode < 0 || mode > 2)
            return Fail(SERIAL_INVALID_ARG);
        if (int32_t code = m_net->SetHandshaking(mode))
            return TraceFailure("SetupHandshaking", kStateRefused, code);
        return 0;
    }
    switch (mode) {
    case 0:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF);
        break;
    case 1:
        tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF);
        break;
    case 2:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag |= IXON | IXOFF;
        break;
    default:
        return Fail(SERIAL_INVALID_ARG);
    }
    if (int32_t code = SetAndVerify(m_fd, tio))
        return TraceFailure("SetupHandshaking", kStateRefused, code);
    return 0;
}

int32_t CSerial::SetupReadTimeouts(int mode)
{
    if (int32_t code = RequireOpen("SetupReadTimeouts"))
        return code;
    switch (mode) {
    case 0:
        m_timeouts.readInterval = 0xFFFFFFFFu;
        m_timeouts.readTotalMultiplier = 0;
        m_timeouts.readTotalConstant = 0;
        break;
    case 1:
        m_timeouts.readInterval = 0;
        m_timeouts.readTotalMultiplier = 0;
        m_timeouts.readTotalConstant = 0;
        break;
    default:
        return Fail(SERIAL_INVALID_ARG);
    }
    return 0;
}

int32_t CSerial::SetTimeoutForIO()
{
    if (int32_t code = RequireOpen("SetupReadTimeouts"))
        return code;
    int baud = GetBaudrate();
    if (baud <= 0) {
        DebugTrace("CSerial::SetupReadTimeouts - Unable to obtain timeout information\n");
        return Fail(m_lastError != 0 ? m_lastError.load() : EINVAL);
    }
    m_timeouts.readInterval = 0xFFFFFFFFu;
    m_timeouts.readTotalMultiplier = 0;
    m_timeouts.readTotalConstant = 1000;
    m_timeouts.writeTotalMultiplier = uint32_t(19200 / baud);
    m_timeouts.writeTotalConstant = 0;
    return 0;
}

int CSerial::GetBaudrate()
{
    if (m_net)
        return RequireOpen("GetBaudrate") == 0 ? m_net->Baud() : -1;
    termios2 tio{};
    if (RequireState("GetBaudrate", tio) != 0)
        return -1;
    return GetSpeed(tio);
}

int CSerial::GetDataBits()
{
    if (m_net)
        return RequireOpen("GetDataBits") == 0 ? m_net->DataBits() : -1;
    termios2 tio{};
    if (RequireState("GetDataBits", tio) != 0)
        return -1;
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

int CSerial::GetParity()
{
    if (m_net)
        return RequireOpen("GetParity") == 0 ? m_net->Parity() : -1;
    termios2 tio{};
    if (RequireState("GetParity", tio) != 0)
        return -1;
    // A parity that is generated but not checked counts as none.
    if (!(tio.c_cflag & PARENB) || !(tio.c_iflag & INPCK))
        return 0;
    bool odd = (tio.c_cflag & PARODD) != 0;
    if (tio.c_cflag & CMSPAR)
        return odd ? 3 : 4;
    return odd ? 1 : 2;
}

int CSerial::GetStopBits()
{
    if (m_net)
        return RequireOpen("GetStopBits") == 0 ? m_net->StopBits() : -1;
    termios2 tio{};
    if (RequireState("GetStopBits", tio) != 0)
        return -1;
    if (!(tio.c_cflag & CSTOPB))
        return 0;
    return (tio.c_cflag & CSIZE) == CS5 ? 1 : 2;
}

int CSerial::GetHandshaking()
{
    if (m_net)
        return RequireOpen("GetHandshaking") == 0 ? m_net->Handshaking() : -1;
    termios2 tio{};
    if (RequireState("GetHandshaking", tio) != 0)
        return -1;
    if (tio.c_cflag & CRTSCTS)
        return 1;
    if ((tio.c_iflag & IXON) && (tio.c_iflag & IXOFF))
        return 2;
    return 0;
}

uint32_t CSerial::GetEventMask()
{
    if (RequireOpen("GetEventMask") != 0)
        return 0;
    return m_eventMask;
}

uint8_t CSerial::GetEventChar()
{
    if (m_net)
        return RequireOpen("GetEventChar") == 0 ? m_eventChar : 0;
    termios2 tio{};
    if (RequireState("GetEventChar", tio) != 0)
        return 0;
    return tio.c_cc[VEOL];
}

bool CSerial::ShowConfigDialog(const char* port, IPortConfigEditor* editor, PortDefaults& config)
{
    if (IsOpen())
        Close();
    // Opening proves the port exists and is free before the operator edits it.
    if (Open(port, 0, 0) != 0) {
        DebugTrace("CSerial::ShowConfigDialog - Unable to open port");
        return false;
    }
    IPortDefaultsProvider* provider = GetPortDefaultsProvider();
    config = PortDefaults();
    if (!provider || !provider->Load(port, config)) {
        config = PortDefaults();
        // Nothing stored yet: start from what the port is set to now.
        config.baud = GetBaudrate();
        config.dataBits = GetDataBits();
        config.parity = GetParity();
        config.stopBits = GetStopBits();
        config.handshaking = GetHandshaking();
    }
    Close();
    if (!editor || !editor->Edit(port, config)) {
        DebugTrace("CSerial::ShowConfigDialog - Unable to obtain property.");
        return false;
    }
    if (!provider || !provider->Store(port, config))
        DebugTrace("CSerial::ShowConfigDialog - Unable to set default configuration. rc:%d", m_lastError.load());
    return true;
}

int32_t CSerial::SetupBaudrate(int baud)
{
    switch (baud) {
    case 9600:
    case 14400:
    case 19200:
    case 38400:
    case 56000:
    case 57600:
    case 115200:
        break;
    default:
        baud = 9600;
    }
    return Setup(baud, 8, 0, 0);
}

int32_t CSerial::SetupHandshakingMode(int mode)
{
    return SetupHandshaking(mode == 1 || mode == 2 ? mode : 0);
}

std::string CSerial::ErrorText(int32_t code)
{
    switch (code) {
    case 0:
        return "No error";
    case SERIAL_NOT_OPEN:
        return "The port is not open";
    case SERIAL_ALREADY_OPEN:
        return "The port is already open";
    case SERIAL_INVALID_ARG:
        return "Invalid argument";
    case SERIAL_EOF:
        return "The line was hung up";
    case SERIAL_NET_NAME_NOT_FOUND:
        return "name not found";
    case SERIAL_NET_IN_USE:
        return "in use by another client";
    case SERIAL_NET_BAD_NAME:
        return "not a network port name";
    default:
        if (code > SERIAL_NET_BAUD_REFUSED && code <= SerialNetBaudRefused(0xFFFFF))
            return "the baud rate was refused";
        return std::strerror(code);
    }
}

std::string CSerial::LineLostText(const std::string& port)
{
    if (IsNetworkPortName(port))
        return "Transfer stopped - the connection to " + PortDisplayName(port) + " was lost";
    return "Transfer stopped - the port " + port + " is gone";
}

std::string CSerial::OpenFailureText(const std::string& port, int32_t code)
{
    if (IsNetworkPortName(port)) {
        NetworkAddress address;
        std::string why;
        if (!ParseNetworkAddress(port, address, &why))
            return why;
        const std::string where = address.HostPort();
        if (code == SERIAL_NET_IN_USE)
            return where + " is in use by another client";
        if (code > SERIAL_NET_BAUD_REFUSED && code <= SerialNetBaudRefused(0xFFFFF))
            return where + " does not accept " + std::to_string(code - SERIAL_NET_BAUD_REFUSED) + " baud";
        return "Could not connect to " + where + ": " + ErrorText(code);
    }
    switch (code) {
    case EACCES:
    case EPERM:
        return "No permission to open " + port +
               ". Serial ports belong to the dialout group: add your user to it "
               "(sudo usermod -aG dialout $USER) and log in again.";
    case EBUSY:
        return "The port " + port + " is in use by another program.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "The port " + port + " does not exist or is not connected.";
    default:
        return "Unable to open the port " + port + ": " + ErrorText(code) + ".";
    }
}
