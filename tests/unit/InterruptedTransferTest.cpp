// ormid-cli after a transfer that was cut off: a writer killed in the middle
// of a sector (the simulated unit then takes every byte, commands too, as that
// sector's data until it is whole), a read stopped with Ctrl+C while the unit
// sends a sector, a unit that says nothing at all, and Ctrl+C while a unit
// keeps talking. Each row runs as its own test, so that the rows and
// their time limits run side by side.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

#include "CliProcess.h"
#include "PtyPair.h"
#include "StateFolder.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "SimProcess.h"
#include "WaitFor.h"
#include "cMemoryMap.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Unit {
    Sim,     // ormid-unitsim at 57600 baud that never gives up a cut-off sector
    Silent,  // a pseudo-terminal nobody answers on
    Chatty,  // a pseudo-terminal that never stops sending
};

enum class Before {
    Nothing,
    KillWriter,     // a write killed (SIGKILL) 300 ms into sector 1
    InterruptRead,  // a read stopped (SIGINT) 300 ms into sector 1
};

enum class Image {
    Plain,    // two messages, sectors 0 to 3
    SumZero,  // sector 1 starts with bytes that, with the next "P1\r", sum to 0 modulo 65536
};

struct Row {
    const char* name;
    Unit unit;
    Before before;
    Image image;
    std::vector<std::string> command;  // IMAGE and OUT stand for the files
    // Ctrl+C once stderr shows this (empty: let the run end by itself).
    const char* interruptOn;
    int exitCode;
    std::vector<std::string> says;  // on stderr, in this order
    bool flashIsImage;              // every sector of the unit's flash
    int sector1Programmed;          // times the unit programmed sector 1 in the run (-1: not checked)
};

const char* const kFillerAnswered = "<- 8194 bytes of sector 01";
const char* const kHint = "If a write to this unit was interrupted, switch the unit off and on, or retry with Recover";

const Row kRows[] = {
    {"WriteAfterAKilledWriteRewritesTheCutSector",
     Unit::Sim,
     Before::KillWriter,
     Image::Plain,
     {"write", "IMAGE"},
     "",
     0,
     {"No answer to P1 - completing an interrupted sector write",
      "Sector 1 was cut off by an interrupted write; it is written again", "Unit write completed.",
      "Verify OK - 1 sector matches"},
     true,
     1},
    {"FillerProgrammedIntoTheCutSectorIsWrittenOver",
     Unit::Sim,
     Before::KillWriter,
     Image::SumZero,
     {"write", "IMAGE"},
     "",
     0,
     {"Sector 1 was cut off by an interrupted write; it is written again", "Verify OK - 1 sector matches"},
     true,
     2},
    {"ReadAfterAKilledWrite",
     Unit::Sim,
     Before::KillWriter,
     Image::Plain,
     {"read", "OUT"},
     "",
     0,
     {"Sector 1 was cut off by an interrupted write; write the unit again",
      "No answer to U00 - completing an interrupted sector write", "TX Data read OK"},
     true,
     0},
    {"VerifyAfterAKilledWrite",
     Unit::Sim,
     Before::KillWriter,
     Image::Plain,
     {"verify", "IMAGE"},
     "",
     0,
     {"Sector 1 was cut off by an interrupted write; write the unit again",
      "No answer to U00 - completing an interrupted sector write", "Verify OK - 4 sectors match"},
     true,
     0},
    {"NoTimeoutsNeverSendFiller",
     Unit::Sim,
     Before::KillWriter,
     Image::Plain,
     {"write", "--no-timeouts", "IMAGE"},
     kHint,
     130,
     {"No answer to P1", kHint, "Write interrupted; port closed."},
     false,
     0},
    {"ReadAfterAnInterruptedRead",
     Unit::Sim,
     Before::InterruptRead,
     Image::Plain,
     {"read", "OUT"},
     "",
     0,
     {"TX Data read OK"},
     true,
     0},
    {"VerifyAfterAnInterruptedRead",
     Unit::Sim,
     Before::InterruptRead,
     Image::Plain,
     {"verify", "IMAGE"},
     "",
     0,
     {"Verify OK"},
     true,
     0},
    {"SilentUnitWithoutJournalTimesOut",
     Unit::Silent,
     Before::Nothing,
     Image::Plain,
     {"write", "IMAGE"},
     "",
     1,
     {"Write failed: Timeout - Enter program Mode", kHint},
     false,
     -1},
    {"CtrlCDuringTheQuietWait",
     Unit::Chatty,
     Before::Nothing,
     Image::Plain,
     {"write", "IMAGE"},
     "Waiting for the unit to finish sending",
     130,
     {"Write interrupted; port closed."},
     false,
     -1},
};

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// The far end of a pseudo-terminal: keeps every byte the program sends and,
// when chatty, sends without a pause.
class PtyUnit {
public:
    explicit PtyUnit(bool chatty) : m_thread([this, chatty] { Run(chatty); }) { }
    ~PtyUnit()
    {
        m_stop = true;
        m_thread.join();
    }
    const std::string& Port() const { return m_pty.Slave(); }
    std::string Heard()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heard;
    }

