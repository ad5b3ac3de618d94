// CSerialPort against the simulated unit: every command of reading and of
// programming the unit, exchanged by hand through the worker.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <fstream>

#include "CLogFile.h"
#include "TickCount.h"
#include "PtyPair.h"
#include "serialport.h"

namespace {

constexpr uint32_t kSmallSector = 0x2000;
constexpr uint32_t kLargeSector = 0x10000;

class UnitSim {
public:
    bool Start(const std::string& runtimeFolder, bool fast)
    {
        std::string program = std::string(ORMID_BIN_DIR) + "/ormid-unitsim";
        if (access(program.c_str(), X_OK) != 0)
            return false;
        int out[2];
        if (pipe(out) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
            if (fast)
                execl(program.c_str(), program.c_str(), "--fast", "--baud", "115200", "--erase-ms", "20,5",
                      static_cast<char*>(nullptr));
            else
                execl(program.c_str(), program.c_str(), "--baud", "115200", "--erase-ms", "20,5",
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_out = out[0];
        // The first line names the port.
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{m_out, POLLIN, 0};
            if (poll(&pfd, 1, 50) <= 0)
                continue;
            char c;
            if (read(m_out, &c, 1) != 1)
                break;
            line += c;
        }
        if (line.rfind("port: ", 0) != 0 || line.back() != '\n')
            return false;
        m_port = line.substr(6, line.size() - 7);
        return true;
    }
    ~UnitSim() { Stop(); }
    int Stop()
    {
        int status = -1;
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (m_out >= 0)
            close(m_out);
        m_out = -1;
        return status;
    }
    const std::string& Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_port;
};

std::vector<uint8_t> Pattern(size_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = uint8_t(seed >> 24);
    }
    return bytes;
}

uint16_t Sum(const uint8_t* bytes, size_t length)
{
    uint16_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = uint16_t(sum + bytes[i]);
    return sum;
}

class UnitExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(logFolder.Path() + "/TXDoruvevAzad.ini") << "[DEBUG]\nLog=1\n";
        TheLog().Open("ORMID.log", logFolder.Path());
        bool paced = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).find("Paced") == 0;
        if (!sim.Start(runtime.Path(), !paced))
            GTEST_SKIP() << "ormid-unitsim is not built or did not start";
        ASSERT_EQ(0, port.Open(sim.Port().c_str(), 4096, 4096));
        ASSERT_EQ(0, port.SetupBaudrate(115200));
        ASSERT_EQ(0, port.SetupHandshakingMode(0));
        ASSERT_EQ(0, port.SetTimeoutForIO());
        ASSERT_EQ(0, port.StartWorker());
    }
    void TearDown() override
    {
        port.Close();
        TheLog().Close();
    }

    // Names the reply buffer, then hands over the blocks, all in one step.
    void Request(std::vector<uint8_t>& reply, const std::vector<std::vector<uint8_t>>& blocks)
    {
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        TransferRequest& request = port.Request();
        request.requestStartTime = GetTickCountMs();
        request.receiveEnabled = 1;
        request.protocolState = 1;
        request.bytesExpected = uint32_t(reply.size());
        request.destination = reply.data();
        for (const auto& block : blocks)
            port.SendData(block.data(), uint32_t(block.size()));
    }
    bool Complete()
    {
        return WaitFor([&] {
            std::lock_guard<std::mutex> lock(port.TransferMutex());
            return port.Request().bytesExpected == 0;
        });
    }
    std::string Command(const std::string& text, size_t replyLength)
    {
        std::vector<uint8_t> reply(replyLength);
        Request(reply, {std::vector<uint8_t>(text.begin(), text.end())});
        EXPECT_TRUE(Complete()) << "no full reply to " << text;
        return std::string(reply.begin(), reply.end());
    }
    // Reads a sector and checks the frame around it; returns the data.
    std::vector<uint8_t> ReadSector(int sector, uint32_t length)
    {
        char command[8];
        snprintf(command, sizeof command, "U%02d\r", sector);
        std::vector<uint8_t> reply(5 + length + 2);
        Request(reply, {std::vector<uint8_t>(command, command + 4)});
        EXPECT_TRUE(Complete()) << "no full reply to U" << sector;
        EXPECT_EQ(std::string(command, 4), std::string(reply.begin(), reply.begin() + 4));
        EXPECT_EQ('A', reply[4]) << sector;
        uint16_t sum = Sum(reply.data() + 5, length);
        EXPECT_EQ(sum & 0xFF, reply[5 + length]) << sector;
        EXPECT_EQ(sum >> 8, reply[6 + length]) << sector;
        return std::vector<uint8_t>(reply.begin() + 5, reply.begin() + 5 + length);
    }
    // Writes a sector in blocks of 1,024 bytes; returns the unit's two answers.
    std::string WriteSector(int sector, const std::vector<uint8_t>& data, uint16_t sum)
    {
        char command[8];
        snprintf(command, sizeof command, "R%02d\r", sector);
        EXPECT_EQ(std::string(command, 4) + "A", Command(command, 5));
        std::vector<std::vector<uint8_t>> blocks;
        for (size_t at = 0; at < data.size(); at += 1024)
            blocks.emplace_back(data.begin() + at, data.begin() + std::min(data.size(), at + 1024));
        blocks.push_back({uint8_t(sum & 0xFF), uint8_t(sum >> 8)});
        // The acknowledgement and the programming result are asked for in one
        // request: a quick 'G' must not come before its request.
        std::vector<uint8_t> answer(2);
        Request(answer, blocks);
        bool answered = WaitFor([&] {
            std::lock_guard<std::mutex> lock(port.TransferMutex());
            uint32_t left = port.Request().bytesExpected;
            return left == 0 || (left == 1 && answer[0] != 'A');
        });
        EXPECT_TRUE(answered) << "no answer for sector " << sector;
        std::lock_guard<std::mutex> lock(port.TransferMutex());
        return std::string(answer.begin(), answer.begin() + (2 - port.Request().bytesExpected));
    }

    TempFolder logFolder;
    TempFolder runtime;
    UnitSim sim;
    CSerialPort port;
};

}  // namespace

