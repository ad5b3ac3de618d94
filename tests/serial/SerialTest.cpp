// CSerial against real pseudo-terminals: codes, settings as the driver keeps
// them, reads, the per-port default and the port list.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <cstdio>
#include <functional>
#include <map>
#include <unistd.h>

#include "PtyPair.h"
#include "serialport.h"

namespace {

termios Termios(const CSerial& port)
{
    termios tio{};
    tcgetattr(port.Descriptor(), &tio);
    return tio;
}

class MemoryDefaults : public IPortDefaultsProvider {
public:
    bool Load(const std::string& port, PortDefaults& defaults) override
    {
        auto it = stored.find(port);
        if (it == stored.end())
            return false;
        defaults = it->second;
        return true;
    }
    bool Store(const std::string& port, const PortDefaults& defaults) override
    {
        stored[port] = defaults;
        return true;
    }
    std::map<std::string, PortDefaults> stored;
};

struct ProviderScope {
    explicit ProviderScope(IPortDefaultsProvider* provider) { SetPortDefaultsProvider(provider); }
    ~ProviderScope() { SetPortDefaultsProvider(nullptr); }
};

}  // namespace

TEST(Serial, OpenCloseReopenCodes)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerial port;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(0, port.Close());
    EXPECT_EQ(0, port.Open(pty.Slave().c_str(), 4096, 4096));
    EXPECT_TRUE(port.IsOpen());
    int fd = port.Descriptor();

    EXPECT_EQ(SERIAL_ALREADY_OPEN, port.Open(pty.Slave().c_str(), 4096, 4096));
    EXPECT_EQ(SERIAL_ALREADY_OPEN, port.GetLastError());
    EXPECT_EQ(fd, port.Descriptor()) << "the first handle stays in use";
    ASSERT_TRUE(pty.Write("ok"));
    uint8_t buffer[8];
    uint32_t count = 0;
    ASSERT_TRUE(WaitFor([&] { return port.Read(buffer, sizeof buffer, &count) == 0 && count > 0; }));

    // A second user of the same port is kept out, root included.
    CSerial other;
    EXPECT_EQ(EBUSY, other.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_FALSE(other.IsOpen());

    EXPECT_EQ(0, port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(0, port.Close());
    EXPECT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_EQ(0, port.Close());
    // Once closed, the port is free for the other object.
    EXPECT_EQ(0, other.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_EQ(0, other.Close());

    EXPECT_EQ(ENOENT, port.Open("/dev/ormid-no-such-port", 0, 0));
    EXPECT_FALSE(port.IsOpen());
    // Not a terminal at all.
    EXPECT_NE(0, port.Open("/dev/null", 0, 0));
    EXPECT_FALSE(port.IsOpen());
}

// What an operation wrote to the debug output (stderr) with tracing on (or
// off), line ends dropped.
std::string Traced(const std::function<void()>& operation, bool tracing = true)
{
    FILE* capture = tmpfile();
    const int saved = dup(STDERR_FILENO);
    dup2(fileno(capture), STDERR_FILENO);
    setenv("ORMID_TRACE", tracing ? "1" : "0", 1);
    operation();
    unsetenv("ORMID_TRACE");
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    rewind(capture);
    for (int c = fgetc(capture); c != EOF; c = fgetc(capture))
        if (c != '\n')
            text += char(c);
    fclose(capture);
    return text;
}

// A port whose descriptor is no terminal: its line state cannot be read.
class StatelessPort : public CSerial {
public:
    explicit StatelessPort(int fd) { m_fd = fd; }
    ~StatelessPort() override { m_fd = -1; }
};

TEST(Serial, OperationsOnAClosedPortReportNotOpen)
{
    CSerial port;
    uint8_t buffer[4];
    uint32_t count = 99;
    struct Operation {
        const char* traced;  // after "CSerial::"; nullptr: nothing traced
        std::function<int32_t()> run;
    };
    const Operation operations[] = {
        {"Setup", [&] { return port.Setup(9600, 8, 0, 0); }},
        {"SetEventChar", [&] { return port.SetEventChar('\r', true); }},
        {"SetMask", [&] { return port.SetMask(EV_RXCHAR); }},
        {nullptr, [&] { return port.WaitEvent(0); }},
        {"SetupHandshaking", [&] { return port.SetupHandshaking(1); }},
        {"SetupReadTimeouts", [&] { return port.SetupReadTimeouts(0); }},
        {"SetupReadTimeouts", [&] { return port.SetTimeoutForIO(); }},
        {"Write", [&] { return port.Write("x", 1, &count); }},
        {"Read", [&] { return port.Read(buffer, sizeof buffer, &count); }},
        {"Purge", [&] { return port.Purge(); }},
        {"Setup", [&] { return port.SetupBaudrate(57600); }},
        {"GetBaudrate", [&] { return port.GetBaudrate() == -1 ? SERIAL_NOT_OPEN : 0; }},
        {"GetDataBits", [&] { return port.GetDataBits() == -1 ? SERIAL_NOT_OPEN : 0; }},
        {"GetParity", [&] { return port.GetParity() == -1 ? SERIAL_NOT_OPEN : 0; }},
        {"GetStopBits", [&] { return port.GetStopBits() == -1 ? SERIAL_NOT_OPEN : 0; }},
        {"GetHandshaking", [&] { return port.GetHandshaking() == -1 ? SERIAL_NOT_OPEN : 0; }},
        {"GetEventMask", [&] { return port.GetEventMask() == 0 ? SERIAL_NOT_OPEN : 0; }},
        {"GetEventChar", [&] { return port.GetEventChar() == 0 ? SERIAL_NOT_OPEN : 0; }},
        {"GetError", [&] { return port.GetError() == 0 ? SERIAL_NOT_OPEN : 0; }},
    };
    for (const Operation& operation : operations) {
        int32_t code = 0;
        const std::string traced = Traced([&] { code = operation.run(); });
        const std::string name = operation.traced ? operation.traced : "WaitEvent";
        EXPECT_EQ(SERIAL_NOT_OPEN, code) << name;
        EXPECT_EQ(SERIAL_NOT_OPEN, port.GetLastError()) << name;
        EXPECT_EQ(traced, operation.traced ? "CSerial::" + name + " - Device is not opened" : "");
        // Without tracing the operator's stderr stays clean.
        EXPECT_EQ(Traced([&] { operation.run(); }, false), "") << name;
    }
    EXPECT_EQ(0u, count);
    const std::pair<const char*, std::function<int()>> lines[] = {
        {"GetCTS", [&] { return port.GetCTS(); }},
        {"GetDSR", [&] { return port.GetDSR(); }},
        {"GetRLSD", [&] { return port.GetRLSD(); }},
    };
    for (const auto& [name, line] : lines) {
        int on = -1;
        EXPECT_EQ(Traced([&] { on = line(); }),
                  std::string("CSerial::") + name + " - Unable to obtain the modem status");
        EXPECT_EQ(0, on) << name;
    }
    SerialProperties properties;
    EXPECT_FALSE(port.GetProperties(properties));
}

TEST(Serial, OperationsOnALineWhoseStateCannotBeReadTellWhy)
{
    int pipeEnds[2];
    ASSERT_EQ(0, pipe(pipeEnds));
    StatelessPort port(pipeEnds[0]);
    const std::vector<std::pair<std::string, std::function<bool()>>> operations = {
        {"Setup", [&] { return port.Setup(9600, 8, 0, 0) == ENOTTY; }},
        {"SetEventChar", [&] { return port.SetEventChar('\r', false) == ENOTTY; }},
        {"SetupHandshaking", [&] { return port.SetupHandshaking(1) == ENOTTY; }},
        {"GetBaudrate", [&] { return port.GetBaudrate() == -1; }},
        {"GetDataBits", [&] { return port.GetDataBits() == -1; }},
        {"GetParity", [&] { return port.GetParity() == -1; }},
        {"GetStopBits", [&] { return port.GetStopBits() == -1; }},
        {"GetHandshaking", [&] { return port.GetHandshaking() == -1; }},
        {"GetEventChar", [&] { return port.GetEventChar() == 0; }},
    };
    for (const auto& [name, operation] : operations) {
        bool failed = false;
        EXPECT_EQ(Traced([&] { failed = operation(); }), "CSerial::" + name + " - Unable to obtain DCB information");
        EXPECT_TRUE(failed) << name;
        EXPECT_EQ(ENOTTY, port.GetLastError()) << name;
    }
    // Its baud rate is what it cannot tell.
    EXPECT_EQ(Traced([&] { EXPECT_EQ(ENOTTY, port.SetTimeoutForIO()); }),
              "CSerial::GetBaudrate - Unable to obtain DCB information"
              "CSerial::SetupReadTimeouts - Unable to obtain timeout information");
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

TEST(Serial, OpenLeavesARawExclusiveLine)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 4096, 4096));
    termios tio = Termios(port);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_FALSE(tio.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP));
    EXPECT_EQ(CS8, int(tio.c_cflag & CSIZE));
    EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(tio.c_cflag & CREAD);
    EXPECT_EQ(1, tio.c_cc[VMIN]);
    EXPECT_EQ(0, tio.c_cc[VTIME]);
    EXPECT_TRUE(fcntl(port.Descriptor(), F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR, port.GetEventMask());
    // Bytes that are not CR or LF pass unchanged in both directions.
    ASSERT_TRUE(pty.Write(std::vector<uint8_t>{'\r', '\n', 0x00, 0x11, 0x13, 0xFF, 0x03}));
    uint8_t buffer[16];
    uint32_t count = 0;
    ASSERT_TRUE(WaitFor([&] {
        int queued = 0;
        return ioctl(port.Descriptor(), FIONREAD, &queued) == 0 && queued == 7;
    }));
    ASSERT_EQ(0, port.Read(buffer, sizeof buffer, &count));
    EXPECT_EQ((std::vector<uint8_t>{'\r', '\n', 0x00, 0x11, 0x13, 0xFF, 0x03}),
              std::vector<uint8_t>(buffer, buffer + count));
    EXPECT_EQ(0, port.Close());
}

