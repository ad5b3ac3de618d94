// CSerialPort's worker against real pseudo-terminals: delivery of bursts,
// unwanted bytes in the program log, queued sending, hang-ups and closing a
// busy port.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

#include "CLogFile.h"
#include "PtyPair.h"
#include "serialport.h"

namespace {

// Opens the program log in a temporary folder for one test.
class LogScope {
public:
    LogScope()
    {
        m_path = m_folder.Path() + "/ORMID.log";
        std::ofstream(m_folder.Path() + "/TXDoruvevAzad.ini") << "[DEBUG]\nLog=1\n";
        TheLog().Open("ORMID.log", m_folder.Path());
    }
    ~LogScope() { TheLog().Close(); }
    std::string Text() const
    {
        std::ifstream file(m_path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    bool WaitForText(const std::string& part, int timeoutMs = 10000) const
    {
        return WaitFor([&] { return Text().find(part) != std::string::npos; }, timeoutMs);
    }

private:
    TempFolder m_folder;
    std::string m_path;
};

class Worker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 4096, 4096));
        ASSERT_EQ(0, port.SetupBaudrate(115200));
    }
    void TearDown() override { port.Close(); }

    void Expect(uint8_t* destination, uint32_t count)
    {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        TransferRequest& request = port.Request();
        request.receiveEnabled = 1;
        request.protocolState = 1;
        request.bytesExpected = count;
        request.destination = destination;
    }
    uint32_t BytesExpected()
    {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        return port.Request().bytesExpected;
    }
    void Send(const std::vector<uint8_t>& block)
    {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        port.SendData(block.data(), uint32_t(block.size()));
    }
    size_t QueuedAtPort()
    {
        int queued = 0;
        ioctl(port.Descriptor(), FIONREAD, &queued);
        return size_t(queued);
    }

    LogScope log;
    PtyPair pty;
    CSerialPort port;
};

std::vector<uint8_t> Pattern(size_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = uint8_t(seed >> 16);
    }
    return bytes;
}

}  // namespace

TEST_F(Worker, DeliversExactAndSplitBursts)
{
    uint8_t reply[5] = {};
    Expect(reply, 5);
    ASSERT_EQ(0, port.StartWorker());
    EXPECT_TRUE(port.IsWorkerRunning());
    EXPECT_EQ(SERIAL_ALREADY_OPEN, port.StartWorker());
    ASSERT_TRUE(log.WaitForText("Worker Thread Created"));

    ASSERT_TRUE(pty.Write(std::vector<uint8_t>{1, 2, 3}));
    ASSERT_TRUE(WaitFor([&] { return BytesExpected() == 2; }));
    ASSERT_TRUE(pty.Write(std::vector<uint8_t>{4, 5}));
    ASSERT_TRUE(WaitFor([&] { return BytesExpected() == 0; }));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5}), std::vector<uint8_t>(reply, reply + 5));
    EXPECT_EQ(5u, port.TotalBytesDelivered());

    // A whole sector-sized reply in one request, written faster than it is read.
    std::vector<uint8_t> sector = Pattern(70000, 7);
    std::vector<uint8_t> into(sector.size());
    Expect(into.data(), uint32_t(into.size()));
    ASSERT_TRUE(pty.Write(sector));
    ASSERT_TRUE(WaitFor([&] { return BytesExpected() == 0; }));
    EXPECT_EQ(sector, into);
    EXPECT_EQ(70005u, port.TotalBytesDelivered());
    EXPECT_EQ(std::string::npos, log.Text().find("Unwanted"));

    EXPECT_EQ(0, port.Close());
    EXPECT_FALSE(port.IsWorkerRunning());
    EXPECT_TRUE(log.WaitForText("Worker Thread Terminated. Total bytes read: 70005, dwByteCount=0"));
}

TEST_F(Worker, SurplusIsLoggedAsUnwantedWithAtMostSixteenBytesShown)
{
    uint8_t reply[4] = {};
    Expect(reply, 4);
    ASSERT_EQ(0, port.StartWorker());
    ASSERT_TRUE(pty.Write(std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xA3, 0x0B, 0x1C, 0x2D, 0x3E, 0x4F, 0x50}));
    ASSERT_TRUE(log.WaitForText("Unwanted data (6 bytes) received\nFirst few bytes were:\nb 1c 2d 3e 4f 50 "));
    EXPECT_EQ((std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xA3}), std::vector<uint8_t>(reply, reply + 4));
    EXPECT_EQ(0u, BytesExpected());

    // With no request open everything is unwanted, and only 16 bytes are shown.
    std::vector<uint8_t> noise(40);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = uint8_t(0x60 + i);
    ASSERT_TRUE(pty.Write(noise));
    ASSERT_TRUE(log.WaitForText("Unwanted data (40 bytes) received"));
    std::string text = log.Text();
    size_t at = text.find("Unwanted data (40 bytes) received\nFirst few bytes were:\n");
    std::string shown = text.substr(at + std::strlen("Unwanted data (40 bytes) received\nFirst few bytes were:\n"));
    EXPECT_EQ(0u, shown.find("60 61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f ")) << shown;
    EXPECT_EQ(std::string::npos, shown.find(" 70 ")) << shown;
    EXPECT_EQ(4u, port.TotalBytesDelivered());
}

