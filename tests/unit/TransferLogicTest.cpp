// The transfer logic against a scripted line: texts, progress, the Sectors
// lists, block sizes, acknowledgements, time limits and the start guards.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include "CConsoleTransferView.h"
#include "CLogFile.h"
#include "CTransferProgress.h"
#include "CUnitTransfer.h"
#include "CWriteJournal.h"
#include "ScriptedLink.h"
#include "StateFolder.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

namespace {

bool Contains(const std::vector<std::string>& v, const std::string& s)
{
    for (const auto& x : v)
        if (x == s)
            return true;
    return false;
}

void ClearAllNeeded(cMemoryMap& image)
{
    for (int s = 0; s < cMemoryMap::kSectorCount; s++)
        image.ClearSectorNeeded(uint8_t(s));
}

// A sector reply as the unit sends it: 5 leading bytes, the data, checksum
// low and high byte.
std::vector<uint8_t> SectorReply(const uint8_t* data, uint32_t length, uint16_t checksum)
{
    std::vector<uint8_t> reply = {'U', '0', '0', '\r', 'D'};
    reply.insert(reply.end(), data, data + length);
    reply.push_back(uint8_t(checksum & 0xFF));
    reply.push_back(uint8_t(checksum >> 8));
    return reply;
}

uint16_t Sum16(const uint8_t* data, uint32_t length)
{
    uint16_t sum = 0;
    for (uint32_t i = 0; i < length; i++)
        sum = uint16_t(sum + data[i]);
    return sum;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

// ---- texts, progress, lists ------------------------------------------------

TEST(TransferTexts, ElapsedTime)
{
    struct {
        uint32_t ms;
        const char* text;
    } cases[] = {
        {3723456, "[01:02:03:56]"}, {5000, "[00:00:05:0]"},    {0, "[00:00:00:0]"},
        {5001, "[00:00:05:1]"},     {59999, "[00:00:59:99]"},  {60000, "[00:01:00:0]"},
        {600000, "[00:10:00:0]"},   {3600000, "[01:00:00:0]"}, {36061000, "[10:01:01:0]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ElapsedText(c.ms), c.text) << c.ms;
    // Every tick difference gives a valid time, even after the counter wraps.
    for (uint32_t ms = 0; ms < 4000000; ms += 997) {
        std::string t = ElapsedText(ms);
        int h, m, s, f;
        ASSERT_EQ(sscanf(t.c_str(), "[%d:%d:%d:%d]", &h, &m, &s, &f), 4) << t;
        EXPECT_LT(m, 60) << t;
        EXPECT_LT(s, 60) << t;
    }
    EXPECT_EQ(ElapsedText(uint32_t(100) - uint32_t(4294967196u)), "[00:00:00:0]");
}

TEST(TransferTexts, ChecksumErrors)
{
    EXPECT_EQ(ChecksumErrorText(0x1234, 0xabc, 0x34, 0x12, false),
              "Checksum error - received 1234, computed  abc\nReceived checksum bytes were 34,12\n"
              "Received data corrupt.");
    EXPECT_EQ(ChecksumErrorText(0x0007, 0xe000, 0x07, 0x00, true),
              "Checksum error - received    7, computed e000\nReceived checksum bytes were 7,0\n"
              "Received data corrupt.\n");
}

TEST(TransferProgress, ReadTakesItsScaleFromTheFirstUpdate)
{
    CTransferProgress p;
    auto d = p.Reset(0);
    EXPECT_TRUE(d.rangeChanged);
    EXPECT_EQ(d.range, 0);
    // A 64 KB reply: 65,543 bytes expected at the first update.
    d = p.Update(65543);
    EXPECT_TRUE(d.rangeChanged);
    EXPECT_EQ(d.range, 1024);
    EXPECT_EQ(d.percent, 0);
    EXPECT_EQ(d.position, 0);
    d = p.Update(32775);
    EXPECT_FALSE(d.rangeChanged);
    EXPECT_EQ(d.percent, 49);
    EXPECT_EQ(d.position, 512);
    d = p.Update(7);
    EXPECT_EQ(d.percent, 99);
    EXPECT_EQ(d.position, 1024);

    // A reply already mostly in when first seen: the rest is the full scale.
    p.Reset(0);
    d = p.Update(640);
    EXPECT_EQ(d.range, 10);
    EXPECT_EQ(d.percent, 0);
    d = p.Update(320);
    EXPECT_EQ(d.percent, 50);

    // Under 64 bytes outstanding at the first update: no scale, no percentage.
    p.Reset(0);
    d = p.Update(30);
    EXPECT_EQ(d.range, 0);
    EXPECT_EQ(d.percent, -1);
    EXPECT_EQ(d.position, 0);
}

TEST(TransferProgress, WriteCountsBytesStillToSend)
{
    CTransferProgress p;
    auto d = p.Reset(2500);
    EXPECT_EQ(d.range, 39);
    struct {
        uint32_t left;
        int percent, position;
    } steps[] = {{1476, 40, 16}, {452, 81, 32}, {0, 100, 39}};
    for (const auto& s : steps) {
        d = p.Update(s.left);
        EXPECT_EQ(d.percent, s.percent) << s.left;
        EXPECT_EQ(d.position, s.position) << s.left;
    }
}

TEST(TransferTexts, SectorsLists)
{
    cMemoryMap image;
    ClearAllNeeded(image);
    EXPECT_EQ(WriteSectorLines(image), std::vector<std::string>{"No sectors."});

    // A new image needs sectors 0 and 1, but only sectors up to the last used
    // one (0) are listed.
    image.RebuildNeededSectors();
    EXPECT_EQ(WriteSectorLines(image), (std::vector<std::string>{"SA0", "1 sector."}));

    // Audio reaching into sector 9.
    uint8_t* at = image.AllocateAtEnd(2);
    memset(at, 0x55, 0x20000);
    image.SetLength(2, 0x20000);
    ClearAllNeeded(image);
    image.SetSectorNeeded(0);
    image.SetSectorNeeded(9);
    EXPECT_EQ(image.GetLastUsedSector(), 9);
    EXPECT_EQ(WriteSectorLines(image), (std::vector<std::string>{"SA0", "SA9", "2 sectors."}));

    EXPECT_EQ(ReadSectorLines(9, 1),
              (std::vector<std::string>{"9 sectors.", "SA1", "SA2", "SA3", "SA4", "SA5", "SA6", "SA7", "SA8", "SA9"}));
    EXPECT_EQ(ReadSectorLines(5, 5), (std::vector<std::string>{"1 sector.", "SA5"}));
    EXPECT_EQ(ReadSectorLines(0, 1), std::vector<std::string>{"No sectors."});
}

// ---- the stepper against a scripted line ------------------------------------

const std::string kP1Timeout = WithInterruptedWriteHint("Timeout - Enter program Mode");

TransferSettings Recover(TransferSettings settings)
{
    settings.recover = true;
    return settings;
}

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        transfer.SetTickSource([this] { return now; });
        ClearAllNeeded(image);
    }

    TransferSettings Settings(int baudPosition = 0, bool oneSector = false, bool noTimeouts = false)
    {
        TransferSettings s;
        s.portName = "/dev/unit";
        s.baudPosition = baudPosition;
        s.writeOneSectorAtATime = oneSector;
        s.disableTimeouts = noTimeouts;
        return s;
    }

    // Every transfer starts with a quiet line; these start it and let the
    // quiet time pass, so that the next step runs the transfer's first state.
    void StartWrite(const TransferSettings& settings)
    {
        transfer.StartWrite(settings);
        PassQuietLine();
    }
    void StartRead(const TransferSettings& settings)
    {
        transfer.StartRead(settings);
        PassQuietLine();
    }
    void StartVerify(const TransferSettings& settings, std::vector<uint8_t> sectors = {})
    {
        transfer.StartVerify(settings, std::move(sectors));
        PassQuietLine();
    }
    void PassQuietLine()
    {
        if (link.State() != CUnitTransfer::kSettleLine)
            return;
        now += CUnitTransfer::kSettleQuietMs;
        transfer.Step();
    }

    void ExpectIdleAndClosed()
    {
        EXPECT_EQ(link.State(), 0);
        EXPECT_FALSE(link.open);
        EXPECT_FALSE(view.TimerRunning());
        EXPECT_TRUE(view.ControlsEnabled());
        EXPECT_EQ(link.request.bytesExpected, 0u);
        EXPECT_EQ(link.request.destination, nullptr);
    }

    StateFolder state;  // the port's journal
    cMemoryMap image;
    ScriptedLink link;
    CConsoleTransferView view;
    CUnitTransfer transfer{image, link, view};
    uint32_t now = 0xFFFFF000;  // the tick count wraps during the tests
};

// The unit's replies during a write, one per request; an empty reply is never
// sent.
struct UnitReplies {
    std::string p1 = "P1\rA";
    std::string sectorAck = "R01\rA";
    std::string checksumAck = "A";
    std::string result = "G";
    std::string p0 = "P0\rA";
};

// Steps a write, answering each request once as it is issued; time passes
// by one second per step while a reply is withheld.
static void RunWrite(ScriptedLink& link, CUnitTransfer& transfer, CConsoleTransferView& view, uint32_t& now,
                     const UnitReplies& r, int maxSteps = 400)
{
    uint8_t answered = 0;
    for (int i = 0; i < maxSteps && view.TimerRunning(); i++) {
        transfer.Step();
        const uint8_t state = link.State();
        const std::string* reply = nullptr;
        switch (state) {
        case CUnitTransfer::kAwaitPgmModeAck:
            reply = &r.p1;
            break;
        case CUnitTransfer::kAwaitSectorStartAck:
            reply = &r.sectorAck;
            break;
        case CUnitTransfer::kAwaitChecksumAck:
            reply = &r.checksumAck;
            break;
        case CUnitTransfer::kAwaitPgmResult:
            reply = &r.result;
            break;
        case CUnitTransfer::kAwaitExitAck:
            reply = &r.p0;
            break;
        default:
            break;
        }
        if (reply && answered != state) {
            answered = state;
            link.Deliver(*reply);
        } else if (!reply) {
            answered = 0;
        }
        now += (reply && link.request.bytesExpected > 0) ? 1000 : 80;
    }
}

TEST_F(TransferTest, WriteSendsNeededSectorInBlocksWithItsChecksum)
{
    // Sector 1 with a checksum of 0x1234.
    uint8_t* sector = image.GetImageBuffer() + cMemoryMap::GetSectorStart(1);
    memset(sector, 0, 0x2000);
    memset(sector + 100, 0xFF, 18);
    sector[5000] = 0x46;
    ASSERT_EQ(image.GetSectorChecksum(1), 0x1234);
    image.SetSectorNeeded(1);

    StartWrite(Settings());
    EXPECT_TRUE(link.open);
    EXPECT_EQ(link.baud, 115200);
    EXPECT_EQ(link.handshaking, 1);
    EXPECT_EQ(link.traces.at(0), "Comm Settings: 115200,N,8,1, serial port: /dev/unit");
    EXPECT_EQ(link.State(), CUnitTransfer::kEnterPgmMode);
    EXPECT_EQ(view.TimerPeriod(), 80u);
    EXPECT_FALSE(view.ControlsEnabled());
    EXPECT_GE(link.purges, 1);

    RunWrite(link, transfer, view, now, UnitReplies());

    ASSERT_EQ(link.sent.size(), 12u);
    EXPECT_EQ(link.SentText(0), "P1\r");
    EXPECT_EQ(link.SentText(1), "R01\r");
    std::vector<uint8_t> data;
    for (size_t i = 2; i < 10; i++) {
        EXPECT_EQ(link.sent[i].size(), 1024u) << i;
        data.insert(data.end(), link.sent[i].begin(), link.sent[i].end());
    }
    EXPECT_EQ(0, memcmp(data.data(), sector, 0x2000));
    EXPECT_EQ(link.sent[10], (std::vector<uint8_t>{0x34, 0x12}));
    EXPECT_EQ(link.SentText(11), "P0\r");

    EXPECT_EQ(view.Percentages(), (std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}));
    EXPECT_EQ(view.ProgressTexts().front(), "Writing - 12 %");
    EXPECT_EQ(view.ProgressTexts().back(), "Writing - 100 %");
    EXPECT_EQ(transfer.ChecksumAckLimit(), 5711u);  // 8 KB at 115200 baud
    EXPECT_FALSE(image.IsSectorNeeded(1));
    EXPECT_EQ(view.SectorLines(), std::vector<std::string>{"No sectors."});
    const auto& h = view.StatusHistory();
    for (const char* s : {"Request start pgm mode", "Sending TX request sector R01\n", "Transmitting sector 1",
                          "Sector 1 sent finished doing checksum\n", "Waiting for unit to erase/pgm", "Ready",
                          "Request stop program mode.", "Stop Program Mode OK"})
        EXPECT_TRUE(Contains(h, s)) << s;
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_TRUE(view.UnitReadDone());
    EXPECT_TRUE(transfer.Completed());
    ExpectIdleAndClosed();
    EXPECT_EQ(link.mask, 0u);
}

TEST_F(TransferTest, EveryWriteFaultEndsWithItsStatus)
{
    struct Fault {
        const char* name;
        void (*apply)(UnitReplies&);
        std::string status;
    } faults[] = {
        {"no P1 reply", [](UnitReplies& r) { r.p1 = ""; }, kP1Timeout},
        {"short P1 reply", [](UnitReplies& r) { r.p1 = "P1\r"; }, kP1Timeout},
        {"bad P1 ack", [](UnitReplies& r) { r.p1 = "P1\rN"; },
         "Bad Ack (Enter program mode). Expecting 'A', had 'N'\n"},
        {"no sector ack", [](UnitReplies& r) { r.sectorAck = ""; }, "Timeout - Sector start Ack sector 1\n"},
        {"bad sector ack", [](UnitReplies& r) { r.sectorAck = "R01\rN"; },
         "Got bad or illegal sector start Ack. Expecting 'A', got 'N' - sector 1.\n"},
        {"no checksum ack", [](UnitReplies& r) { r.checksumAck = ""; }, "Timeout - Checksum Ack"},
        {"bad checksum ack", [](UnitReplies& r) { r.checksumAck = "N"; },
         "Got bad or illegal checksum Ack. Expecting 'A', got 'N' - sector 1.\n"},
        // The unit's text for a missing result names no sector.
        {"no result", [](UnitReplies& r) { r.result = ""; }, "Timeout - Sector start Ack"},
        {"A for G", [](UnitReplies& r) { r.result = "A"; },
         "Got bad or illegal programming result ack. Expecting 'G', got A - sector 1"},
        {"no P0 reply", [](UnitReplies& r) { r.p0 = ""; }, "Timeout - Exit program Mode"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        ClearAllNeeded(image);
        image.SetSectorNeeded(1);
        link.sent.clear();
        UnitReplies replies;
        f.apply(replies);
        StartWrite(Settings());
        RunWrite(link, transfer, view, now, replies);
        EXPECT_EQ(view.Status(), f.status);
        EXPECT_FALSE(transfer.Completed());
        // The sector whose answer never came, for a caller whose text does
        // not say (a refused sum leaves its programming result owed).
        const std::string name = f.name;
        const bool waitedInSector =
            name == "no sector ack" || name == "no checksum ack" || name == "bad checksum ack" || name == "no result";
        EXPECT_EQ(transfer.EndSector(), waitedInSector ? 1 : -1);
        ExpectIdleAndClosed();
        // The flag goes only with the unit's 'G'.
        EXPECT_EQ(image.IsSectorNeeded(1), replies.result != "G" || replies.checksumAck != "A" ||
                                               replies.sectorAck != "R01\rA" || replies.p1 != "P1\rA");
    }

    // A wrong exit acknowledgement is reported but the write has completed.
    ClearAllNeeded(image);
    UnitReplies replies;
    replies.p0 = "P0\rN";
    StartWrite(Settings());
    RunWrite(link, transfer, view, now, replies);
    EXPECT_TRUE(Contains(view.StatusHistory(), "Bad Ack (Exit program mode).Expecting 'A', got 'N'."));
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_TRUE(transfer.Completed());
    ExpectIdleAndClosed();
}

TEST_F(TransferTest, ProgrammingResultRightBehindTheChecksumAckIsKept)
{
    // A unit that programs within one step sends 'A' and 'G' back to back.
    image.SetSectorNeeded(2);
    UnitReplies replies;
    replies.sectorAck = "R02\rA";
    replies.checksumAck = "AG";
    replies.result = "";
    StartWrite(Settings());
    RunWrite(link, transfer, view, now, replies);
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_FALSE(image.IsSectorNeeded(2));
}

TEST_F(TransferTest, WriteTimeLimits)
{
    // 5,000 ms is allowed in full; one more millisecond is a time-out.
    StartWrite(Settings());
    transfer.Step();  // "P1\r"
    link.Deliver("P1\r");
    now += 5000;
    transfer.Step();
    EXPECT_EQ(link.State(), CUnitTransfer::kAwaitPgmModeAck);
    now += 1;
    transfer.Step();
    EXPECT_EQ(view.Status(), kP1Timeout);
    ExpectIdleAndClosed();

    // "Disable timeouts": a silent unit keeps the write waiting, is told what
    // to do and never gets a byte after "P1".
    link.sent.clear();
    StartWrite(Settings(0, false, true));
    for (int i = 0; i < 50; i++) {
        transfer.Step();
        now += 60000;
    }
    EXPECT_EQ(link.State(), CUnitTransfer::kAwaitPgmModeAck);
    EXPECT_EQ(view.Status(), WithInterruptedWriteHint("No answer to P1"));
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_TRUE(link.open);
    EXPECT_TRUE(view.TimerRunning());
    transfer.Finish();
    ExpectIdleAndClosed();

    // The checksum acknowledgement limit grows with the sector and the baud rate.
    struct {
        int baudPosition;
        uint8_t sector;
        uint32_t limit;
    } limits[] = {{1, 8, 16377}, {0, 8, 10689}, {1, 1, 6422}};
    for (const auto& l : limits) {
        ClearAllNeeded(image);
        image.SetSectorNeeded(l.sector);
        StartWrite(Settings(l.baudPosition));
        EXPECT_FLOAT_EQ(transfer.PerByteFactor(), l.baudPosition ? 0.17361f : 0.08681f);
        EXPECT_EQ(link.baud, l.baudPosition ? 57600 : 115200);
        UnitReplies replies;
        replies.sectorAck = "xxxxA";
        RunWrite(link, transfer, view, now, replies);
        EXPECT_EQ(transfer.ChecksumAckLimit(), l.limit);
    }
}

// The unit's side of a read: answers every "Uxx\r" request from its memory.
class ReadTest : public TransferTest {
protected:
    // Steps a read; each request is answered in three bursts on three steps.
    // Requests beyond the first answerLimit stay unanswered.
    void RunRead(int maxSteps = 200, int corruptSector = -1, size_t answerLimit = 100)
    {
        size_t answered = 0;
        std::vector<std::vector<uint8_t>> bursts;
        for (int i = 0; i < maxSteps && view.TimerRunning(); i++) {
            transfer.Step();
            now += 200;
            if (!bursts.empty()) {
                link.Deliver(bursts.front());
                bursts.erase(bursts.begin());
            }
            if (link.sent.size() > answered && answered < answerLimit) {
                std::string cmd = link.SentText(answered++);
                int sector = atoi(cmd.c_str() + 1);
                uint32_t start = cMemoryMap::GetSectorStart(uint8_t(sector));
                uint32_t length = cMemoryMap::GetSectorEnd(uint8_t(sector)) - start;
                const uint8_t* data = unit.GetImageBuffer() + start;
                uint16_t sum = Sum16(data, length);
                if (sector == corruptSector)
                    sum = uint16_t(sum + 1);
                auto reply = SectorReply(data, length, sum);
                long third = long(reply.size() / 3);
                link.Deliver(std::vector<uint8_t>(reply.begin(), reply.begin() + third));
                bursts.emplace_back(reply.begin() + third, reply.begin() + 2 * third);
                bursts.emplace_back(reply.begin() + 2 * third, reply.end());
            }
        }
    }

    void FillUnit(uint32_t audioBytes)
    {
        uint8_t* buf = unit.GetImageBuffer();
        for (uint32_t i = 0; i < cMemoryMap::kImageSize; i++)
            buf[i] = uint8_t(i * 7 + (i >> 11));
        uint8_t* at = unit.AllocateAtEnd(4);
        (void)at;
        unit.SetLength(4, audioBytes);
        unit.SetName(4, "Front door");
        unit.StoreTableInImage();
        memset(image.GetImageBuffer(), 0xEE, cMemoryMap::kImageSize);
    }

    cMemoryMap unit;
};

TEST_F(ReadTest, ReadsSectorZeroThenEveryUsedSector)
{
    FillUnit(70000);  // reaches into sector 8
    StartRead(Settings(1));
    EXPECT_EQ(link.baud, 57600);
    EXPECT_EQ(view.TimerPeriod(), 200u);
    EXPECT_FALSE(view.ControlsEnabled());
    RunRead();

    ASSERT_EQ(link.sent.size(), 9u);
    for (int s = 0; s <= 8; s++)
        EXPECT_EQ(link.SentText(size_t(s)), FormatText("U%02d\r", s));
    EXPECT_EQ(0, memcmp(image.GetImageBuffer(), unit.GetImageBuffer(), cMemoryMap::GetSectorEnd(8)));
    // Sectors past the last used one keep what they held.
    EXPECT_EQ(image.GetImageBuffer()[cMemoryMap::GetSectorStart(9)], 0xEE);
    EXPECT_EQ(image.GetLength(4), 70000u);
    EXPECT_STREQ(image.GetName(4), "Front door");
    // A 64 KB sector's bytes sum past 16 bits; the checksum is its low 16 bits.
    EXPECT_TRUE(Contains(view.StatusHistory(), "TX Read OK. elapsed time = [00:00:00:0]") ||
                Contains(view.StatusHistory(), "TX Read OK. elapsed time = [00:00:00:40]"));
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"TX Data read OK"});
    EXPECT_EQ(view.MessageIsInformation(), std::vector<bool>{true});
    EXPECT_EQ(view.Status(), "");
    EXPECT_EQ(view.SectorLines(), std::vector<std::string>{"No sectors."});
    EXPECT_TRUE(Contains(view.StatusHistory(), "Sending RX request"));
    EXPECT_FALSE(view.Percentages().empty());
    for (const std::string& text : view.ProgressTexts())
        EXPECT_EQ(text.rfind("Reading - ", 0), 0u) << text;
    EXPECT_TRUE(view.UnitReadDone());
    EXPECT_TRUE(transfer.Completed());
    ExpectIdleAndClosed();
}

