// The built ormid-unitsim driven over a real pseudo-terminal, as a host would.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <ostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "HostPort.h"
#include "SimProcess.h"
#include "UnitSimTestSupport.h"

namespace {

const uint8_t kGarbage[] = {0xF8, 0x80, 0xFE};

std::string ReadLinkText(const std::string& path)
{
    char buf[512];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Cmd(char letter, int sector)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%c%02d\r", letter, sector);
    return buf;
}

double SecondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

class UnitSimProgram : public ::testing::Test {
protected:
    void SetUp() override { ::mkdir(RunDir().c_str(), 0700); }

    std::string RunDir() const { return tmp.File("run"); }
    std::string PortsLink() const { return RunDir() + "/ormid/ports/unitsim-" + std::to_string(sim->Pid()); }

    // Starts the simulator (unpaced and with instant programming unless told
    // otherwise) and opens its port at the given line settings.
    void Start(std::vector<std::string> args, bool fast = true, speed_t speed = B115200, bool twoStopBits = false,
               std::map<std::string, std::string> env = {})
    {
        if (fast) {
            args.push_back("--fast");
            args.push_back("--erase-ms");
            args.push_back("0");
        }
        if (env.find("XDG_RUNTIME_DIR") == env.end())
            env["XDG_RUNTIME_DIR"] = RunDir();
        sim = std::make_unique<SimProcess>(args, env);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        ASSERT_TRUE(port.Open(sim->Port(), speed, twoStopBits)) << sim->Port();
    }

    void Exchange(const std::string& send, const Bytes& expect)
    {
        ASSERT_TRUE(port.Write(send));
        EXPECT_EQ(port.Read(expect.size()), expect) << "after " << send.substr(0, 3);
    }

    void ExpectQuiet(int ms = 300) { EXPECT_TRUE(port.ReadUntilQuiet(ms).empty()); }

    // Sends a read command and returns the whole reply (L + 7 bytes expected).
    Bytes ReadSector(int sector)
    {
        port.Write(Cmd('U', sector));
        return port.Read(SectorSize(sector) + 7);
    }

    void WriteSector(int sector, const Bytes& data)
    {
        Exchange(Cmd('R', sector), ToBytes(Cmd('R', sector) + "A"));
        ASSERT_TRUE(port.Write(WithSum(data)));
        EXPECT_EQ(port.Read(2), ToBytes("AG"));
    }

    TempFolder tmp;
    std::unique_ptr<SimProcess> sim;
    HostPort port;
};

TEST_F(UnitSimProgram, ReadRepliesCarryEchoStatusSectorAndSumOfErasedFlash)
{
    Start({});
    for (int sector : {0, 7, 8, 69}) {
        SCOPED_TRACE(sector);
        const uint32_t L = SectorSize(sector);
        const Bytes reply = ReadSector(sector);
        ASSERT_EQ(reply.size(), L + 7);
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), ToBytes(Cmd('U', sector) + "A"));
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.begin() + 5 + L), Bytes(L, 0xFF));
        const uint16_t sum = static_cast<uint16_t>(0xFF * L);  // 0xE000 for 8 KB, wraps to 0 for 64 KB
        EXPECT_EQ(reply[5 + L], sum & 0xFF);
        EXPECT_EQ(reply[6 + L], sum >> 8);
        ExpectQuiet(100);
    }
}

TEST_F(UnitSimProgram, RefusesSectorsOutsideTheMapAndUnknownCommands)
{
    Start({});
    Exchange("P1\r", ToBytes("P1\rA"));
    for (const char* cmd : {"U70", "U99", "R70", "R99", "U5", "X1", "P2"}) {
        Exchange(std::string(cmd) + "\r", ToBytes(std::string(cmd) + "\rN"));
        ExpectQuiet(100);
    }
    // Still in step after the refusals.
    Exchange("P0\r", ToBytes("P0\rA"));
}

