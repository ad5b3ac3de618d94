// CSerialPort on network ports: ser2net (started by the test) in front of a
// simulated unit's pseudo-terminal. The line settings asked for over RFC 2217
// reach the device behind the server; over raw TCP they stay the server's;
// the faults of a network end the way the operator is told they do.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

#include "Ser2netServer.h"
#include "SimProcess.h"
#include "TempFolder.h"
#include "WaitFor.h"
#include "serialport.h"

namespace {

// The device's line as the server left it, read beside the server.
termios2 DeviceLine(const std::string& path)
{
    termios2 tio{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ioctl(fd, TCGETS2, &tio);
        ::close(fd);
    }
    return tio;
}

int DeviceBaud(const std::string& path)
{
    const termios2 tio = DeviceLine(path);
    return (tio.c_cflag & CBAUD) == B57600 ? 57600 : (tio.c_cflag & CBAUD) == B115200 ? 115200 : int(tio.c_ospeed);
}

class NetworkPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Ser2netServer::Available()) {
            ASSERT_FALSE(Ser2netServer::MustRun()) << "ser2net is not installed (scripts/install-deps.sh installs it)";
            GTEST_SKIP() << "ser2net is not installed";
        }
        ASSERT_TRUE(sim.Start({"--erase-ms", "0", "--flash", scratch.File("flash")}));
        server = std::make_unique<Ser2netServer>(scratch.Path(), std::vector<std::string>{sim.Port()});
        ASSERT_TRUE(server->Start()) << scratch.Read("ser2net.log");
    }

    TempFolder scratch;
    SimProcess sim;
    std::unique_ptr<Ser2netServer> server;
};

}  // namespace

