// ormid-cli read and write against ormid-unitsim: round trips at both baud
// rates, every fault of the simulator, the sector-0 time limit and
// "--no-timeouts" with an interrupt. Each case runs its own simulator and
// ormid-cli process; the cases run side by side so that the time limits
// (5 and 10 seconds) are waited out once, not once per case.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "CSerialPort.h"
#include "CWritePlan.h"
#include "CliProcess.h"
#include "PtyPair.h"
#include "StateFolder.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "SimProcess.h"
#include "WaitFor.h"
#include "cMemoryMap.h"

namespace {

struct FaultCase {
    const char* name;
    const char* command;  // "read" or "write"
    std::vector<std::string> simArgs;
    int exitCode;
    const char* lastStatus;  // what the run ends with on stderr
};

class CliTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cMemoryMap image;
        FillImage(image, {9000, 12000});  // sectors 0 to 3
        QuietReport report;
        ASSERT_TRUE(image.WriteImageFile(imagePath.c_str(), report));
    }

    StateFolder state;  // the ports' journals, shared with the ormid-cli runs
    TempFolder scratch;
    std::string imagePath = scratch.File("messages.txi");
};

bool EndsWithLine(const std::string& text, const std::string& line)
{
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    return t.size() >= line.size() && t.compare(t.size() - line.size(), line.size(), line) == 0;
}

// How many lines of text hold part.
size_t LinesWith(const std::string& text, const std::string& part)
{
    size_t count = 0, start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.substr(start, end - start).find(part) != std::string::npos)
            ++count;
        start = end + 1;
    }
    return count;
}

}  // namespace

TEST_F(CliTransferTest, RoundTripAtBothBaudRates)
{
    const char* bauds[] = {"115200", "57600"};
    SimProcess sims[2];
    CliProcess writes[2], reads[2];
    for (int i = 0; i < 2; i++) {
        ASSERT_TRUE(sims[i].Start({"--fast", "--baud", bauds[i]}));
        writes[i].Start({"write", "--port", sims[i].Port(), "--baud", bauds[i], imagePath},
                        scratch.File(std::string("write") + bauds[i]));
    }
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(bauds[i]);
        EXPECT_EQ(writes[i].Wait(), 0) << writes[i].Stderr();
        EXPECT_TRUE(EndsWithLine(writes[i].Stderr(), "Unit write completed.")) << writes[i].Stderr();
        reads[i].Start({"read", "--port", sims[i].Port(), "--baud", bauds[i],
                        scratch.File(std::string("back") + bauds[i] + ".txi")},
                       scratch.File(std::string("read") + bauds[i]));
    }
    cMemoryMap original;
    QuietReport report;
    ASSERT_TRUE(original.ReadImageFile(imagePath.c_str(), report));
    const uint32_t end = cMemoryMap::GetSectorEnd(original.GetLastUsedSector());
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(bauds[i]);
        EXPECT_EQ(reads[i].Wait(), 0) << reads[i].Stderr();
        EXPECT_TRUE(EndsWithLine(reads[i].Stderr(), "TX Data read OK")) << reads[i].Stderr();
        cMemoryMap back;
        ASSERT_TRUE(back.ReadImageFile(scratch.File(std::string("back") + bauds[i] + ".txi").c_str(), report));
        EXPECT_EQ(0, memcmp(back.GetImageBuffer(), original.GetImageBuffer(), end));
        EXPECT_EQ(0, memcmp(back.GetTable(), original.GetTable(), cMemoryMap::kTableSize));
    }
}