TEST(Serial, SettingsReadBackThroughTermios)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));

    struct Rate {
        int asked;
        int configured;
        speed_t code;  // 0: no standard code, checked through GetBaudrate only
    };
    for (const Rate& rate : {Rate{4800, 9600, B9600}, Rate{9600, 9600, B9600}, Rate{14400, 14400, 0},
                             Rate{19200, 19200, B19200}, Rate{38400, 38400, B38400}, Rate{56000, 56000, 0},
                             Rate{57600, 57600, B57600}, Rate{115200, 115200, B115200}, Rate{230400, 9600, B9600}}) {
        ASSERT_EQ(0, port.SetupBaudrate(rate.asked)) << rate.asked;
        EXPECT_EQ(rate.configured, port.GetBaudrate()) << rate.asked;
        termios tio = Termios(port);
        if (rate.code != 0) {
            EXPECT_EQ(rate.code, cfgetospeed(&tio)) << rate.asked;
            EXPECT_EQ(rate.code, cfgetispeed(&tio)) << rate.asked;
        }
        EXPECT_EQ(CS8, int(tio.c_cflag & CSIZE));
        EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB));
        EXPECT_EQ(8, port.GetDataBits());
        EXPECT_EQ(0, port.GetParity());
        EXPECT_EQ(0, port.GetStopBits());
    }

    ASSERT_EQ(0, port.Setup(19200, 8, 0, 2));
    termios tio = Termios(port);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(2, port.GetStopBits());
    ASSERT_EQ(0, port.Setup(19200, 8, 0, 0));
    EXPECT_EQ(0, port.GetStopBits());
    // A pseudo-terminal carries 8 data bits without parity only; the settings
    // are read back, so what it drops is refused instead of passing silently.
    EXPECT_EQ(EINVAL, port.Setup(19200, 7, 2, 0));
    EXPECT_EQ(EINVAL, port.GetLastError());
    EXPECT_EQ(EINVAL, port.Setup(19200, 8, 1, 0));
    EXPECT_EQ(EINVAL, port.Setup(19200, 9, 0, 0));
    EXPECT_EQ(EINVAL, port.Setup(0, 8, 0, 0));
    EXPECT_EQ(8, port.GetDataBits());
    EXPECT_EQ(0, port.GetParity());
    tio = Termios(port);
    EXPECT_EQ(CS8, int(tio.c_cflag & CSIZE));
    EXPECT_FALSE(tio.c_cflag & PARENB);

    struct Handshake {
        int mode;
        bool rtscts;
        bool xonxoff;
    };
    for (const Handshake& h : {Handshake{1, true, false}, Handshake{2, false, true}, Handshake{0, false, false}}) {
        ASSERT_EQ(0, port.SetupHandshaking(h.mode));
        EXPECT_EQ(h.mode, port.GetHandshaking());
        tio = Termios(port);
        EXPECT_EQ(h.rtscts, (tio.c_cflag & CRTSCTS) != 0) << h.mode;
        EXPECT_EQ(h.xonxoff, (tio.c_iflag & IXON) && (tio.c_iflag & IXOFF)) << h.mode;
    }
    ASSERT_EQ(0, port.SetupHandshaking(1));
    EXPECT_EQ(SERIAL_INVALID_ARG, port.SetupHandshaking(3));
    EXPECT_EQ(1, port.GetHandshaking()) << "an unknown mode changes nothing";
    EXPECT_EQ(0, port.SetupHandshakingMode(3));
    EXPECT_EQ(0, port.GetHandshaking());
    EXPECT_EQ(0, port.SetupHandshakingMode(2));
    EXPECT_EQ(2, port.GetHandshaking());

    ASSERT_EQ(0, port.SetEventChar('\r', true));
    EXPECT_EQ('\r', port.GetEventChar());
    EXPECT_TRUE(port.GetEventMask() & EV_RXFLAG);

    // Write time-outs follow the baud rate; reads return at once.
    for (auto [baud, multiplier] : {std::pair{9600, 2u}, {19200, 1u}, {57600, 0u}, {115200, 0u}}) {
        ASSERT_EQ(0, port.SetupBaudrate(baud));
        ASSERT_EQ(0, port.SetTimeoutForIO());
        EXPECT_EQ(multiplier, port.GetTimeouts().writeTotalMultiplier) << baud;
        EXPECT_EQ(1000u, port.GetTimeouts().readTotalConstant);
        EXPECT_EQ(0xFFFFFFFFu, port.GetTimeouts().readInterval);
    }
    EXPECT_EQ(SERIAL_INVALID_ARG, port.SetupReadTimeouts(2));
    EXPECT_EQ(0, port.SetupReadTimeouts(1));
    EXPECT_EQ(0u, port.GetTimeouts().readInterval);
    EXPECT_EQ(0, port.Close());
}

