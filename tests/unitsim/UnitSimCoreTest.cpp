// The simulator's parts driven directly: flash, fault plan, command interpreter,
// line-settings check.

#include <gtest/gtest.h>

#include <termios.h>

#include "CFaultPlan.h"
#include "CPtyLink.h"
#include "CUnitEngine.h"
#include "CUnitFlash.h"
#include "IUnitLink.h"
#include "UnitSimTestSupport.h"

namespace {

// Keeps what the unit sends and how long it paused.
class RecordingLink : public IUnitLink {
public:
    bool Send(const uint8_t* data, size_t n) override
    {
        sent.insert(sent.end(), data, data + n);
        return true;
    }
    bool Pause(unsigned ms) override
    {
        paused += ms;
        return true;
    }
    void Vanish() override { vanished = true; }

    Bytes Take()
    {
        Bytes b;
        b.swap(sent);
        return b;
    }

    Bytes sent;
    unsigned paused = 0;
    bool vanished = false;
};

TEST(UnitFlash, SectorMapMatchesTheUnit)
{
    struct Case {
        int sector;
        uint32_t start, size;
    } cases[] = {
        {0, 0x0000, 0x2000},   {1, 0x2000, 0x2000},   {7, 0xE000, 0x2000},
        {8, 0x10000, 0x10000}, {9, 0x20000, 0x10000}, {69, 0x3E0000, 0x10000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CUnitFlash::SectorStart(c.sector), c.start) << c.sector;
        EXPECT_EQ(CUnitFlash::SectorSize(c.sector), c.size) << c.sector;
    }
    // Sector 69 ends where the image ends; the last 64 KB is beyond every command.
    EXPECT_EQ(CUnitFlash::SectorStart(69) + CUnitFlash::SectorSize(69), 0x3F0000u);
    EXPECT_TRUE(CUnitFlash::IsValidSector(69));
    EXPECT_FALSE(CUnitFlash::IsValidSector(70));
    EXPECT_FALSE(CUnitFlash::IsValidSector(-1));
}

TEST(UnitFlash, ChecksumsOfErasedAndProgrammedSectors)
{
    CUnitFlash flash;
    EXPECT_EQ(flash.SectorChecksum(0), 0xE000);  // 8192 x 0xFF
    EXPECT_EQ(flash.SectorChecksum(8), 0x0000);  // 65536 x 0xFF wraps to 0
    const Bytes data = Pattern(0x10000, 3);
    flash.ProgramSector(10, data.data());
    EXPECT_EQ(flash.SectorChecksum(10), Sum16(data.data(), data.size()));
    EXPECT_EQ(flash.Bytes()[CUnitFlash::SectorStart(10) - 1], 0xFF);
    EXPECT_EQ(flash.Bytes()[CUnitFlash::SectorStart(11)], 0xFF);
}

TEST(UnitFlash, ImageFilesAreCheckedBeforeAnythingIsLoaded)
{
    TempFolder tmp;
    Bytes good(0x3F0008, 0x11);
    good[0] = 1;
    good[1] = good[2] = good[3] = 0;
    good[4] = 0x99;  // reserved: any value
    Bytes v2 = good;
    v2[0] = 2;
    struct Case {
        const char* name;
        Bytes content;
        bool ok;
    } cases[] = {
        {"good.txi", good, true},
        {"v2.txi", v2, false},
        {"short.txi", Bytes(good.begin(), good.end() - 1), false},
        {"long.txi", Concat(good, Bytes{0}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFile(tmp.File(c.name), c.content));
        CUnitFlash flash;
        std::string error;
        EXPECT_EQ(flash.LoadImageFile(tmp.File(c.name), &error), c.ok) << error;
        EXPECT_EQ(error.empty(), c.ok);
        EXPECT_EQ(flash.Bytes()[0], c.ok ? 0x11 : 0xFF);
        EXPECT_EQ(flash.Bytes()[0x3EFFFF], c.ok ? 0x11 : 0xFF);
        EXPECT_EQ(flash.Bytes()[0x3F0000], 0xFF);  // beyond the image
    }
    CUnitFlash flash;
    std::string error;
    EXPECT_FALSE(flash.LoadImageFile(tmp.File("missing.txi"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(UnitFlash, AttachedFileRoundTripsAndWrongSizesAreRefused)
{
    TempFolder tmp;
    const std::string path = tmp.File("f.bin");
    {
        CUnitFlash flash;
        std::string error;
        ASSERT_TRUE(flash.AttachFile(path, &error)) << error;
        flash.ProgramSector(5, Pattern(0x2000, 5).data());
        ASSERT_TRUE(flash.Save(&error)) << error;
    }
    CUnitFlash again;
    std::string error;
    ASSERT_TRUE(again.AttachFile(path, &error)) << error;
    EXPECT_EQ(Bytes(again.SectorData(5), again.SectorData(5) + 0x2000), Pattern(0x2000, 5));

    ASSERT_TRUE(WriteFile(tmp.File("big.bin"), Bytes(0x400001, 0)));
    CUnitFlash other;
    EXPECT_FALSE(other.AttachFile(tmp.File("big.bin"), &error));
    EXPECT_EQ(ReadFile(tmp.File("big.bin")).size(), 0x400001u);  // left as it was
    EXPECT_FALSE(other.AttachFile(tmp.File("no/such/folder/f.bin"), &error));
}

TEST(FaultPlan, ParsesConditionsAndRefusesNonsense)
{
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"no-reply", true},
        {"no-reply:once", true},
        {"garbage:always", true},
        {"stall:sector=69", true},
        {"wrong-ack:cmd=sum", true},
        {"wrong-ack:cmd=R,sector=4,once", true},
        {"vanish:cmd=P0", true},
        {"slow-prog:cmd=prog", true},
        {"no-g:sector=0,always", true},
        {"", false},
        {"noreply", false},
        {"no-reply:", false},
        {"no-reply:sometimes", false},
        {"stall:sector=70", false},
        {"stall:sector=-1", false},
        {"stall:sector=x", false},
        {"stall:cmd=Q", false},
        {"bad-checksum:cmd=R", false},
        {"no-g:cmd=U", false},
        {"partial:cmd=sum", false},
        {"garbage:once,always", false},
        {"wrong-ack:cmd=P1,sector=3", false},
    };
    for (const auto& c : cases) {
        CFaultPlan plan;
        std::string error;
        EXPECT_EQ(plan.Add(c.text, &error), c.ok) << c.text;
        EXPECT_EQ(error.empty(), c.ok) << c.text << ": " << error;
    }
}

TEST(FaultPlan, FiresOnceAlwaysOrWhereTargeted)
{
    std::string error;
    CFaultPlan plan;
    ASSERT_TRUE(plan.Add("no-reply", &error));
    EXPECT_FALSE(plan.Take(EFault::Garbage, EStage::U, 0));
    EXPECT_TRUE(plan.Take(EFault::NoReply, EStage::P1, -1));
    EXPECT_FALSE(plan.Take(EFault::NoReply, EStage::P1, -1));

    CFaultPlan always;
    ASSERT_TRUE(always.Add("garbage:always", &error));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(always.Take(EFault::Garbage, EStage::Sum, 5));

    CFaultPlan targeted;
    ASSERT_TRUE(targeted.Add("stall:sector=9", &error));
    EXPECT_FALSE(targeted.Take(EFault::Stall, EStage::U, 8));
    EXPECT_TRUE(targeted.Take(EFault::Stall, EStage::U, 9));
    EXPECT_TRUE(targeted.Take(EFault::Stall, EStage::R, 9));

    CFaultPlan staged;
    ASSERT_TRUE(staged.Add("wrong-ack:cmd=sum,once", &error));
    EXPECT_FALSE(staged.Take(EFault::WrongAck, EStage::R, 1));
    EXPECT_FALSE(staged.Take(EFault::WrongAck, EStage::Program, 1));
    EXPECT_TRUE(staged.Take(EFault::WrongAck, EStage::Sum, 1));
    EXPECT_FALSE(staged.Take(EFault::WrongAck, EStage::Sum, 1));

    // A fault never strikes where it has no meaning, even when untargeted.
    CFaultPlan flip;
    ASSERT_TRUE(flip.Add("flip-bit:always", &error));
    EXPECT_FALSE(flip.Take(EFault::FlipBit, EStage::R, 1));
    EXPECT_TRUE(flip.Take(EFault::FlipBit, EStage::U, 1));
}

class UnitEngineTest : public ::testing::Test {
protected:
    UnitEngineTest() { timing.rxTimeoutMs = 3000; }

    void Feed(const Bytes& b, uint64_t nowMs = 1000) { engine.Feed(b.data(), b.size(), nowMs); }
    void Feed(const std::string& s, uint64_t nowMs = 1000) { Feed(ToBytes(s), nowMs); }

    CUnitFlash flash;
    CFaultPlan plan;
    RecordingLink link;
    SUnitTiming timing;
    CUnitEngine engine{flash, plan, link, nullptr, timing};
};

TEST_F(UnitEngineTest, CommandsSplitAcrossDeliveriesAndLineNoiseBetweenThem)
{
    Feed("\n\n");
    Feed("P");
    Feed("1\r\nU0");
    Feed(std::string("0\r") + '\0');
    const Bytes out = link.Take();
    ASSERT_EQ(out.size(), 4u + 8199);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 9), ToBytes("P1\rAU00\rA"));
    // A run of bytes with no carriage return is dropped, and the next command is understood.
    Feed(std::string(40, 'x') + "\rP0\r");
    const Bytes tail = link.Take();
    ASSERT_GE(tail.size(), 4u);
    EXPECT_EQ(Bytes(tail.end() - 4, tail.end()), ToBytes("P0\rA"));
}

TEST_F(UnitEngineTest, SectorDataArrivesInPiecesAndProgramsAfterTheEraseTime)
{
    Feed("P1\rR01\r");
    EXPECT_EQ(link.Take(), ToBytes("P1\rAR01\rA"));
    const Bytes frame = WithSum(Pattern(0x2000, 11));
    // The sum bytes look like commands to nobody: they are data while a sector is open.
    for (size_t off = 0; off < frame.size(); off += 1000)
        Feed(Bytes(frame.begin() + off, frame.begin() + std::min(frame.size(), off + 1000)));
    EXPECT_EQ(link.Take(), ToBytes("AG"));
    EXPECT_EQ(link.paused, timing.eraseMs8);
    EXPECT_EQ(flash.SectorChecksum(1), Sum16(frame.data(), 0x2000));
    EXPECT_FALSE(engine.ReceivingSector());
}

TEST_F(UnitEngineTest, ASectorTransferThatGoesQuietIsDropped)
{
    Feed("P1\rR02\r", 1000);
    link.Take();
    Feed(Bytes(100, 0x55), 1500);
    engine.Idle(4000);  // 2.5 s quiet: still waiting
    EXPECT_TRUE(engine.ReceivingSector());
    engine.Idle(4600);
    EXPECT_FALSE(engine.ReceivingSector());
    // The unit listens for commands again, and nothing was programmed.
    Feed("P0\r", 4700);
    EXPECT_EQ(link.Take(), ToBytes("P0\rA"));
    EXPECT_EQ(flash.SectorChecksum(2), 0xE000);
}

TEST(UnitEngineFaults, HeldSectorTakesEveryByteUntilItIsWhole)
{
    CUnitFlash flash;
    CFaultPlan plan;
    std::string error;
    ASSERT_TRUE(plan.Add("hold-rx", &error));
    RecordingLink link;
    SUnitTiming timing;
    timing.eraseMs8 = 0;
    CUnitEngine engine(flash, plan, link, nullptr, timing);
    const Bytes start = ToBytes("P1\rR02\r");
    engine.Feed(start.data(), start.size(), 1000);
    EXPECT_EQ(link.Take(), ToBytes("P1\rAR02\rA"));
    const Bytes part(100, 0x55);
    engine.Feed(part.data(), part.size(), 1000);
    // Long after the quiet limit the unit still waits for the rest of the sector,
    // and a command is only more sector data.
    engine.Idle(1000 + 60 * 1000);
    EXPECT_TRUE(engine.ReceivingSector());
    const Bytes p1 = ToBytes("P1\r");
    engine.Feed(p1.data(), p1.size(), 70000);
    EXPECT_TRUE(link.Take().empty());
    // Zeros complete it; the sum read from two zeros does not match, so nothing
    // is programmed and the unit takes commands again.
    const Bytes zeros(0x2000 + 2 - 100 - 3, 0);
    engine.Feed(zeros.data(), zeros.size() - 1, 70000);
    EXPECT_TRUE(engine.ReceivingSector());
    engine.Feed(zeros.data(), 1, 70000);
    EXPECT_FALSE(engine.ReceivingSector());
    EXPECT_EQ(link.Take(), ToBytes("N"));
    EXPECT_EQ(flash.SectorChecksum(2), 0xE000);
    engine.Feed(p1.data(), p1.size(), 70000);
    EXPECT_EQ(link.Take(), ToBytes("P1\rA"));

    // Spent once: the next cut-off write is dropped after the quiet limit as usual.
    const Bytes again = ToBytes("R03\r");
    engine.Feed(again.data(), again.size(), 80000);
    link.Take();
    engine.Feed(part.data(), part.size(), 80000);
    engine.Idle(80000 + timing.rxTimeoutMs + 1);
    EXPECT_FALSE(engine.ReceivingSector());
}

TEST(UnitEngineFaults, StallAndVanishStrikeHalfWayThroughAWrittenSector)
{
    for (const char* fault : {"stall", "vanish"}) {
        SCOPED_TRACE(fault);
        CUnitFlash flash;
        CFaultPlan plan;
        std::string error;
        ASSERT_TRUE(plan.Add(std::string(fault) + ":cmd=R", &error));
        RecordingLink link;
        SUnitTiming timing;
        timing.eraseMs8 = 0;
        CUnitEngine engine(flash, plan, link, nullptr, timing);
        const Bytes cmd = ToBytes("P1\rR03\r");
        engine.Feed(cmd.data(), cmd.size(), 0);
        link.Take();
        const Bytes frame = WithSum(Pattern(0x2000, 3));
        engine.Feed(frame.data(), 0x1000 - 1, 0);
        EXPECT_EQ(link.paused, 0u);
        EXPECT_FALSE(link.vanished);
        engine.Feed(frame.data() + 0x0FFF, frame.size() - 0x0FFF, 0);
        if (std::string(fault) == "stall") {
            EXPECT_EQ(link.paused, timing.stallMs);
            EXPECT_EQ(link.Take(), ToBytes("AG"));
        } else {
            EXPECT_TRUE(link.vanished);
            EXPECT_TRUE(engine.Vanished());
            EXPECT_TRUE(link.Take().empty());
            EXPECT_EQ(flash.SectorChecksum(3), 0xE000);
        }
    }
}

TEST(LineSettings, OnlyTheUnitsBaudAndEightNOneMatch)
{
    struct Case {
        speed_t speed;
        tcflag_t extra;
        bool match;
    } cases[] = {
        {B115200, 0, true}, {B57600, 0, false}, {B9600, 0, false}, {B115200, CSTOPB, false}, {B115200, PARENB, false},
    };
    for (const auto& c : cases) {
        struct termios t { };
        ::cfmakeraw(&t);
        t.c_cflag |= c.extra;
        ::cfsetispeed(&t, c.speed);
        ::cfsetospeed(&t, c.speed);
        std::string why;
        EXPECT_EQ(CPtyLink::SettingsMatch(t, 115200, &why), c.match) << c.speed << " " << c.extra;
        EXPECT_EQ(why.empty(), c.match);
    }
    struct termios seven { };
    ::cfmakeraw(&seven);
    seven.c_cflag = (seven.c_cflag & ~CSIZE) | CS7;
    ::cfsetospeed(&seven, B57600);
    ::cfsetispeed(&seven, B57600);
    EXPECT_TRUE(CPtyLink::SettingsMatch(seven, 57600, nullptr) == false);
    // Noise is never mistaken for an acknowledgement.
    for (int b = 0; b < 256; ++b)
        EXPECT_GE(CPtyLink::Garble(static_cast<uint8_t>(b)), 0x80);
}

}  // namespace