private:
    void Run(bool chatty)
    {
        const std::string noise(64, 'x');
        while (!m_stop) {
            if (chatty)
                m_pty.Write(noise);
            const std::vector<uint8_t> got = m_pty.Read(4096, 5);
            if (got.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));  // nobody on the line yet
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heard += Text(got);
        }
    }

    PtyPair m_pty;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::string m_heard;
    std::thread m_thread;
};

class InterruptedTransferTest : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        cMemoryMap image;
        FillImage(image, {9000, 12000});
        if (GetParam().image == Image::SumZero) {
            // 256 x 0xFF and 0x72 sum to 0xFF72; "P1\r" adds 0x8E; zeros follow.
            uint8_t* sector = image.GetImageBuffer() + cMemoryMap::GetSectorStart(1);
            memset(sector, 0, 0x2000);
            memset(sector, 0xFF, 256);
            sector[256] = 0x72;
        }
        QuietReport report;
        ASSERT_TRUE(image.WriteImageFile(imagePath.c_str(), report));
    }

    std::string Log() { return Text(ReadBytes(logPath)); }

    // A write killed while sector 1 is on its way; what it had handed to the
    // driver is lost with it, as on a pulled cable.
    void KillWriter(const std::string& port)
    {
        CliProcess writer;
        writer.Start({"write", "--port", port, "--baud", "57600", imagePath}, scratch.File("killed"));
        ASSERT_TRUE(WaitFor([&] { return Log().find("<- R01") != std::string::npos; }, 20000)) << Log();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        writer.Signal(SIGKILL);
        writer.Wait();
        const int line = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(line, 0);
        tcflush(line, TCOFLUSH);
        close(line);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(Log().find(kFillerAnswered), std::string::npos) << "sector 1 was not cut off";
    }

    // A read stopped while the unit sends a sector nobody wants now (1.4 s
    // of line at 57600).
    void InterruptRead(const std::string& port)
    {
        CliProcess reader;
        reader.Start({"read", "--port", port, "--baud", "57600", scratch.File("stopped.txi")}, scratch.File("stopped"));
        ASSERT_TRUE(WaitFor([&] { return Log().find("<- U01") != std::string::npos; }, 20000)) << Log();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        reader.Signal(SIGINT);
        ASSERT_EQ(reader.Wait(), 130);
    }

    StateFolder state;  // the journals of the killed writer and of the run
    TempFolder scratch;
    const std::string imagePath = scratch.File("image.txi");
    const std::string logPath = scratch.File("unit.log");
    const std::string flashPath = scratch.File("flash.bin");
};