TEST(Serial, ReadTakesOnlyWhatIsQueued)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    uint8_t buffer[256];
    uint32_t count = 77;
    EXPECT_EQ(0, port.Read(buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, port.Read(buffer, sizeof buffer, nullptr));

    std::vector<uint8_t> sent(100);
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = uint8_t(i * 7);
    ASSERT_TRUE(pty.Write(sent));
    ASSERT_TRUE(WaitFor([&] {
        int queued = 0;
        return ioctl(port.Descriptor(), FIONREAD, &queued) == 0 && queued == 100;
    }));
    ASSERT_EQ(0, port.Read(buffer, 40, &count));
    EXPECT_EQ(40u, count);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 40), std::vector<uint8_t>(buffer, buffer + 40));
    ASSERT_EQ(0, port.Read(buffer, sizeof buffer, &count));
    EXPECT_EQ(60u, count);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 40, sent.end()), std::vector<uint8_t>(buffer, buffer + 60));

    // Write hands the bytes on in order.
    uint32_t length = 5;
    ASSERT_EQ(0, port.Write("U00\r!", &length));
    EXPECT_EQ(5u, length);
    std::vector<uint8_t> echoed = pty.Read(5);
    EXPECT_EQ(std::string("U00\r!"), std::string(echoed.begin(), echoed.end()));
    EXPECT_EQ(0, port.Close());
}