TEST_F(UnitExchange, EveryCommandOfReadingAndProgramming)
{
    // The running unit is on the port list while it runs.
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    std::vector<std::string> ports = ListSerialPorts();
    EXPECT_EQ(1, std::count(ports.begin(), ports.end(), sim.Port()));

    // A new unit is erased.
    std::vector<uint8_t> table = ReadSector(0, kSmallSector);
    EXPECT_EQ(std::vector<uint8_t>(kSmallSector, 0xFF), table);

    EXPECT_EQ("P1\rA", Command("P1\r", 4));
    std::vector<uint8_t> small = Pattern(kSmallSector, 3);
    EXPECT_EQ("AG", WriteSector(3, small, Sum(small.data(), small.size())));
    std::vector<uint8_t> large = Pattern(kLargeSector, 8);
    EXPECT_EQ("AG", WriteSector(8, large, Sum(large.data(), large.size())));
    std::vector<uint8_t> refused = Pattern(kSmallSector, 4);
    EXPECT_EQ("N", WriteSector(4, refused, uint16_t(Sum(refused.data(), refused.size()) + 1)));
    EXPECT_EQ("P0\rA", Command("P0\r", 4));

    EXPECT_EQ(small, ReadSector(3, kSmallSector));
    EXPECT_EQ(large, ReadSector(8, kLargeSector));
    EXPECT_EQ(std::vector<uint8_t>(kSmallSector, 0xFF), ReadSector(4, kSmallSector))
        << "a sector with a wrong checksum is not programmed";
    EXPECT_EQ(std::vector<uint8_t>(kLargeSector, 0xFF), ReadSector(69, kLargeSector));

    // A sector the unit does not have gets a status other than 'A'.
    std::string answer = Command("U70\r", 5);
    EXPECT_EQ("U70\r", answer.substr(0, 4));
    EXPECT_NE('A', answer[4]);

    const uint32_t smallRead = 5 + kSmallSector + 2, largeRead = 5 + kLargeSector + 2;
    EXPECT_EQ(smallRead + 4 + 7 + 7 + 6 + 4 + smallRead + largeRead + smallRead + largeRead + 5,
              port.TotalBytesDelivered());
}

TEST_F(UnitExchange, AVanishingUnitEndsTheWorker)
{
    sim.Stop();
    ASSERT_TRUE(WaitFor([&] { return !port.IsWorkerRunning(); }));
    EXPECT_EQ(0, port.Close());
}

TEST_F(UnitExchange, PacedLineAtTheUnitsBaudRate)
{
    // The unit takes and gives bytes at line speed, so blocks back up in the
    // driver and replies come in many small bursts.
    EXPECT_EQ("P1\rA", Command("P1\r", 4));
    std::vector<uint8_t> data = Pattern(kSmallSector, 11);
    EXPECT_EQ("AG", WriteSector(5, data, Sum(data.data(), data.size())));
    EXPECT_EQ("P0\rA", Command("P0\r", 4));
    EXPECT_EQ(data, ReadSector(5, kSmallSector));
}