TEST_F(ReadTest, ChecksumErrorsEndTheRead)
{
    std::string logPath = ::testing::TempDir() + "protocols_checksum.log";
    remove(logPath.c_str());
    bool logging = TheLog().Open(logPath.c_str()) && TheLog().IsOpen();
    for (int bad : {0, 3}) {
        SCOPED_TRACE(bad);
        FillUnit(30000);
        link.sent.clear();
        StartRead(Settings());
        RunRead(200, bad);
        EXPECT_EQ(view.Status(), "Checksum error");
        ASSERT_FALSE(view.Messages().empty());
        const std::string& text = view.Messages().back();
        EXPECT_EQ(text.rfind("Checksum error - received ", 0), 0u) << text;
        EXPECT_EQ(text.back() == '\n', bad != 0);
        EXPECT_FALSE(view.MessageIsInformation().back());
        EXPECT_FALSE(transfer.Completed());
        EXPECT_EQ(link.sent.size(), size_t(bad + 1));
        ExpectIdleAndClosed();
    }
    if (logging) {
        TheLog().Close();
        std::string log = ReadFile(logPath);
        // Only the sector-0 error is logged.
        EXPECT_NE(log.find("Checksum error - received"), std::string::npos);
        EXPECT_EQ(log.find("Checksum error - received"), log.rfind("Checksum error - received"));
    }
}