TEST(Serial, InputFromBeforeTheOpenIsDropped)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    ASSERT_EQ(0, port.Close());
    ASSERT_TRUE(pty.Write("stale"));
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    uint8_t buffer[16];
    uint32_t count = 0;
    EXPECT_EQ(0, port.Read(buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    ASSERT_TRUE(pty.Write("new"));
    ASSERT_TRUE(WaitFor([&] { return port.Read(buffer, sizeof buffer, &count) == 0 && count > 0; }));
    EXPECT_EQ("new", std::string(buffer, buffer + count));

    // Purge drops what is queued as well.
    ASSERT_TRUE(pty.Write("more"));
    ASSERT_TRUE(WaitFor([&] {
        int queued = 0;
        return ioctl(port.Descriptor(), FIONREAD, &queued) == 0 && queued == 4;
    }));
    EXPECT_EQ(0, port.Purge());
    EXPECT_EQ(0, port.Read(buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, port.Close());
}

TEST(Serial, PseudoTerminalHasNoModemLinesOrLineErrors)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_EQ(0, port.GetCTS());
    EXPECT_EQ(0, port.GetDSR());
    EXPECT_EQ(0, port.GetRLSD());
    EXPECT_EQ(0u, port.GetError());
    SerialProperties properties;
    ASSERT_TRUE(port.GetProperties(properties));
    EXPECT_FALSE(properties.hasModemLines);
    // A hang-up of the far end shows as end of file.
    pty.CloseMaster();
    EXPECT_EQ(SERIAL_EOF, port.WaitEvent(1000));
    EXPECT_EQ(0, port.Close());
}

TEST(Serial, StoredDefaultIsAppliedBeforeTheCallersSettings)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    MemoryDefaults defaults;
    ProviderScope scope(&defaults);
    defaults.stored[pty.Slave()] = PortDefaults{19200, 8, 0, 2, 1};

    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_EQ(19200, port.GetBaudrate());
    EXPECT_EQ(2, port.GetStopBits());
    EXPECT_EQ(1, port.GetHandshaking());
    ASSERT_EQ(0, port.SetupBaudrate(57600));
    ASSERT_EQ(0, port.SetupHandshakingMode(0));
    EXPECT_EQ(57600, port.GetBaudrate());
    EXPECT_EQ(0, port.GetStopBits());
    EXPECT_EQ(0, port.GetHandshaking());
    ASSERT_EQ(0, port.Close());

    // A stored default the driver refuses does not fail the open.
    defaults.stored[pty.Slave()] = PortDefaults{9600, 7, 2, 0, 0};
    EXPECT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_EQ(8, port.GetDataBits());
    EXPECT_EQ(0, port.GetParity());
    ASSERT_EQ(0, port.Close());
}