TEST_P(InterruptedTransferTest, EndsAsTheOperatorExpects)
{
    const Row& row = GetParam();
    cMemoryMap expected;
    QuietReport report;
    ASSERT_TRUE(expected.ReadImageFile(imagePath.c_str(), report));

    SimProcess sim;
    std::unique_ptr<PtyUnit> pty;
    std::string port;
    if (row.unit == Unit::Sim) {
        // The unit holds the image already; the killed write writes it again.
        ASSERT_TRUE(sim.Start({"--baud", "57600", "--erase-ms", "5", "--fault", "hold-rx:always", "--flash", flashPath,
                               "--image", imagePath, "--log", logPath}));
        port = sim.Port();
    } else {
        pty.reset(new PtyUnit(row.unit == Unit::Chatty));
        port = pty->Port();
    }
    if (row.before == Before::KillWriter)
        KillWriter(port);
    else if (row.before == Before::InterruptRead)
        InterruptRead(port);
    if (HasFatalFailure())
        return;
    const size_t programmedBefore = Count(Log(), "sector 01 programmed");

    std::vector<std::string> args;
    for (const std::string& a : row.command)
        args.push_back(a == "IMAGE" ? imagePath : a == "OUT" ? scratch.File("out.txi") : a);
    args.insert(args.begin() + 1, {"--port", port, "--baud", "57600"});
    CliProcess run;
    run.Start(args, scratch.File("run"));
    int code = 0;
    if (*row.interruptOn) {
        ASSERT_TRUE(WaitFor([&] { return run.Stderr().find(row.interruptOn) != std::string::npos; }, 30000))
            << run.Stderr();
        const std::string heardAtSignal = pty ? pty->Heard() : std::string();
        const auto signalled = Clock::now();
        run.Signal(SIGINT);
        code = run.Wait();
        // Every wait looks for a stop: far sooner than any quiet line or time-out.
        EXPECT_LT(Clock::now() - signalled, std::chrono::seconds(2));
        if (pty)
            EXPECT_EQ(pty->Heard(), heardAtSignal) << "sent after the signal";
    } else {
        code = run.Wait(120);
    }
    const std::string err = run.Stderr();
    EXPECT_EQ(code, row.exitCode) << err << Log();
    size_t at = 0;
    for (const std::string& text : row.says) {
        at = err.find(text, at);
        EXPECT_NE(at, std::string::npos) << text << "\n" << err;
    }
    if (row.unit == Unit::Silent)
        EXPECT_EQ(pty->Heard(), "P1\r") << "nothing but P1 goes to a silent unit";
    if (row.unit == Unit::Chatty)
        EXPECT_EQ(pty->Heard().find("P1"), std::string::npos);
    if (row.unit != Unit::Sim)
        return;

    sim.Stop();
    const std::string log = Log();
    if (row.sector1Programmed >= 0)
        EXPECT_EQ(Count(log, "sector 01 programmed") - programmedBefore, size_t(row.sector1Programmed)) << log;
    if (std::string(row.name) == "NoTimeoutsNeverSendFiller")
        EXPECT_EQ(log.find(kFillerAnswered), std::string::npos) << log;
    if (row.flashIsImage) {
        const std::vector<uint8_t> flash = ReadBytes(flashPath);
        ASSERT_GE(flash.size(), size_t(cMemoryMap::kImageSize));
        for (uint8_t s = 0; s < cMemoryMap::kSectorCount; s++) {
            const uint32_t start = cMemoryMap::GetSectorStart(s);
            EXPECT_EQ(
                0, memcmp(flash.data() + start, expected.GetImageBuffer() + start, cMemoryMap::GetSectorEnd(s) - start))
                << "sector " << int(s);
        }
    }
    if (row.command[0] == "read" && code == 0) {
        cMemoryMap back;
        ASSERT_TRUE(back.ReadImageFile(scratch.File("out.txi").c_str(), report));
        const uint32_t end = cMemoryMap::GetSectorEnd(expected.GetLastUsedSector());
        EXPECT_EQ(0, memcmp(back.GetImageBuffer(), expected.GetImageBuffer(), end));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, InterruptedTransferTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