TEST_F(ReadTest, TableReachingPastTheImageStopsAfterSectorZero)
{
    FillUnit(1000);
    // An entry from a corrupt unit: starts in the last sector and runs past the end.
    unit.SetStart(6, 0x3EFF00);
    unit.SetLength(6, 0x1000);
    unit.StoreTableInImage();
    ASSERT_EQ(unit.GetLastUsedSector(), cMemoryMap::kOutsideSectors);

    StartRead(Settings());
    RunRead();
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.SentText(0), "U00\r");
    EXPECT_EQ(view.Status(), "Read stopped - the unit's message table is invalid");
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_NE(view.Messages()[0].find("message table read from the unit is invalid"), std::string::npos);
    EXPECT_FALSE(view.UnitReadDone());
    EXPECT_FALSE(transfer.Completed());
    // Nothing of the read reaches the image, not even sector 0.
    EXPECT_EQ(image.GetImageBuffer()[0], 0xEE);
    EXPECT_EQ(image.GetImageBuffer()[0x2000], 0xEE);
    ExpectIdleAndClosed();
}

TEST_F(ReadTest, ErasedUnitLeavesTheImageAsItWas)
{
    // The operator's table and audio, not yet saved anywhere.
    uint8_t* at = image.AllocateAtEnd(2);
    memset(at, 0x55, 3000);
    image.SetLength(2, 3000);
    image.SetName(2, "Kept");
    image.StoreTableInImage();
    std::vector<uint8_t> before(image.GetImageBuffer(), image.GetImageBuffer() + cMemoryMap::kImageSize);
    memset(unit.GetImageBuffer(), 0xFF, cMemoryMap::kImageSize);

    StartRead(Settings());
    RunRead();
    EXPECT_EQ(view.Status(), "The unit is blank: it holds no messages");
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"The unit is blank: it holds no messages"});
    EXPECT_EQ(0, memcmp(before.data(), image.GetImageBuffer(), before.size()));
    EXPECT_STREQ(image.GetName(2), "Kept");
    EXPECT_EQ(image.GetLength(2), 3000u);
    EXPECT_EQ(image.GetLastUsedSector(), 1);

    // A read that fails half-way (checksum of sector 3) changes nothing either.
    FillUnit(30000);
    memcpy(image.GetImageBuffer(), before.data(), before.size());
    image.LoadTableFromImage();
    link.sent.clear();
    StartRead(Settings());
    RunRead(200, 3);
    EXPECT_EQ(view.Status(), "Checksum error");
    EXPECT_EQ(0, memcmp(before.data(), image.GetImageBuffer(), before.size()));
    EXPECT_STREQ(image.GetName(2), "Kept");
}