TEST_F(UnitSimProgram, WritesOnlyInProgrammingModeAndReadsTheSectorsBack)
{
    Start({});
    Exchange("R01\r", ToBytes("R01\rN"));
    ExpectQuiet(100);
    Exchange("P1\r", ToBytes("P1\rA"));
    for (int sector : {0, 7, 8, 69}) {
        SCOPED_TRACE(sector);
        const Bytes data = Pattern(SectorSize(sector), static_cast<unsigned>(sector));
        WriteSector(sector, data);
        const Bytes reply = ReadSector(sector);
        ASSERT_EQ(reply.size(), data.size() + 7);
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 2), data);
        EXPECT_EQ(Sum16(reply.data() + 5, data.size()), reply[5 + data.size()] | (reply[6 + data.size()] << 8));
    }
    // Neighbours are untouched.
    const Bytes next = ReadSector(9);
    ASSERT_EQ(next.size(), 0x10000u + 7);
    EXPECT_EQ(Bytes(next.begin() + 5, next.end() - 2), Bytes(0x10000, 0xFF));
    Exchange("P0\r", ToBytes("P0\rA"));
    Exchange("R01\r", ToBytes("R01\rN"));
}

TEST_F(UnitSimProgram, WrongWriteChecksumGetsNAndKeepsTheFlash)
{
    Start({});
    Exchange("P1\r", ToBytes("P1\rA"));
    const Bytes data = Pattern(0x2000, 2);
    Exchange("R02\r", ToBytes("R02\rA"));
    ASSERT_TRUE(port.Write(WithSum(data, 1)));
    EXPECT_EQ(port.Read(1), ToBytes("N"));
    ExpectQuiet();
    const Bytes reply = ReadSector(2);
    ASSERT_EQ(reply.size(), 0x2000u + 7);
    EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 2), Bytes(0x2000, 0xFF));
    WriteSector(2, data);
}

TEST_F(UnitSimProgram, FlashFileIsCreatedErasedAndKeepsProgrammedSectors)
{
    const std::string flash = tmp.File("unit.flash");
    const Bytes data = Pattern(0x10000, 9);
    Start({"--flash", flash});
    ASSERT_EQ(ReadFile(flash), Bytes(0x400000, 0xFF));
    Exchange("P1\r", ToBytes("P1\rA"));
    WriteSector(9, data);
    // Written as soon as the sector is programmed, not only on exit.
    const Bytes file = ReadFile(flash);
    ASSERT_EQ(file.size(), 0x400000u);
    EXPECT_EQ(Bytes(file.begin() + 0x20000, file.begin() + 0x30000), data);
    EXPECT_EQ(Bytes(file.begin() + 0x30000, file.end()), Bytes(0x3D0000, 0xFF));
    EXPECT_FALSE(Exists(flash + ".tmp"));

    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->WaitExit(10000), 0);
    port.Close();
    Start({"--flash", flash});
    const Bytes reply = ReadSector(9);
    ASSERT_EQ(reply.size(), 0x10007u);
    EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 2), data);
}

TEST_F(UnitSimProgram, ImageFileIsLoadedIntoTheFlash)
{
    Bytes file = {1, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF};  // reserved bytes may hold anything
    const Bytes image = Pattern(0x3F0000, 77);
    file.insert(file.end(), image.begin(), image.end());
    ASSERT_TRUE(WriteFile(tmp.File("msgs.txi"), file));
    Start({"--image", tmp.File("msgs.txi")});
    for (int sector : {0, 1, 8, 69}) {
        SCOPED_TRACE(sector);
        const uint32_t start = sector <= 8 ? sector * 0x2000u : (sector - 7) * 0x10000u;
        const Bytes reply = ReadSector(sector);
        ASSERT_EQ(reply.size(), SectorSize(sector) + 7);
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 2),
                  Bytes(image.begin() + start, image.begin() + start + SectorSize(sector)));
    }
}