TEST_F(NetworkPortTest, Rfc2217CarriesTheLineSettingsAndRawTcpLeavesThemToTheServer)
{
    const std::string device = sim.Port();
    {
        CSerialPort port;
        ASSERT_EQ(port.Open(server->At(0).Rfc2217().c_str(), 0, 0), 0) << port.GetLastError();
        EXPECT_TRUE(port.IsNetwork());
        EXPECT_EQ(port.SetupBaudrate(57600), 0);
        EXPECT_EQ(port.SetupHandshakingMode(1), 0);
        EXPECT_EQ(port.GetBaudrate(), 57600);
        EXPECT_EQ(port.GetHandshaking(), 1);
        EXPECT_EQ(DeviceBaud(device), 57600);
        EXPECT_NE(DeviceLine(device).c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(port.SetupBaudrate(115200), 0);
        EXPECT_EQ(port.SetupHandshakingMode(0), 0);
        EXPECT_EQ(DeviceBaud(device), 115200);
        EXPECT_EQ(DeviceLine(device).c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(port.Purge(), 0);
        EXPECT_EQ(port.Close(), 0);
        EXPECT_FALSE(port.IsOpen());
    }
    CSerialPort raw;
    ASSERT_EQ(raw.Open(server->At(0).Tcp().c_str(), 0, 0), 0) << raw.GetLastError();
    EXPECT_EQ(raw.SetupBaudrate(57600), 0);
    EXPECT_EQ(raw.GetBaudrate(), 57600);    // what was asked for
    EXPECT_EQ(DeviceBaud(device), 115200);  // what the server keeps
    SerialProperties properties;
    ASSERT_TRUE(raw.GetProperties(properties));
    EXPECT_FALSE(properties.hasModemLines);
}

TEST_F(NetworkPortTest, ASectorCrossesWholeThroughTheWorker)
{
    // Sector 0 of a blank unit: 8,192 bytes of 0xFF, the byte Telnet escapes.
    constexpr uint32_t kSector = 0x2000;
    for (const std::string& name : {server->At(0).Rfc2217(), server->At(0).Tcp()}) {
        SCOPED_TRACE(name);
        CSerialPort port;
        ASSERT_EQ(port.Open(name.c_str(), 0, 0), 0);
        ASSERT_EQ(port.SetupBaudrate(115200), 0);
        ASSERT_EQ(port.StartWorker(), 0);
        std::vector<uint8_t> reply(5 + kSector + 2);
        {
            std::lock_guard<std::mutex> lock(port.TransferMutex());
            port.Request().destination = reply.data();
            port.Request().bytesExpected = uint32_t(reply.size());
            port.Request().receiveEnabled = 1;
            port.SendData("U00\r", 4);
        }
        EXPECT_TRUE(WaitFor([&] {
            std::lock_guard<std::mutex> lock(port.TransferMutex());
            return port.Request().bytesExpected == 0;
        }));
        EXPECT_EQ(std::string(reply.begin(), reply.begin() + 5), "U00\rA");
        uint32_t sum = 0;
        for (uint32_t i = 0; i < kSector; ++i)
            sum += reply[5 + i];
        EXPECT_EQ(reply[5 + kSector], sum & 0xFF);
        EXPECT_EQ(reply[6 + kSector], (sum >> 8) & 0xFF);
        EXPECT_FALSE(port.IsLineGone());
        port.Close();
    }
}

TEST_F(NetworkPortTest, FaultsOfTheNetworkAreToldByAddress)
{
    // Nobody listening.
    const int unused = Ser2netServer::FreePort();
    const std::string nobody = "tcp://127.0.0.1:" + std::to_string(unused);
    CSerialPort port;
    EXPECT_EQ(port.Open(nobody.c_str(), 0, 0), ECONNREFUSED);
    EXPECT_EQ(CSerial::OpenFailureText(nobody, ECONNREFUSED),
              "Could not connect to 127.0.0.1:" + std::to_string(unused) + ": Connection refused");

    // A server that never completes the connection (its queue is full): the
    // open gives up after its bound and says so.
    const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    ASSERT_EQ(::getsockname(full, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    std::vector<int> queued;
    for (int i = 0; i < 3; i++) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    const std::string stuck = "rfc2217://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    EXPECT_EQ(port.Open(stuck.c_str(), 0, 0), ETIMEDOUT);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(CSerial::OpenFailureText(stuck, ETIMEDOUT),
              "Could not connect to 127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + ": Connection timed out");
    for (int fd : queued)
        ::close(fd);
    ::close(full);

    // A malformed name says what is expected.
    EXPECT_EQ(port.Open("rfc2217://127.0.0.1", 0, 0), SERIAL_NET_BAD_NAME);
    EXPECT_NE(CSerial::OpenFailureText("rfc2217://127.0.0.1", SERIAL_NET_BAD_NAME).find("rfc2217://HOST:PORT"),
              std::string::npos);

    // A second client while the first holds the device.
    CSerialPort first;
    ASSERT_EQ(first.Open(server->At(0).Rfc2217().c_str(), 0, 0), 0);
    CSerialPort second;
    EXPECT_EQ(second.Open(server->At(0).Rfc2217().c_str(), 0, 0), SERIAL_NET_IN_USE);
    EXPECT_EQ(second.Open(server->At(0).Tcp().c_str(), 0, 0), SERIAL_NET_IN_USE);
    EXPECT_EQ(CSerial::OpenFailureText(server->At(0).Tcp(), SERIAL_NET_IN_USE),
              "127.0.0.1:" + std::to_string(server->At(0).tcpPort) + " is in use by another client");

    // The server dies: the worker finds the line gone, the port's writes do
    // not kill the program (no SIGPIPE), and the text names the address.
    ASSERT_EQ(first.StartWorker(), 0);
    server->Kill();
    EXPECT_TRUE(WaitFor([&] { return first.IsLineGone(); }));
    {
        std::lock_guard<std::mutex> lock(first.TransferMutex());
        first.SendData("S\r", 2);
    }
    first.Close();
    EXPECT_EQ(CSerial::LineLostText(server->At(0).Rfc2217()),
              "Transfer stopped - the connection to 127.0.0.1:" + std::to_string(server->At(0).rfc2217Port) +
                  " was lost");
    EXPECT_EQ(CSerial::OpenFailureText("rfc2217://[::1]:9", SerialNetBaudRefused(115200)),
              "[::1]:9 does not accept 115200 baud");
}