TEST_F(ReadTest, EverySectorIsTimed)
{
    const uint32_t started = now;
    StartRead(Settings());
    transfer.Step();  // "U00\r"
    link.Deliver(std::vector<uint8_t>(100, 0));
    now += 5000;
    transfer.Step();
    EXPECT_EQ(link.State(), CUnitTransfer::kReceiveSector0);
    now += 1;
    transfer.Step();
    EXPECT_EQ(view.Status(), "Reading TX data timeout. elapsed time = " + ElapsedText(now - started));
    EXPECT_EQ(view.Status(), "Reading TX data timeout. elapsed time = [00:00:05:1]");
    ExpectIdleAndClosed();

    // A later sector that stops coming ends the read after its line time
    // and the margin: 8 KB + 7 at 115200 baud is 5,711 ms.
    FillUnit(30000);
    link.sent.clear();
    StartRead(Settings());
    RunRead(6, -1, 1);  // sector 0 in, sector 1 requested
    ASSERT_EQ(link.sent.size(), 2u);
    ASSERT_GT(link.request.bytesExpected, 0u);
    EXPECT_EQ(transfer.SectorReplyLimit(0x2000), 5711u);
    const uint32_t asked = link.request.requestStartTime;
    now = asked + 5711;
    transfer.Step();
    EXPECT_EQ(link.State(), CUnitTransfer::kReceiveSector);
    now += 1;
    transfer.Step();
    EXPECT_EQ(view.Status().rfind("Reading TX data timeout. elapsed time = ", 0), 0u) << view.Status();
    EXPECT_FALSE(transfer.Completed());
    ExpectIdleAndClosed();

    // "Disable timeouts": a later sector waits as long as it takes.
    link.sent.clear();
    StartRead(Settings(0, false, true));
    RunRead(6, -1, 1);
    for (int i = 0; i < 20; i++) {
        now += 60000;
        transfer.Step();
    }
    EXPECT_EQ(link.State(), CUnitTransfer::kReceiveSector);
    transfer.Finish();
    ExpectIdleAndClosed();
}