TEST_F(UnitSimProgram, RefusesBadFilesAndOptions)
{
    ASSERT_TRUE(WriteFile(tmp.File("short.flash"), Bytes(100, 0xFF)));
    Bytes badVersion(0x3F0008, 0);
    badVersion[0] = 2;
    ASSERT_TRUE(WriteFile(tmp.File("v2.txi"), badVersion));
    ASSERT_TRUE(WriteFile(tmp.File("long.txi"), Bytes(0x3F0009, 0)));
    // Named pipes where files belong: refused at once, never waited on.
    for (const char* name : {"pipe.flash", "pipe.txi", "pipe.log"})
        ASSERT_EQ(::mkfifo(tmp.File(name).c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--flash", tmp.File("short.flash")}, "bytes"},
        {{"--image", tmp.File("v2.txi")}, "version"},
        {{"--image", tmp.File("long.txi")}, "4128776"},
        {{"--flash", tmp.File("pipe.flash")}, "cannot open flash file"},
        {{"--image", tmp.File("pipe.txi")}, "cannot open image file"},
        {{"--log", tmp.File("pipe.log")}, "cannot open log file"},
        {{"--flash", "/dev/null"}, "not a regular file"},
        {{"--fault", "explode"}, "unknown fault"},
        {{"--fault", "flip-bit:cmd=P1"}, "cannot strike"},
        {{"--baud", "12345"}, "baud"},
        {{"--erase-ms", "fast"}, "erase-ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::string out;
        const int rc = SimProcess::RunToEnd(c.args, &out);
        EXPECT_NE(rc, 0);
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        EXPECT_EQ(out.find("port:"), std::string::npos);
    }
}

TEST_F(UnitSimProgram, HelpNamesEveryFault)
{
    std::string out;
    EXPECT_EQ(SimProcess::RunToEnd({"--help"}, &out), 0);
    for (const char* word :
         {"no-reply", "partial", "bad-checksum", "flip-bit", "wrong-ack", "no-g", "garbage", "stall", "slow-prog",
          "vanish", "hold-rx", "--baud", "--fast", "--flash", "--image", "--erase-ms", "--link", "--log"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
}

TEST_F(UnitSimProgram, RegistrationLinksExistWhileRunningAndGoOnSignals)
{
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const std::string own = tmp.File("my-unit");
        Start({"--link", own});
        const std::string link = PortsLink();
        EXPECT_EQ(ReadLinkText(link), sim->Port());
        EXPECT_EQ(ReadLinkText(own), sim->Port());
        sim->Signal(sig);
        EXPECT_EQ(sim->WaitExit(10000), 0);
        EXPECT_FALSE(Exists(link));
        EXPECT_FALSE(Exists(own));
        port.Close();
    }
}

TEST_F(UnitSimProgram, ClearsLinksLeftByKilledSimulatorsOnly)
{
    const std::string folder = RunDir() + "/ormid/ports";
    ASSERT_EQ(::mkdir((RunDir() + "/ormid").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string dead = folder + "/unitsim-2147483646";
    const std::string alive = folder + "/unitsim-" + std::to_string(::getpid());
    const std::string foreign = folder + "/my-adapter";
    ASSERT_EQ(::symlink("/dev/pts/99999", dead.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", alive.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/pts/99998", foreign.c_str()), 0);
    Start({});
    EXPECT_FALSE(Exists(dead));
    EXPECT_TRUE(Exists(alive));
    EXPECT_TRUE(Exists(foreign));
    EXPECT_EQ(ReadLinkText(PortsLink()), sim->Port());
}

TEST_F(UnitSimProgram, RegistersUnderTmpWithoutARuntimeFolder)
{
    Start({}, true, B115200, false, {{"XDG_RUNTIME_DIR", SimProcess::kUnset}});
    const std::string link =
        "/tmp/ormid-" + std::to_string(::getuid()) + "/ports/unitsim-" + std::to_string(sim->Pid());
    EXPECT_EQ(ReadLinkText(link), sim->Port());
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->WaitExit(10000), 0);
    EXPECT_FALSE(Exists(link));
}

TEST_F(UnitSimProgram, RefusesToReplaceAFileWithItsLink)
{
    ASSERT_TRUE(WriteFile(tmp.File("precious"), ToBytes("keep")));
    std::string out;
    EXPECT_NE(SimProcess::RunToEnd({"--fast", "--link", tmp.File("precious")}, &out), 0);
    EXPECT_EQ(ReadFile(tmp.File("precious")), ToBytes("keep"));
}

TEST_F(UnitSimProgram, WrongBaudOrFormatGetsNoiseUntilTheHostSetsTheLineRight)
{
    struct Case {
        speed_t speed;
        bool twoStopBits;
    } cases[] = {{B57600, false}, {B9600, false}, {B115200, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        Start({}, true, c.speed, c.twoStopBits);
        ASSERT_TRUE(port.Write("P1\r"));
        const Bytes noise = port.Read(3);
        ASSERT_EQ(noise.size(), 3u);
        for (uint8_t b : noise)
            EXPECT_GE(b, 0x80);  // never an echo, never an acknowledgement
        ExpectQuiet();
        ASSERT_TRUE(port.SetLine(B115200, false));
        Exchange("P1\r", ToBytes("P1\rA"));
        port.Close();
    }
}

TEST_F(UnitSimProgram, LineIsPacedAtTheBaudRateBothWays)
{
    // Lower bounds only: a loaded machine may be slower, never faster than the line.
    struct Case {
        unsigned baud;
        speed_t speed;
    } cases[] = {{115200, B115200}, {57600, B57600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        Start({"--baud", std::to_string(c.baud), "--erase-ms", "0"}, false, c.speed);
        const double lineSeconds = 8199.0 * 10 / c.baud;
        auto t0 = std::chrono::steady_clock::now();
        const Bytes reply = ReadSector(0);
        EXPECT_EQ(reply.size(), 8199u);
        EXPECT_GE(SecondsSince(t0), 0.8 * lineSeconds);

        Exchange("P1\r", ToBytes("P1\rA"));
        Exchange("R00\r", ToBytes("R00\rA"));
        t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(port.Write(WithSum(Pattern(0x2000, 1))));
        EXPECT_EQ(port.Read(2, 20000), ToBytes("AG"));
        EXPECT_GE(SecondsSince(t0), 0.8 * 8194.0 * 10 / c.baud);
        port.Close();
        sim.reset();
    }
}

TEST_F(UnitSimProgram, PacingKeepsToTheLineRateWhenTheUnitWakesLate)
{
    // The simulator is stopped for a while in the middle of a sector, both
    // ways. A schedule kept against absolute deadlines catches up afterwards,
    // so the sector still takes its line time; one restarted from "now" would
    // take the pause longer. And at no moment is the line ahead of its rate.
    // At 57600 baud a sector takes 1.4 s of line, longer than the pause once
    // the pause has begun a third of the way in: a unit that catches up ends on
    // time, one that lost the pause ends a second late. Half of that second is
    // left to the scheduling of a loaded machine.
    constexpr unsigned kBaud = 57600;
    constexpr double kByteSeconds = 10.0 / kBaud;
    constexpr auto kPause = std::chrono::milliseconds(1000);
    auto allowed = [&](size_t bytes) { return bytes * kByteSeconds * 1.1 + 0.45; };
    // The unit moves a slice of about 2 ms at a time; the host sees the
    // command's own line time on top.
    const double aheadSlack = 64 * kByteSeconds;

    Start({"--baud", std::to_string(kBaud), "--erase-ms", "0"}, false, B57600);
    auto pauseUnit = [this, kPause] {
        ::kill(sim->Pid(), SIGSTOP);
        std::this_thread::sleep_for(kPause);
        ::kill(sim->Pid(), SIGCONT);
    };

    // From the unit: a read reply of 8199 bytes, taken in pieces with the
    // time each piece was complete.
    const size_t total = SectorSize(0) + 7;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.Write(Cmd('U', 0)));
    size_t got = 0;
    bool paused = false;
    while (got < total) {
        const Bytes piece = port.Read(std::min<size_t>(512, total - got), 5000);
        ASSERT_FALSE(piece.empty()) << "after " << got << " bytes";
        got += piece.size();
        const double t = SecondsSince(t0);
        EXPECT_GE(t + aheadSlack, got * kByteSeconds) << "ahead of the line after " << got << " bytes";
        if (!paused && got >= total / 3) {
            paused = true;
            pauseUnit();
        }
    }
    const double readSeconds = SecondsSince(t0);
    EXPECT_LE(readSeconds, allowed(total + 4)) << "the unit lost the pause";

    // To the unit: a sector of 8194 bytes; the unit's 'A' comes when it has
    // taken the last byte at the line's rate.
    Exchange("P1\r", ToBytes("P1\rA"));
    Exchange("R00\r", ToBytes("R00\rA"));
    const Bytes frame = WithSum(Pattern(0x2000, 5));
    const auto t1 = std::chrono::steady_clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        pauseUnit();
    });
    const bool written = port.Write(frame);
    const Bytes ack = port.Read(1, 10000);
    const double writeSeconds = SecondsSince(t1);
    stopper.join();
    ASSERT_TRUE(written);
    EXPECT_EQ(ack, ToBytes("A"));
    EXPECT_GE(writeSeconds + aheadSlack, frame.size() * kByteSeconds);
    EXPECT_LE(writeSeconds, allowed(frame.size())) << "the unit lost the pause";
    EXPECT_EQ(port.Read(1), ToBytes("G"));
}

TEST_F(UnitSimProgram, LogRecordsCommandsAndRepliesWithTimes)
{
    const std::string log = tmp.File("unit.log");
    Start({"--log", log});
    Exchange("P1\r", ToBytes("P1\rA"));
    EXPECT_EQ(ReadSector(3).size(), 0x2007u);
    sim->Signal(SIGTERM);
    ASSERT_EQ(sim->WaitExit(10000), 0);
    const Bytes raw = ReadFile(log);
    const std::string text(raw.begin(), raw.end());
    EXPECT_NE(text.find("<- P1\\r"), std::string::npos) << text;
    EXPECT_NE(text.find("-> P1\\rA"), std::string::npos) << text;
    EXPECT_NE(text.find("<- U03\\r"), std::string::npos) << text;
    EXPECT_NE(text.find("(8199 bytes)"), std::string::npos) << text;
    // Every line starts with a wall-clock time HH:MM:SS.mmm.
    ASSERT_GE(text.size(), 12u);
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[5], ':');
    EXPECT_EQ(text[8], '.');
}

// --- faults ---------------------------------------------------------------

// One step of a scripted exchange: what the host sends and exactly what comes back.
// "#DATA n" sends sector n's pattern with its right sum; "#ERASED n" and
// "#PROGRAMMED n" read sector n back and check its content.
struct Step {
    std::string send;
    Bytes expect;
};

struct FaultCase {
    const char* name;
    std::vector<std::string> faults;
    std::vector<Step> steps;
};

Bytes B(const std::string& s)
{
    return ToBytes(s);
}

Bytes G(const std::string& s)
{
    return Concat(Bytes(kGarbage, kGarbage + 3), ToBytes(s));
}

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class UnitSimFaults : public UnitSimProgram, public ::testing::WithParamInterface<FaultCase> { };

TEST_P(UnitSimFaults, RepliesAsScripted)
{
    std::vector<std::string> args;
    for (const auto& f : GetParam().faults) {
        args.push_back("--fault");
        args.push_back(f);
    }
    Start(args);
    for (const auto& step : GetParam().steps) {
        SCOPED_TRACE(step.send);
        int sector = -1;
        if (std::sscanf(step.send.c_str(), "#DATA %d", &sector) == 1) {
            ASSERT_TRUE(port.Write(WithSum(Pattern(SectorSize(sector), static_cast<unsigned>(sector)))));
            EXPECT_EQ(port.Read(step.expect.size()), step.expect);
        } else if (std::sscanf(step.send.c_str(), "#ERASED %d", &sector) == 1 ||
                   std::sscanf(step.send.c_str(), "#PROGRAMMED %d", &sector) == 1) {
            const Bytes reply = ReadSector(sector);
            ASSERT_EQ(reply.size(), SectorSize(sector) + 7);
            const Bytes want = step.send[1] == 'E' ? Bytes(SectorSize(sector), 0xFF)
                                                   : Pattern(SectorSize(sector), static_cast<unsigned>(sector));
            EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 2), want);
        } else {
            Exchange(step.send, step.expect);
        }
        ExpectQuiet(200);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripted, UnitSimFaults,
    ::testing::Values(
        FaultCase{"NoReplyOnce", {"no-reply"}, {{"P1\r", B("")}, {"P1\r", B("P1\rA")}}},
        FaultCase{"NoReplyAlways", {"no-reply:always"}, {{"P1\r", B("")}, {"P1\r", B("")}}},
        FaultCase{"PartialModeReply", {"partial:cmd=P1"}, {{"P1\r", B("P1\r")}}},
        FaultCase{"PartialSectorStart", {"partial:cmd=R"}, {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\r")}}},
        FaultCase{"WrongAckEnter", {"wrong-ack:cmd=P1"}, {{"P1\r", B("P1\rN")}, {"R03\r", B("R03\rN")}}},
        FaultCase{"WrongAckLeave", {"wrong-ack:cmd=P0"}, {{"P1\r", B("P1\rA")}, {"P0\r", B("P0\rN")}}},
        FaultCase{"WrongAckSectorStart", {"wrong-ack:cmd=R"}, {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rN")}}},
        FaultCase{"WrongAckChecksum",
                  {"wrong-ack:cmd=sum"},
                  {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rA")}, {"#DATA 3", B("N")}, {"#ERASED 3", {}}}},
        FaultCase{"WrongProgrammingResult",
                  {"wrong-ack:cmd=prog"},
                  {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rA")}, {"#DATA 3", B("AA")}}},
        FaultCase{"AWithoutG",
                  {"no-g"},
                  {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rA")}, {"#DATA 3", B("A")}, {"#ERASED 3", {}}}},
        FaultCase{"SilentAfterChecksum",
                  {"no-reply:cmd=sum"},
                  {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rA")}, {"#DATA 3", B("")}, {"#ERASED 3", {}}}},
        FaultCase{"GarbageBeforeModeReply", {"garbage:cmd=P1"}, {{"P1\r", G("P1\rA")}}},
        FaultCase{
            "GarbageBeforeG",
            {"garbage:cmd=prog"},
            {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rA")}, {"#DATA 3", Concat(B("A"), G("G"))}, {"#PROGRAMMED 3", {}}}},
        FaultCase{"OnlyTheNamedSector",
                  {"wrong-ack:sector=4"},
                  {{"P1\r", B("P1\rA")},
                   {"R03\r", B("R03\rA")},
                   {"#DATA 3", B("AG")},
                   {"R04\r", B("R04\rN")},
                   {"R04\r", B("R04\rN")}}},
        FaultCase{"NamedStageOnce",
                  {"wrong-ack:cmd=R,once"},
                  {{"P1\r", B("P1\rA")}, {"R03\r", B("R03\rN")}, {"R03\r", B("R03\rA")}, {"#DATA 3", B("AG")}}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(UnitSimProgram, ReadReplyFaultsCorruptOnlyWhatTheyName)
{
    struct Case {
        const char* fault;
        int dataBitsWrong;  // data bits that differ from the erased flash
        uint16_t sum;       // the checksum the reply carries
    } cases[] = {
        {"bad-checksum", 0, 0xE001}, {"flip-bit", 1, 0xE000},  // the clean data's sum: the host must catch the flip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Start({"--fault", c.fault});
        const Bytes reply = ReadSector(1);
        ASSERT_EQ(reply.size(), 0x2007u);
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), B("U01\rA"));
        int wrongBits = 0;
        for (size_t i = 5; i < 5 + 0x2000; ++i)
            wrongBits += __builtin_popcount(reply[i] ^ 0xFF);
        EXPECT_EQ(wrongBits, c.dataBitsWrong);
        EXPECT_EQ(reply[0x2005] | (reply[0x2006] << 8), c.sum);
        // Once: the next read is clean.
        const Bytes again = ReadSector(1);
        ASSERT_EQ(again.size(), 0x2007u);
        EXPECT_EQ(again[0x2005] | (again[0x2006] << 8), 0xE000);
        port.Close();
    }
}

TEST_F(UnitSimProgram, SectorTargetedReadFaultStrikesEveryTime)
{
    Start({"--fault", "bad-checksum:sector=2"});
    for (int sector : {1, 2, 2, 3}) {
        const Bytes reply = ReadSector(sector);
        ASSERT_EQ(reply.size(), 0x2007u);
        EXPECT_EQ(reply[0x2005] | (reply[0x2006] << 8), sector == 2 ? 0xE001 : 0xE000) << sector;
    }
}

TEST_F(UnitSimProgram, PartialReadReplyStopsHalfWay)
{
    Start({"--fault", "partial:cmd=U"});
    port.Write("U08\r");
    EXPECT_EQ(port.Read(5 + 0x8000).size(), 5u + 0x8000);
    ExpectQuiet(500);
}

TEST_F(UnitSimProgram, StallPausesInTheMiddleOfASectorBothWays)
{
    Start({"--fault", "stall:always", "--stall-ms", "2500"});
    port.Write("U01\r");
    EXPECT_EQ(port.Read(5 + 0x1000).size(), 5u + 0x1000);
    EXPECT_TRUE(port.Read(1, 400).empty());  // the unit is stalled
    EXPECT_EQ(port.Read(0x1000 + 2, 10000).size(), 0x1002u);

    Exchange("P1\r", B("P1\rA"));
    Exchange("R01\r", B("R01\rA"));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.Write(WithSum(Pattern(0x2000, 1))));
    EXPECT_EQ(port.Read(2, 10000), B("AG"));
    EXPECT_GE(SecondsSince(t0), 1.0);
}

TEST_F(UnitSimProgram, SlowProgrammingDelaysTheG)
{
    Start({"--fault", "slow-prog", "--slow-ms", "2500"});
    Exchange("P1\r", B("P1\rA"));
    Exchange("R08\r", B("R08\rA"));
    ASSERT_TRUE(port.Write(WithSum(Pattern(0x10000, 8))));
    EXPECT_EQ(port.Read(1), B("A"));
    EXPECT_TRUE(port.Read(1, 400).empty());
    EXPECT_EQ(port.Read(1, 10000), B("G"));
}

TEST_F(UnitSimProgram, VanishingHangsUpTheLineAndEndsTheSimulator)
{
    struct Case {
        const char* fault;
        bool programMode;
        std::string command;
        bool sendData;
    } cases[] = {
        {"vanish:cmd=U", false, "U08\r", false},
        {"vanish:cmd=R", true, "R08\r", true},
        {"vanish:cmd=P1", false, "P1\r", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Start({"--fault", c.fault});
        const std::string link = PortsLink();
        if (c.programMode)
            Exchange("P1\r", B("P1\rA"));
        port.Write(c.command);
        if (c.sendData) {
            EXPECT_EQ(port.Read(5), B(c.command + "A"));
            port.Write(WithSum(Pattern(0x10000, 8)));  // may fail part-way: the line goes
        }
        EXPECT_TRUE(port.WaitHangUp(10000));
        EXPECT_EQ(sim->WaitExit(10000), 0);
        EXPECT_FALSE(Exists(link));
        port.Close();
    }
}

}  // namespace