TEST_F(CliTransferTest, EveryFaultEndsCleanly)
{
    const FaultCase cases[] = {
        {"no P1 reply", "write", {"--fault", "no-reply:cmd=P1"}, 1, "Timeout - Enter program Mode"},
        {"wrong P1 ack",
         "write",
         {"--fault", "wrong-ack:cmd=P1"},
         1,
         "Bad Ack (Enter program mode). Expecting 'A', had 'N'"},
        {"garbage before P1 ack",
         "write",
         {"--fault", "garbage:cmd=P1"},
         1,
         "Bad Ack (Enter program mode). Expecting 'A', had 'P'"},
        {"vanishing unit", "write", {"--fault", "vanish:cmd=P1"}, 1, "Transfer stopped - the port /dev/pts/"},
        {"vanishing after sector 0",
         "read",
         {"--image", "IMAGE", "--fault", "vanish:cmd=U,sector=1"},
         1,
         "Transfer stopped - the port /dev/pts/"},
        {"later sector silent",
         "read",
         {"--image", "IMAGE", "--fault", "no-reply:cmd=U,sector=2"},
         1,
         "Reading TX data timeout. elapsed time = [00:00:0"},
        {"partial sector ack", "write", {"--fault", "partial:cmd=R"}, 1, "Timeout - Sector start Ack sector 0"},
        {"wrong sector ack",
         "write",
         {"--fault", "wrong-ack:cmd=R"},
         1,
         "Got bad or illegal sector start Ack. Expecting 'A', got 'N' - sector 0."},
        {"stall while receiving",
         "write",
         {"--fault", "stall:cmd=R,sector=1", "--stall-ms", "7000"},
         1,
         "Timeout - Checksum Ack"},
        {"wrong checksum ack",
         "write",
         {"--fault", "wrong-ack:cmd=sum"},
         1,
         "Got bad or illegal checksum Ack. Expecting 'A', got 'N' - sector 0."},
        {"no programming result", "write", {"--fault", "no-g"}, 1, "Timeout - Sector start Ack"},
        {"A for G",
         "write",
         {"--fault", "wrong-ack:cmd=prog,once"},
         1,
         "Got bad or illegal programming result ack. Expecting 'G', got A - sector 0"},
        {"slow programming", "write", {"--fault", "slow-prog", "--slow-ms", "400"}, 0, "Unit write completed."},
        {"no P0 reply", "write", {"--fault", "no-reply:cmd=P0"}, 1, "Timeout - Exit program Mode"},
        {"wrong P0 ack", "write", {"--fault", "wrong-ack:cmd=P0"}, 0, "Unit write completed."},
        {"sector 0 silent",
         "read",
         {"--fault", "no-reply:cmd=U,sector=0"},
         1,
         "Reading TX data timeout. elapsed time = [00:00:0"},
        {"bad checksum sector 0",
         "read",
         {"--image", "IMAGE", "--fault", "bad-checksum:sector=0"},
         1,
         "Checksum error"},
        {"flipped bit sector 2", "read", {"--image", "IMAGE", "--fault", "flip-bit:sector=2"}, 1, "Checksum error"},
        {"blank unit", "read", {}, 1, "The unit is blank: it holds no messages"},
        {"stall while sending",
         "read",
         {"--image", "IMAGE", "--fault", "stall:cmd=U,sector=1", "--stall-ms", "300"},
         0,
         "TX Data read OK"},
    };
    const size_t n = sizeof cases / sizeof cases[0];
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<CliProcess>> runs;
    for (size_t i = 0; i < n; i++) {
        std::vector<std::string> simArgs = {"--fast", "--erase-ms", "0"};
        for (const auto& a : cases[i].simArgs)
            simArgs.push_back(a == "IMAGE" ? imagePath : a);
        sims.emplace_back(new SimProcess);
        ASSERT_TRUE(sims.back()->Start(simArgs)) << cases[i].name;
        const std::string target =
            std::string(cases[i].command) == "read" ? scratch.File("read" + std::to_string(i) + ".txi") : imagePath;
        runs.emplace_back(new CliProcess);
        runs.back()->Start({cases[i].command, "--port", sims.back()->Port(), target},
                           scratch.File("err" + std::to_string(i)));
    }

    // "--no-timeouts": a silent unit keeps the read waiting until interrupted.
    SimProcess silent;
    ASSERT_TRUE(silent.Start({"--fast", "--fault", "no-reply:cmd=U,sector=0"}));
    CliProcess waiting;
    const std::string waitingImage = scratch.File("waiting.txi");
    waiting.Start({"read", "--no-timeouts", "--port", silent.Port(), waitingImage}, scratch.File("waiting"));

    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(cases[i].name);
        const int code = runs[i]->Wait();
        const std::string err = runs[i]->Stderr();
        EXPECT_EQ(code, cases[i].exitCode) << err;
        const std::string expected = cases[i].lastStatus;
        const size_t at = err.rfind(expected);
        EXPECT_NE(at, std::string::npos) << err;
        // Each text once: the status the run ended with is on one line (a
        // checksum error's box says more than its status, on lines of its
        // own), and so is the hint for a unit that says nothing.
        if (expected != "Checksum error") {
            EXPECT_EQ(LinesWith(err, expected), 1u) << err;
        }
        EXPECT_LE(LinesWith(err, "retry with Recover"), 1u) << err;
        if (std::string(cases[i].name) == "no programming result") {
            EXPECT_NE(err.find("Write failed: Timeout - Sector start Ack\nAt sector 0.\n"), std::string::npos) << err;
        }
        if (cases[i].exitCode == 0) {
            EXPECT_TRUE(EndsWithLine(err, expected)) << err;
        } else {
            // The last line repeats the status the transfer ended with.
            const size_t lastLine = err.rfind("failed: ");
            EXPECT_NE(lastLine, std::string::npos) << err;
            EXPECT_GT(at, lastLine) << err;
        }
        if (std::string(cases[i].command) == "read" && code != 0) {
            // An incomplete read leaves no image file behind.
            EXPECT_NE(access(scratch.File("read" + std::to_string(i) + ".txi").c_str(), F_OK), 0);
        }
        // The port is free again: the simulator still takes a new client.
        if (std::string(cases[i].name) == "A for G") {
            CliProcess again;
            again.Start({"write", "--port", sims[i]->Port(), imagePath}, scratch.File("again"));
            EXPECT_EQ(again.Wait(), 0) << again.Stderr();
            sims[i]->Stop();
        }
    }

    EXPECT_TRUE(waiting.Running()) << waiting.Stderr();
    EXPECT_EQ(waiting.Stderr().find("timeout"), std::string::npos) << waiting.Stderr();
    waiting.Signal(SIGINT);
    EXPECT_EQ(waiting.Wait(10), 130) << waiting.Stderr();
    EXPECT_NE(waiting.Stderr().find("Read interrupted"), std::string::npos) << waiting.Stderr();
    EXPECT_NE(access(waitingImage.c_str(), F_OK), 0);
}