TEST_F(TransferTest, RepliesBetweenTicksAreActedOnAtOnce)
{
    image.SetSectorNeeded(1);
    StartWrite(Settings());
    // No tick at all below: the clock stands still, every step comes from the line.
    transfer.StepNow();
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.SentText(0), "P1\r");
    transfer.StepNow();  // nothing arrived: nothing happens
    EXPECT_EQ(link.State(), CUnitTransfer::kAwaitPgmModeAck);

    link.Deliver("P1\rA");
    transfer.StepNow();  // the ack, then the next sector's request in the same call
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.SentText(1), "R01\r");
    link.Deliver("R01\rA");
    transfer.StepNow();  // the first block follows the sector-start ack
    ASSERT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(link.sent[2].size(), 1024u);
    for (int block = 1; block < 8; block++)
        transfer.StepNow();  // each block has left: the next one goes
    EXPECT_EQ(link.sent.size(), 10u);
    transfer.StepNow();  // the last block has left: the checksum goes
    ASSERT_EQ(link.sent.size(), 11u);
    EXPECT_EQ(link.sent[10].size(), 2u);
    link.Deliver("AG");
    transfer.StepNow();
    EXPECT_FALSE(image.IsSectorNeeded(1));
    ASSERT_EQ(link.sent.size(), 12u);
    EXPECT_EQ(link.SentText(11), "P0\r");
    link.Deliver("P0\rA");
    transfer.StepNow();
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_TRUE(transfer.Completed());
    ExpectIdleAndClosed();

    // The time-outs keep their values when nothing arrives: a part of the
    // reply at the limit does not end the wait, one millisecond more does.
    StartWrite(Settings());
    transfer.StepNow();
    now += 5000;
    link.Deliver("P1");
    transfer.StepNow();
    transfer.Step();
    EXPECT_EQ(link.State(), CUnitTransfer::kAwaitPgmModeAck);
    now += 1;
    transfer.Step();
    EXPECT_EQ(view.Status(), kP1Timeout);
    ExpectIdleAndClosed();
}