TEST(Serial, ConfigDialogStoresTheDefaultOnlyWhenConfirmed)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    MemoryDefaults defaults;
    ProviderScope scope(&defaults);

    struct Editor : IPortConfigEditor {
        bool confirm = false;
        PortDefaults shown;
        bool Edit(const std::string&, PortDefaults& config) override
        {
            shown = config;
            config.baud = 115200;
            config.handshaking = 2;
            return confirm;
        }
    } editor;

    CSerial port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    ASSERT_EQ(0, port.SetupBaudrate(38400));
    PortDefaults config;
    EXPECT_FALSE(port.ShowConfigDialog(pty.Slave().c_str(), &editor, config));
    EXPECT_FALSE(port.IsOpen()) << "the dialog closes the port first";
    EXPECT_TRUE(defaults.stored.empty());

    editor.confirm = true;
    EXPECT_TRUE(port.ShowConfigDialog(pty.Slave().c_str(), &editor, config));
    ASSERT_EQ(1u, defaults.stored.count(pty.Slave()));
    EXPECT_EQ(115200, defaults.stored[pty.Slave()].baud);
    EXPECT_EQ(2, defaults.stored[pty.Slave()].handshaking);
    // The next edit starts from what is stored.
    EXPECT_TRUE(port.ShowConfigDialog(pty.Slave().c_str(), &editor, config));
    EXPECT_EQ(115200, editor.shown.baud);
    EXPECT_FALSE(port.ShowConfigDialog("/dev/ormid-no-such-port", &editor, config));
}