TEST_F(CliTransferTest, VerifyComparesTheUnitWithTheImage)
{
    const std::string flash = scratch.File("flash.bin");
    {
        // Written and read back in one run.
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--fast", "--erase-ms", "0", "--flash", flash}));
        CliProcess write;
        write.Start({"write", "--verify", "--port", sim.Port(), imagePath}, scratch.File("write"));
        EXPECT_EQ(write.Wait(), 0) << write.Stderr();
        EXPECT_TRUE(EndsWithLine(write.Stderr(), "Verify OK - 4 sectors match")) << write.Stderr();
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--fast", "--flash", flash}));
        CliProcess verify;
        verify.Start({"verify", "--port", sim.Port(), imagePath}, scratch.File("equal"));
        EXPECT_EQ(verify.Wait(), 0) << verify.Stderr();
        EXPECT_TRUE(EndsWithLine(verify.Stderr(), "Verify OK - 4 sectors match")) << verify.Stderr();
    }

    // One byte of sector 1 changed in the unit's flash.
    std::vector<uint8_t> bytes = ReadBytes(flash);
    ASSERT_GT(bytes.size(), 0x2100u);
    bytes[0x2100] ^= 0x01;
    {
        FILE* f = fopen(flash.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        fclose(f);
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--fast", "--flash", flash}));
        CliProcess verify;
        verify.Start({"verify", "--port", sim.Port(), imagePath}, scratch.File("differs"));
        EXPECT_EQ(verify.Wait(), 1) << verify.Stderr();
        // Said once, in the command line's words.
        EXPECT_TRUE(EndsWithLine(verify.Stderr(), "in sector: 1")) << verify.Stderr();
        EXPECT_EQ(verify.Stderr().find("Verify failed - sector differs: 1"), std::string::npos) << verify.Stderr();
    }
    {
        // A unit that stops answering half-way is a transfer failure, not a difference.
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--fast", "--flash", flash, "--fault", "no-reply:cmd=U,sector=2"}));
        CliProcess verify;
        verify.Start({"verify", "--port", sim.Port(), imagePath}, scratch.File("silent"));
        EXPECT_EQ(verify.Wait(), 2) << verify.Stderr();
        EXPECT_NE(verify.Stderr().find("Verify failed: Reading TX data timeout"), std::string::npos) << verify.Stderr();
    }
}

TEST_F(CliTransferTest, ReadChecksItsTargetFirstAndFailuresEndInOneLine)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--fast", "--image", imagePath, "--log", scratch.File("unit.log")}));
    CliProcess read;
    read.Start({"read", "--port", sim.Port(), scratch.File("no/such/folder/back.txi")}, scratch.File("read"));
    EXPECT_EQ(read.Wait(), 1) << read.Stderr();
    EXPECT_EQ(read.Stderr().rfind("Cannot write ", 0), 0u) << read.Stderr();
    sim.Stop();
    // The unit was never asked for anything.
    const auto log = ReadBytes(scratch.File("unit.log"));
    EXPECT_EQ(std::string(log.begin(), log.end()).find("U00"), std::string::npos);

    // A status with a line break of its own ends the failure line once.
    SimProcess wrong;
    ASSERT_TRUE(wrong.Start({"--fast", "--fault", "wrong-ack:cmd=R"}));
    CliProcess write;
    write.Start({"write", "--port", wrong.Port(), imagePath}, scratch.File("write"));
    EXPECT_EQ(write.Wait(), 1) << write.Stderr();
    EXPECT_EQ(write.Stderr().find("\n\n"), std::string::npos) << write.Stderr();
    EXPECT_TRUE(EndsWithLine(write.Stderr(), "got 'N' - sector 0.")) << write.Stderr();
}