TEST_F(TransferTest, VanishedPortEndsTheTransferAtOnce)
{
    for (bool write : {true, false}) {
        SCOPED_TRACE(write);
        image.SetSectorNeeded(1);
        if (write)
            StartWrite(Settings(0, false, true));
        else
            StartRead(Settings(0, false, true));
        transfer.StepNow();
        link.lineGone = true;
        transfer.StepNow();
        EXPECT_EQ(view.Status(), "Transfer stopped - the port /dev/unit is gone");
        EXPECT_FALSE(transfer.Completed());
        ExpectIdleAndClosed();
        link.lineGone = false;
    }
}

TEST_F(TransferTest, StartGuards)
{
    // Pressing "Write Unit" during a read leaves the read alone.
    StartRead(Settings());
    transfer.Step();
    StartWrite(Settings());
    EXPECT_EQ(view.Status(), "Write TX - previous read/write operation not complete");
    EXPECT_EQ(link.State(), CUnitTransfer::kReceiveSector0);
    EXPECT_TRUE(link.open);
    StartRead(Settings());
    EXPECT_EQ(view.Status(), "Read TX - previous read/write operation not completed");
    transfer.Finish();
    ExpectIdleAndClosed();

    // A port that cannot be opened or configured.
    link.openResult = 2;
    StartRead(Settings());
    EXPECT_EQ(view.Status(), "Read TX - could not open Comm Port");
    EXPECT_FALSE(view.TimerRunning());
    link.openResult = 0;
    link.baudResult = 22;
    StartWrite(Settings());
    EXPECT_EQ(view.Status(), "Write TX - could not open Comm Port");
    EXPECT_FALSE(link.open);
    link.baudResult = 0;

    // A timer that cannot be started ends the transfer at once.
    view.SetTimerFails(true);
    StartWrite(Settings());
    EXPECT_EQ(view.Status(), "Timer start failed - no action taken.");
    ExpectIdleAndClosed();
}