TEST_F(Worker, InputWaitsInTheDriverWhileReceivingIsOff)
{
    ASSERT_EQ(0, port.StartWorker());
    ASSERT_TRUE(pty.Write(std::string("held")));
    ASSERT_TRUE(WaitFor([&] { return QueuedAtPort() == 4; }));
    // The worker leaves the bytes alone however often it wakes.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(4u, QueuedAtPort());
    EXPECT_EQ(std::string::npos, log.Text().find("Unwanted"));

    uint8_t reply[4] = {};
    Expect(reply, 4);
    ASSERT_TRUE(WaitFor([&] { return BytesExpected() == 0; }));
    EXPECT_EQ("held", std::string(reply, reply + 4));
}

TEST_F(Worker, SendDataCutsABlockAtSixtyFourKilobytes)
{
    ASSERT_EQ(0, port.StartWorker());
    std::vector<uint8_t> block = Pattern(70000, 3);
    Send(block);
    std::vector<uint8_t> got = pty.Read(65536);
    ASSERT_EQ(65536u, got.size());
    EXPECT_TRUE(pty.Read(1, 300).empty()) << "nothing beyond 65,536 bytes";
    EXPECT_TRUE(std::equal(got.begin(), got.end(), block.begin()));

    // 65,537 bytes still fit the send buffer.
    block = Pattern(65537, 4);
    Send(block);
    got = pty.Read(65537);
    EXPECT_EQ(block, got);
}

TEST_F(Worker, BackToBackBlocksArriveWholeAndInOrder)
{
    ASSERT_EQ(0, port.StartWorker());
    std::vector<uint8_t> expected;
    {
        // All handed over within one hold of the mutex, as a protocol step does.
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        for (uint32_t i = 0; i < 24; ++i) {
            std::vector<uint8_t> block = Pattern(i % 3 == 0 ? 1024 : 5 + i * 97, i);
            expected.insert(expected.end(), block.begin(), block.end());
            port.SendData(block.data(), uint32_t(block.size()));
        }
    }
    // More from separate steps while the first ones are still going out.
    for (uint32_t i = 0; i < 8; ++i) {
        std::vector<uint8_t> block = Pattern(4099, 100 + i);
        expected.insert(expected.end(), block.begin(), block.end());
        Send(block);
    }
    std::vector<uint8_t> got = pty.Read(expected.size());
    EXPECT_TRUE(pty.Read(1, 300).empty());
    EXPECT_EQ(expected.size(), got.size());
    EXPECT_TRUE(got == expected);
}

TEST_F(Worker, ClearTransferDropsBlocksNotYetSent)
{
    // The far end does not read, so the line backs up.
    ASSERT_EQ(0, port.StartWorker());
    std::vector<uint8_t> block = Pattern(65536, 9);
    {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        for (int i = 0; i < 4; ++i)
            port.SendData(block.data(), uint32_t(block.size()));
    }
    {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        port.ClearTransfer();
        EXPECT_EQ(0u, port.Request().bytesExpected);
        EXPECT_EQ(nullptr, port.Request().destination);
    }
    std::vector<uint8_t> got = pty.Read(4 * 65536, 1500);
    EXPECT_LT(got.size(), 2u * 65536u);
    // The port still carries new blocks after a clear.
    pty.Read(1 << 20, 300);
    Send({'P', '0', '\r'});
    got = pty.Read(3);
    EXPECT_EQ((std::vector<uint8_t>{'P', '0', '\r'}), got);
}