TEST_F(CliTransferTest, WriteAfterAnInterruptedReadWaitsForTheUnitToFinishTalking)
{
    // A unit still sending a 64 KB sector that nobody wants any more.
    cMemoryMap big;
    FillImage(big, {300000});
    QuietReport report;
    const std::string bigPath = scratch.File("big.txi");
    ASSERT_TRUE(big.WriteImageFile(bigPath.c_str(), report));
    const std::string logPath = scratch.File("unit.log");
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--image", bigPath, "--erase-ms", "5", "--log", logPath}));
    CliProcess read;
    read.Start({"read", "--port", sim.Port(), scratch.File("back.txi")}, scratch.File("read"));
    auto asked = [&] {
        const auto log = ReadBytes(logPath);
        return std::string(log.begin(), log.end()).find("<- U08") != std::string::npos;
    };
    ASSERT_TRUE(WaitFor(asked));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    read.Signal(SIGINT);
    EXPECT_EQ(read.Wait(), 130) << read.Stderr();

    // The first reply the write takes must be the answer to "P1".
    CliProcess write;
    write.Start({"write", "--port", sim.Port(), imagePath}, scratch.File("write"));
    EXPECT_EQ(write.Wait(), 0) << write.Stderr();
    EXPECT_TRUE(EndsWithLine(write.Stderr(), "Unit write completed.")) << write.Stderr();
}

TEST_F(CliTransferTest, WriteAfterOneCutOffMidSectorCompletesThatSectorFirst)
{
    // A unit that keeps a cut-off sector write open for ever, as some do.
    const std::string logPath = scratch.File("unit.log");
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--baud", "57600", "--erase-ms", "5", "--fault", "hold-rx:always", "--log", logPath}));
    auto logText = [&] {
        const auto log = ReadBytes(logPath);
        return std::string(log.begin(), log.end());
    };
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            n++;
        return n;
    };
    CliProcess first;
    first.Start({"write", "--port", sim.Port(), "--baud", "57600", imagePath}, scratch.File("first"));
    ASSERT_TRUE(WaitFor([&] { return logText().find("<- R00") != std::string::npos; }));
    // Part of the 8 KB sector is on its way (1.4 s of line at 57600). The
    // program dies, and what it had left with the driver is lost too, as on a
    // pulled cable: a pty would otherwise carry it all to the unit.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    first.Signal(SIGKILL);
    first.Wait();
    const int line = open(sim.Port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(line, 0);
    tcflush(line, TCOFLUSH);
    close(line);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(logText().find("bytes of sector 00"), std::string::npos) << "the sector was not cut off";

    CliProcess second;
    second.Start({"write", "--verify", "--port", sim.Port(), "--baud", "57600", imagePath}, scratch.File("second"));
    EXPECT_EQ(second.Wait(), 0) << second.Stderr() << logText();
    EXPECT_NE(second.Stderr().find("No answer to P1 - completing an interrupted sector write"), std::string::npos)
        << second.Stderr();
    EXPECT_TRUE(EndsWithLine(second.Stderr(), "Verify OK - 4 sectors match")) << second.Stderr();
    const std::string log = logText();
    // The cut-off sector ended with a checksum of zeros, refused and never programmed
    // from the filler; the sector itself was then written whole.
    EXPECT_NE(log.find("bytes of sector 00, checksum 0000"), std::string::npos) << log;
    EXPECT_EQ(count(log, "sector 00 programmed"), 1u) << log;
    // One for each write: the second write's first "P1" went into the open sector.
    EXPECT_EQ(count(log, "<- P1\\r"), 2u) << log;

    // On a unit that answers, a write sends "P1" once and no filler at all:
    // the unit's log shows the same commands and sector sizes as always.
    const size_t p1Before = count(log, "<- P1\\r");
    const size_t sectorsBefore = count(log, "bytes of sector");
    CliProcess third;
    third.Start({"write", "--port", sim.Port(), "--baud", "57600", imagePath}, scratch.File("third"));
    EXPECT_EQ(third.Wait(), 0) << third.Stderr();
    EXPECT_EQ(third.Stderr().find("completing an interrupted"), std::string::npos) << third.Stderr();
    const std::string after = logText();
    EXPECT_EQ(count(after, "<- P1\\r"), p1Before + 1);
    EXPECT_EQ(count(after, "bytes of sector"), sectorsBefore + 4);
    EXPECT_EQ(count(after, "noise dropped"), count(log, "noise dropped"));
}