TEST(SerialPortList, ListsSimulatedUnitsAndSkipsDanglingLinks)
{
    TempFolder runtime;
    ASSERT_FALSE(runtime.Path().empty());
    const char* saved = getenv("XDG_RUNTIME_DIR");
    std::string savedValue = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);

    EXPECT_EQ(runtime.Path() + "/ormid/ports", SimulatedPortsFolder());
    std::vector<std::string> before = ListSerialPorts();  // no folder yet: the real ports only

    PtyPair first, second, reused;
    ASSERT_TRUE(first.Ok() && second.Ok() && reused.Ok());
    std::string folder = SimulatedPortsFolder();
    ASSERT_EQ(0, system(("mkdir -p '" + folder + "'").c_str()));
    ASSERT_EQ(0, symlink(second.Slave().c_str(), (folder + "/unit-a").c_str()));
    ASSERT_EQ(0, symlink(first.Slave().c_str(), (folder + "/unit-b").c_str()));
    ASSERT_EQ(0, symlink(first.Slave().c_str(), (folder + "/same-unit").c_str()));
    ASSERT_EQ(0, symlink("/dev/pts/999999", (folder + "/gone").c_str()));
    ASSERT_EQ(0, symlink("/etc/hostname", (folder + "/not-a-device").c_str()));
    // A killed simulator's link, its pseudo-terminal's number taken by another.
    ASSERT_EQ(0, symlink(reused.Slave().c_str(), (folder + "/unitsim-2147483646").c_str()));

    std::vector<std::string> ports = ListSerialPorts();
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), PortNameLess));
    EXPECT_EQ(before.size() + 2, ports.size());
    EXPECT_EQ(1, std::count(ports.begin(), ports.end(), first.Slave()));
    EXPECT_EQ(1, std::count(ports.begin(), ports.end(), second.Slave()));
    EXPECT_EQ(0, std::count(ports.begin(), ports.end(), "/dev/pts/999999"));
    EXPECT_EQ(0, std::count(ports.begin(), ports.end(), reused.Slave()));
    for (const std::string& port : ports)
        EXPECT_EQ(0u, port.rfind("/dev/", 0)) << port;

    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ("/tmp/ormid-" + std::to_string(getuid()) + "/ports", SimulatedPortsFolder());
    if (saved)
        setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
}

TEST(SerialPortList, NumbersInNamesSortByValue)
{
    std::vector<std::string> ports = {"/dev/ttyUSB10", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/pts/10",
                                      "/dev/ttyACM0",  "/dev/pts/9", "/dev/ttyUSB1", "/dev/ttyS0"};
    std::sort(ports.begin(), ports.end(), PortNameLess);
    EXPECT_EQ((std::vector<std::string>{"/dev/pts/9", "/dev/pts/10", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1",
                                        "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}),
              ports);
    EXPECT_FALSE(PortNameLess("/dev/ttyS1", "/dev/ttyS1"));
    EXPECT_TRUE(PortNameLess("/dev/ttyS01", "/dev/ttyS1") != PortNameLess("/dev/ttyS1", "/dev/ttyS01"));
}

TEST(Serial, OpenFailureTextsNameTheCause)
{
    EXPECT_NE(std::string::npos, CSerial::OpenFailureText("/dev/ttyUSB0", EACCES).find("dialout"));
    EXPECT_NE(std::string::npos, CSerial::OpenFailureText("/dev/ttyUSB0", EACCES).find("/dev/ttyUSB0"));
    EXPECT_NE(std::string::npos, CSerial::OpenFailureText("/dev/ttyUSB0", EBUSY).find("in use"));
    EXPECT_EQ(std::string::npos, CSerial::OpenFailureText("/dev/ttyUSB0", ENOENT).find("dialout"));
}