TEST_F(Worker, CloseDuringABusyTransferReturns)
{
    uint8_t reply[100000];
    Expect(reply, sizeof reply);
    ASSERT_EQ(0, port.StartWorker());
    // Writes are stuck (nobody reads the far end) and bytes are arriving.
    std::vector<uint8_t> block = Pattern(65536, 5);
    for (int i = 0; i < 3; ++i)
        Send(block);
    ASSERT_TRUE(pty.Write(Pattern(2000, 6)));
    ASSERT_TRUE(WaitFor([&] { return port.TotalBytesDelivered() > 0; }));

    std::atomic<bool> closed{false};
    std::thread closer([&] {
        port.Close();
        closed = true;
    });
    bool done = WaitFor([&] { return closed.load(); }, 20000);
    if (!done)
        closer.detach();  // leave the hung thread; the failure says enough
    else
        closer.join();
    ASSERT_TRUE(done) << "Close hung";
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.IsWorkerRunning());

    // The same object opens the port again and works.
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 4096, 4096));
    pty.Read(1 << 20, 200);
    Expect(reply, 3);
    ASSERT_EQ(0, port.StartWorker());
    ASSERT_TRUE(pty.Write(std::string("abc")));
    ASSERT_TRUE(WaitFor([&] { return BytesExpected() == 0; }));
    EXPECT_EQ("abc", std::string(reply, reply + 3));
}

TEST_F(Worker, CloseWhileTheCallerHoldsTheTransferMutex)
{
    uint8_t reply[8];
    Expect(reply, sizeof reply);
    ASSERT_EQ(0, port.StartWorker());
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        // Bytes arrive while the mutex is held, so the worker wants it.
        pty.Write(std::string("12345678"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.Close();
        closed = true;
    });
    bool done = WaitFor([&] { return closed.load(); }, 20000);
    if (!done)
        closer.detach();
    else
        closer.join();
    ASSERT_TRUE(done) << "Close hung";
    EXPECT_FALSE(port.IsWorkerRunning());
}

TEST_F(Worker, DestructorAndReopenEndARunningWorker)
{
    {
        PtyPair other;
        ASSERT_TRUE(other.Ok());
        CSerialPort local;
        ASSERT_EQ(0, local.Open(other.Slave().c_str(), 0, 0));
        ASSERT_EQ(0, local.StartWorker());
        std::lock_guard<std::mutex> lock(local.TransferMutex());
        local.SendData("P1\r", 3);
    }
    // Opening again stops the worker first; the open itself then refuses.
    ASSERT_EQ(0, port.StartWorker());
    EXPECT_EQ(SERIAL_ALREADY_OPEN, port.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_FALSE(port.IsWorkerRunning());
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(Worker, AVanishedLineEndsTheWorkerAndIsLogged)
{
    uint8_t reply[16];
    Expect(reply, sizeof reply);
    ASSERT_EQ(0, port.StartWorker());
    ASSERT_TRUE(pty.Write(std::string("abc")));
    ASSERT_TRUE(WaitFor([&] { return BytesExpected() == 13; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !port.IsWorkerRunning(); }));
    EXPECT_TRUE(log.WaitForText("Worker Thread Terminated. Total bytes read: 3, dwByteCount=13"));
    EXPECT_NE(std::string::npos, log.Text().find("is gone"));
    // Sending into the dead port does not block or crash, and Close is clean.
    Send({'P', '1', '\r'});
    EXPECT_EQ(0, port.Close());
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortTexts, LineErrorFlagsByExactValue)
{
    const std::vector<std::pair<uint32_t, const char*>> table = {
        {0x0001, "Input buffer overflow"},
        {0x0002, "Buffer overrun"},
        {0x0004, "Input parity error"},
        {0x0008, "Framing error"},
        {0x0010, "Break condition"},
        {0x0100, "Output buffer full"},
        {0x0400, "IO device error"},
        {0x8000, "Unsupported mode"},
        {0x000A, "Unknown"},
        {0x0000, "Unknown"},
    };
    for (const auto& [flags, text] : table)
        EXPECT_EQ(text, CSerialPort::ErrorFlagsText(flags)) << flags;
}

TEST(SerialPortEvents, PriorityServesOneEnabledEventAtATime)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerialPort port;
    ASSERT_EQ(0, port.Open(pty.Slave().c_str(), 0, 0));
    EXPECT_EQ(-1, port.GetEventPriority());
    ASSERT_EQ(0, port.SetMask(EV_CTS | EV_ERR));
    ASSERT_TRUE(pty.Write(std::string("x")));
    ASSERT_TRUE(WaitFor([&] { return port.CheckEvents() == 0 && (port.GetEventsReceived() & EV_RXCHAR); }));
    EXPECT_EQ(-1, port.GetEventPriority()) << "received characters are not enabled";
    ASSERT_EQ(0, port.SetMask(EV_RXCHAR));
    ASSERT_EQ(0, port.CheckEvents());
    EXPECT_EQ(int(EV_RXCHAR), port.GetEventPriority());
    EXPECT_EQ(-1, port.GetEventPriority());
    EXPECT_EQ(0, port.Close());
}