TEST_F(CliTransferTest, WriteRightAfterOneKilledWithItsSectorStillOnTheWaySucceeds)
{
    // The killed program's last sector is still with the driver: the unit
    // takes it whole, programs it and answers in front of the next "P1".
    const std::string logPath = scratch.File("unit.log");
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--baud", "57600", "--erase-ms", "5", "--log", logPath}));
    auto logText = [&] {
        const auto log = ReadBytes(logPath);
        return std::string(log.begin(), log.end());
    };
    CliProcess first;
    first.Start({"write", "--port", sim.Port(), "--baud", "57600", imagePath}, scratch.File("first"));
    ASSERT_TRUE(WaitFor([&] { return logText().find("<- R00") != std::string::npos; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    first.Signal(SIGKILL);
    first.Wait();

    CliProcess second;
    second.Start({"write", "--port", sim.Port(), "--baud", "57600", imagePath}, scratch.File("second"));
    EXPECT_EQ(second.Wait(), 0) << second.Stderr() << logText();
    EXPECT_NE(second.Stderr().find("Unit write completed."), std::string::npos) << second.Stderr();
}

// --dry-run reads only the image: the port is held locked by the test, so
// opening it would fail, and a byte sent to it would arrive here.
TEST_F(CliTransferTest, DryRunPrintsThePlanAndOpensNoPort)
{
    cMemoryMap image;
    QuietReport report;
    ASSERT_TRUE(image.ReadImageFile(imagePath.c_str(), report));
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CSerialPort held;
    ASSERT_EQ(held.Open(pty.Slave().c_str(), 0, 0), 0);

    const auto plan = [&](bool write, int baud) {
        return write ? CWritePlan::ForWrite(image, baud) : CWritePlan::ForVerify(image, baud);
    };
    const auto json = [](const CWritePlan& p) {
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.1f", p.Seconds());
        return "{\"sectors\": " + std::to_string(p.Sectors()) + ", \"bytes\": " + std::to_string(p.Bytes()) +
               ", \"seconds\": " + seconds + ", \"baud\": " + std::to_string(p.Baud());
    };
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"write", "--dry-run", "--port", pty.Slave()}, plan(true, 115200).Describe() + "\n"},
        {{"write", "--dry-run", "--baud", "57600", "--port", pty.Slave(), "--port", pty.Slave() + "x"},
         plan(true, 57600).Describe() + "\n"},
        {{"write", "--dry-run", "--verify"},
         plan(true, 115200).Describe() + "\nRead back: " + CWritePlan::ForReadBack(plan(true, 115200)).Describe() +
             "\n"},
        {{"verify", "--dry-run", "--json", "--baud", "57600", "--port", pty.Slave()}, json(plan(false, 57600)) + "}\n"},
        {{"write", "--dry-run", "--json", "--verify", "--port", pty.Slave()},
         json(plan(true, 115200)) + ", \"readBack\": " + json(CWritePlan::ForReadBack(plan(true, 115200))) + "}}\n"},
    };
    for (Case& c : cases) {
        c.args.push_back(imagePath);
        CliProcess run;
        run.Start(c.args, scratch.File("err"), scratch.File("out"));
        EXPECT_EQ(run.Wait(20), 0) << c.args[0] << c.args[1] << "\n" << run.Stderr();
        EXPECT_EQ(run.Stdout(), c.out) << c.args.size();
    }
    EXPECT_NE(plan(true, 115200).Describe().find("4 sectors, 32,768 bytes, about "), std::string::npos);
    // Nothing reached the line and no journal was begun.
    EXPECT_TRUE(pty.Read(1, 200).empty());
    EXPECT_NE(access((state.Path() + "/ORMID/journal").c_str(), F_OK), 0);

    // --json belongs to the plan.
    CliProcess wrong;
    wrong.Start({"write", "--json", "--port", pty.Slave(), imagePath}, scratch.File("err"));
    EXPECT_EQ(wrong.Wait(20), 2) << wrong.Stderr();
    EXPECT_EQ(wrong.Stderr(), "--json needs --dry-run.\n");
}