// A unit still inside a sector write that was cut off takes "P1" as sector
// data and says nothing. Asked to recover, the write completes that sector
// with zeros, drops what the unit says until the line is quiet, and starts
// again.
TEST_F(TransferTest, SilenceAfterP1CompletesACutOffSectorThenStartsAgain)
{
    image.SetSectorNeeded(1);
    auto fillerBytes = [this](size_t from) {
        size_t n = 0;
        for (size_t i = from; i < link.sent.size(); i++) {
            for (uint8_t b : link.sent[i])
                EXPECT_EQ(b, 0) << i;
            n += link.sent[i].size();
        }
        return n;
    };
    StartWrite(Recover(Settings()));
    transfer.Step();
    ASSERT_EQ(link.SentText(0), "P1\r");
    now += CUnitTransfer::kRecoveryProbeMs;
    transfer.Step();
    EXPECT_EQ(link.sent.size(), 1u) << "a second is allowed in full";
    now += 1;
    transfer.StepNow();
    EXPECT_EQ(view.Status(), "No answer to P1 - completing an interrupted sector write");
    EXPECT_EQ(link.State(), CUnitTransfer::kCompletePartialSector);
    ASSERT_EQ(link.sent.size(), 2u) << "the first block goes at once";
    for (int i = 0; i < 9; i++) {
        now += 80;
        transfer.Step();
    }
    EXPECT_EQ(fillerBytes(1), 10u * 1024);
    // The sector is whole and its sum wrong: 'N', then noise that must not
    // reach the answer to the next "P1".
    link.Deliver("N");
    transfer.StepNow();
    EXPECT_EQ(link.State(), CUnitTransfer::kSettleLine);
    EXPECT_EQ(link.sent.size(), 11u) << "no filler after the answer";
    now += 150;
    link.Deliver("xyz");
    transfer.Step();
    now += 150;
    transfer.Step();
    EXPECT_EQ(link.State(), CUnitTransfer::kSettleLine) << "noise 150 ms ago";
    now += 60;
    transfer.Step();
    EXPECT_EQ(link.State(), CUnitTransfer::kEnterPgmMode);
    EXPECT_EQ(link.request.receiveEnabled, 0);

    const size_t before = link.sent.size();
    RunWrite(link, transfer, view, now, UnitReplies());
    ASSERT_GT(link.sent.size(), before + 2);
    EXPECT_EQ(link.SentText(before), "P1\r");
    EXPECT_EQ(link.SentText(before + 1), "R01\r");
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_FALSE(image.IsSectorNeeded(1));
    ExpectIdleAndClosed();
}

TEST_F(TransferTest, CompletingACutOffSectorEndsOnceAndOnlyWhenNothingAnswers)
{
    // The unit takes the filler's sum as right and programs: its 'G' is
    // awaited before the line is left to settle.
    StartWrite(Recover(Settings()));
    transfer.Step();
    now += 1500;
    transfer.StepNow();
    ASSERT_EQ(link.State(), CUnitTransfer::kCompletePartialSector);
    link.Deliver("A");
    transfer.StepNow();
    EXPECT_EQ(link.State(), CUnitTransfer::kCompletePartialSector);
    now += 3000;
    link.Deliver("G");
    transfer.StepNow();
    EXPECT_EQ(link.State(), CUnitTransfer::kSettleLine);
    now += 300;
    transfer.Step();
    transfer.Step();
    ASSERT_EQ(link.SentText(link.sent.size() - 1), "P1\r");
    // Tried once per write: a second silence is the usual time-out.
    now += 5001;
    transfer.Step();
    EXPECT_EQ(view.Status(), kP1Timeout);
    ExpectIdleAndClosed();

    // Nobody there: every byte a sector can want, then the time-out of "P1".
    link.sent.clear();
    StartWrite(Recover(Settings(1)));
    transfer.Step();
    now += 1500;
    for (int i = 0; i < 200 && link.State() == CUnitTransfer::kAwaitPgmModeAck; i++)
        transfer.Step();
    // Handed over at the pace of the line (57600 baud), not all at once.
    size_t ahead = 0;
    for (const auto& block : link.sent)
        ahead += block.size();
    EXPECT_LE(ahead, 3u + CUnitTransfer::kFillerLead + 1024);
    for (int i = 0; i < 200; i++) {
        now += 80;
        transfer.Step();
    }
    size_t filler = 0;
    for (size_t i = 1; i < link.sent.size(); i++)
        filler += link.sent[i].size();
    EXPECT_EQ(filler, CUnitTransfer::kFillerBytes);
    EXPECT_EQ(link.State(), CUnitTransfer::kCompletePartialSector) << "the line time of the filler is allowed";
    now += 20000;
    transfer.Step();
    EXPECT_EQ(view.Status(), kP1Timeout);
    ExpectIdleAndClosed();
}

// A write ended while its last sector was still on its way to the unit: the
// unit programs it and answers "AG" in front of the echo of the next "P1".
TEST_F(TransferTest, AnswersOfAnEarlierSectorBeforeTheEchoOfP1AreLetGo)
{
    image.SetSectorNeeded(1);
    StartWrite(Settings());
    transfer.Step();
    link.Deliver("AGP1\r");
    transfer.StepNow();
    EXPECT_EQ(link.State(), CUnitTransfer::kSettleLine);
    link.Deliver("\rA");
    now += 100;
    transfer.Step();
    now += 250;
    transfer.Step();
    ASSERT_EQ(link.State(), CUnitTransfer::kEnterPgmMode);
    RunWrite(link, transfer, view, now, UnitReplies());
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_FALSE(image.IsSectorNeeded(1));

    // Anything else in front of the fourth byte is the wrong acknowledgement
    // it always was, and so is a second such reply within one write.
    for (const std::string& reply : {std::string("\xF8P1\r"), std::string("P1\rN"), std::string("xGP1")}) {
        StartWrite(Settings());
        transfer.Step();
        link.Deliver(reply);
        transfer.StepNow();
        EXPECT_EQ(view.Status().rfind("Bad Ack (Enter program mode).", 0), 0u) << reply;
        ExpectIdleAndClosed();
    }
    StartWrite(Settings());
    transfer.Step();
    link.Deliver("GP1\r");
    transfer.StepNow();
    now += 300;
    transfer.Step();
    transfer.Step();
    link.Deliver("NP1\r");
    transfer.StepNow();
    EXPECT_EQ(view.Status(), "Bad Ack (Enter program mode). Expecting 'A', had '\r'\n");
    ExpectIdleAndClosed();
}

TEST_F(TransferTest, VerifyRefusesSectorsPastTheUnitsMemory)
{
    // Sector 70 starts where the image ends: comparing it would read past the
    // image. Such a list starts nothing.
    for (uint8_t sector : {uint8_t(70), uint8_t(71), uint8_t(255)}) {
        StartVerify(Settings(), {0, sector});
        EXPECT_EQ(view.Status(), "Verify - sector " + std::to_string(sector) + " is not in the unit's memory");
        ExpectIdleAndClosed();
        EXPECT_TRUE(link.sent.empty());
    }
    // The last sector of the memory is fine.
    StartVerify(Settings(), {69});
    transfer.StepNow();
    EXPECT_EQ(link.State(), CUnitTransfer::kReceiveSector);
    EXPECT_EQ(link.SentText(0), "U69\r");
    transfer.Finish();
    ExpectIdleAndClosed();
}

// "P1" taken as a cut-off sector's last data byte and its checksum: the unit
// answers a lone 'N' and listens again. That ends the sector like the filler
// would have; the write starts again and completes.
TEST_F(TransferTest, LoneAnswerWithoutTheEchoEndsTheCutOffSector)
{
    for (const std::string& answer : {std::string("N"), std::string("NG")}) {
        ClearAllNeeded(image);
        image.SetSectorNeeded(1);
        link.sent.clear();
        StartWrite(Recover(Settings()));
        transfer.Step();
        ASSERT_EQ(link.SentText(0), "P1\r");
        link.Deliver(answer);
        transfer.StepNow();
        EXPECT_EQ(link.State(), CUnitTransfer::kAwaitPgmModeAck) << "a second is allowed in full";
        now += CUnitTransfer::kRecoveryProbeMs + 1;
        transfer.Step();
        EXPECT_EQ(link.State(), CUnitTransfer::kSettleLine) << answer;
        EXPECT_EQ(link.sent.size(), 1u) << "no filler: the sector has ended";
        now += 300;
        transfer.Step();
        ASSERT_EQ(link.State(), CUnitTransfer::kEnterPgmMode) << answer;
        RunWrite(link, transfer, view, now, UnitReplies());
        EXPECT_EQ(view.Status(), "Unit write completed.") << answer;
        EXPECT_FALSE(image.IsSectorNeeded(1));
        ExpectIdleAndClosed();
    }
    // Without a cut-off sector known it is the time-out it always was.
    image.SetSectorNeeded(1);
    StartWrite(Settings());
    transfer.Step();
    link.Deliver("N");
    for (int i = 0; i < 10 && view.TimerRunning(); i++) {
        now += 1000;
        transfer.Step();
    }
    EXPECT_EQ(view.Status(), kP1Timeout);
}

// A read that completed a cut-off sector, which the unit then programmed
// with the filler: what it reads back is damaged and stays out of the image.
TEST_F(ReadTest, SectorProgrammedWithFillerKeepsTheReadOutOfTheImage)
{
    FillUnit(70000);
    StartRead(Recover(Settings()));
    transfer.Step();
    ASSERT_EQ(link.SentText(0), "U00\r");
    now += CUnitTransfer::kRecoveryProbeMs + 1;
    transfer.StepNow();
    ASSERT_EQ(link.State(), CUnitTransfer::kCompletePartialSector);
    link.Deliver("A");
    transfer.StepNow();
    now += 100;
    link.Deliver("G");
    transfer.StepNow();
    ASSERT_EQ(link.State(), CUnitTransfer::kSettleLine);
    now += 300;
    transfer.Step();
    link.sent.clear();
    RunRead();
    ASSERT_GE(link.sent.size(), 9u) << "the unit was read";
    EXPECT_FALSE(transfer.Completed());
    for (uint32_t i = 0; i < cMemoryMap::GetSectorEnd(8); i += 4096)
        ASSERT_EQ(image.GetImageBuffer()[i], 0xEE) << i;
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_NE(view.Messages()[0].find("write the unit again from the image file you keep"), std::string::npos);
    ExpectIdleAndClosed();
}

// An interrupted write's journal on a unit that answers "P1" with its echo:
// the unit is inside no sector. The journal goes; the sector it named is
// written all the same.
TEST_F(TransferTest, UnitAnsweringP1AtOnceDropsTheJournal)
{
    const CWriteJournal journal("/dev/unit");
    const pid_t gone = ::fork();
    if (gone == 0)
        _exit(0);
    ::waitpid(gone, nullptr, 0);
    std::filesystem::create_directories(CWriteJournal::Folder());
    std::ofstream(journal.Path()) << "port=/dev/unit\nunit=" << journal.Unit() << "\nsector=1\npid=" << gone
                                  << "\nprocess-start=1\nboot=x\n";
    StartWrite(Settings());
    EXPECT_EQ(transfer.InterruptedSector(), 1);
    transfer.Step();
    link.Deliver("P1\rA");
    transfer.StepNow();
    // Dropped; what is there now is this write's own, for the sector it sends.
    EXPECT_EQ(journal.Read().pid, long(::getpid()));
    EXPECT_EQ(transfer.InterruptedSector(), -1);
    RunWrite(link, transfer, view, now, UnitReplies());
    EXPECT_EQ(link.SentText(1), "R01\r") << "the sector the journal named is written";
    EXPECT_FALSE(Contains(view.StatusHistory(), "No answer to P1 - completing an interrupted sector write"));
}
