// Transfers through the real serial layer with ormid-unitsim on a
// pseudo-terminal at the other end. The simulator runs unpaced and the steps
// come faster than the dialog's timer; the protocol does not depend on either.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "CConsoleTransferView.h"
#include "CSerialTransferLink.h"
#include "CUnitTransfer.h"
#include "StateFolder.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "TransferLoop.h"
#include "TransferTexts.h"
#include "SimProcess.h"
#include "cMemoryMap.h"
#include "serialport.h"

namespace {

constexpr unsigned kFastStepMs = 5;

bool Contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class TransferSimTest : public ::testing::Test {
protected:
    bool StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {
            "--fast", "--erase-ms", "0", "--flash", scratch.File("flash.bin"), "--log", scratch.File("unit.log")};
        args.insert(args.end(), extra.begin(), extra.end());
        return sim.Start(args);
    }

    TransferSettings Settings(bool oneSector = false)
    {
        TransferSettings s;
        s.portName = sim.Port();
        s.writeOneSectorAtATime = oneSector;
        return s;
    }

    void Write(CUnitTransfer& transfer, CConsoleTransferView& view, bool oneSector = false)
    {
        transfer.StartWrite(Settings(oneSector));
        ASSERT_TRUE(view.TimerRunning()) << view.Status();
        RunTransferLoop(transfer, view, nullptr, kFastStepMs);
    }

    void Read(CUnitTransfer& transfer, CConsoleTransferView& view)
    {
        transfer.StartRead(Settings());
        ASSERT_TRUE(view.TimerRunning()) << view.Status();
        RunTransferLoop(transfer, view, nullptr, kFastStepMs);
    }

    // The port is closed and its worker has ended.
    void ExpectPortReleased()
    {
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.IsWorkerRunning());
    }

    std::vector<uint8_t> Flash()
    {
        sim.Stop();
        return ReadBytes(scratch.File("flash.bin"));
    }

    std::string Text()
    {
        auto bytes = ReadBytes(scratch.File("unit.log"));
        return std::string(bytes.begin(), bytes.end());
    }

    StateFolder state;  // the ports' journals
    TempFolder scratch;
    SimProcess sim;
    CSerialPort port;
    CSerialTransferLink link{port};
};

}  // namespace

TEST_F(TransferSimTest, WrittenImageReadsBackByteForByte)
{
    ASSERT_TRUE(StartSim());
    cMemoryMap image;
    // Three messages reaching into sector 8.
    FillImage(image, {20000, 70000, 9000});
    const uint8_t last = image.GetLastUsedSector();
    ASSERT_EQ(last, 8);
    {
        CConsoleTransferView view;
        CUnitTransfer transfer(image, link, view);
        Write(transfer, view);
        EXPECT_EQ(view.Status(), "Unit write completed.");
        EXPECT_TRUE(view.UnitReadDone());
        uint8_t none = 0;
        EXPECT_EQ(image.GetNextNeededSector(none), nullptr);
        ExpectPortReleased();
    }

    cMemoryMap readBack;
    memset(readBack.GetImageBuffer(), 0, cMemoryMap::kImageSize);
    {
        CConsoleTransferView view;
        CUnitTransfer transfer(readBack, link, view);
        Read(transfer, view);
        EXPECT_EQ(view.Messages(), std::vector<std::string>{"TX Data read OK"});
        EXPECT_TRUE(transfer.Completed());
        ExpectPortReleased();
    }
    const uint32_t end = cMemoryMap::GetSectorEnd(last);
    EXPECT_EQ(0, memcmp(readBack.GetImageBuffer(), image.GetImageBuffer(), end));
    EXPECT_EQ(0, memcmp(readBack.GetTable(), image.GetTable(), cMemoryMap::kTableSize));
    for (uint8_t slot = 0; slot < 8; slot++) {
        EXPECT_EQ(readBack.GetLength(slot), image.GetLength(slot));
        EXPECT_STREQ(readBack.GetName(slot), image.GetName(slot));
    }
    // Nothing past the last used sector was read.
    EXPECT_EQ(readBack.GetImageBuffer()[end], 0);
    auto flash = Flash();
    ASSERT_GE(flash.size(), size_t(end));
    EXPECT_EQ(0, memcmp(flash.data(), image.GetImageBuffer(), end));
}

TEST_F(TransferSimTest, NoNeededSectorOnlyEntersAndLeavesProgrammingMode)
{
    ASSERT_TRUE(StartSim());
    cMemoryMap image;
    FillImage(image, {5000});
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; s++)
        image.ClearSectorNeeded(s);
    CConsoleTransferView view;
    CUnitTransfer transfer(image, link, view);
    Write(transfer, view);
    EXPECT_EQ(view.Status(), "Unit write completed.");
    EXPECT_TRUE(view.UnitReadDone());
    EXPECT_TRUE(Contains(view.StatusHistory(), "Stop Program Mode OK"));
    EXPECT_EQ(view.SectorLines(), std::vector<std::string>{"No sectors."});
    ExpectPortReleased();
    sim.Stop();
    const std::string log = Text();
    EXPECT_EQ(Count(log, "<- P1\\r"), 1u) << log;
    EXPECT_EQ(Count(log, "<- P0\\r"), 1u) << log;
    EXPECT_EQ(log.find("<- R"), std::string::npos) << log;
    EXPECT_LT(log.find("<- P1\\r"), log.find("<- P0\\r"));
}

TEST_F(TransferSimTest, OneSectorAtATimeTakesOnePressPerSector)
{
    ASSERT_TRUE(StartSim());
    cMemoryMap image;
    FillImage(image, {0x20000});  // reaches into sector 9
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; s++)
        image.ClearSectorNeeded(s);
    image.SetSectorNeeded(0);
    image.SetSectorNeeded(9);

    CConsoleTransferView view;
    CUnitTransfer transfer(image, link, view);
    EXPECT_EQ(WriteSectorLines(image), (std::vector<std::string>{"SA0", "SA9", "2 sectors."}));
    Write(transfer, view, true);
    EXPECT_EQ(view.Status(), "sector 0 completed");
    EXPECT_FALSE(image.IsSectorNeeded(0));
    EXPECT_TRUE(image.IsSectorNeeded(9));
    EXPECT_EQ(view.SectorLines(), (std::vector<std::string>{"SA9", "1 sector."}));
    ExpectPortReleased();

    Write(transfer, view, true);
    EXPECT_EQ(view.Status(), "sector 9 completed");
    EXPECT_FALSE(image.IsSectorNeeded(9));
    ExpectPortReleased();

    auto flash = Flash();
    const std::string log = Text();
    // Each press enters and leaves programming mode and programs one sector.
    EXPECT_EQ(Count(log, "<- P1\\r"), 2u);
    EXPECT_EQ(Count(log, "<- P0\\r"), 2u);
    EXPECT_LT(log.find("<- R00\\r"), log.find("<- P0\\r"));
    EXPECT_LT(log.rfind("<- P1\\r"), log.find("<- R09\\r"));
    EXPECT_EQ(log.find("<- R01"), std::string::npos);
    ASSERT_EQ(flash.size(), size_t(0x400000));
    for (uint8_t s : {0, 9}) {
        const uint32_t a = cMemoryMap::GetSectorStart(s);
        EXPECT_EQ(0, memcmp(flash.data() + a, image.GetImageBuffer() + a, cMemoryMap::GetSectorEnd(s) - a)) << int(s);
    }
}

TEST_F(TransferSimTest, WriteResumesAfterAFault)
{
    // The unit answers the first programming result with 'A' instead of 'G'.
    ASSERT_TRUE(StartSim({"--fault", "wrong-ack:cmd=prog,once"}));
    cMemoryMap image;
    FillImage(image, {9000, 12000});
    const uint8_t last = image.GetLastUsedSector();
    CConsoleTransferView view;
    CUnitTransfer transfer(image, link, view);

    Write(transfer, view);
    EXPECT_EQ(view.Status(), "Got bad or illegal programming result ack. Expecting 'G', got A - sector 0");
    EXPECT_FALSE(transfer.Completed());
    EXPECT_TRUE(image.IsSectorNeeded(0));
    ExpectPortReleased();

    // The unit may still be in programming mode; the next write starts over,
    // and reads back the sector whose programming went wrong.
    Write(transfer, view);
    EXPECT_TRUE(Contains(view.StatusHistory(), "Unit write completed."));
    EXPECT_EQ(view.Status(), "Verify OK - 1 sector matches");
    ExpectPortReleased();
    auto flash = Flash();
    const uint32_t end = cMemoryMap::GetSectorEnd(last);
    ASSERT_GE(flash.size(), size_t(end));
    EXPECT_EQ(0, memcmp(flash.data(), image.GetImageBuffer(), end));
}

namespace {

// The simulator's log without its clock: what went over the line, in order.
std::string LineRecord(const std::string& log)
{
    std::string out;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find('\n', at);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(at, end - at);
        at = end + 1;
        const size_t text = line.find(" ms  ");
        if (text != std::string::npos)
            line = line.substr(text + 5);
        const size_t timing = line.find(" programmed in ");
        if (timing != std::string::npos)
            line = line.substr(0, timing);
        out += line + "\n";
    }
    return out;
}

}  // namespace

TEST_F(TransferSimTest, SteppingOnTheLineKeepsTheBytesOfTheTicks)
{
    cMemoryMap image;
    FillImage(image, {9000, 12000});  // sectors 0 to 3
    const std::string logPath = scratch.File("unit.log");
    std::string records[2][2];  // [events][write, read]
    for (int events = 0; events < 2; events++) {
        SCOPED_TRACE(events);
        ASSERT_TRUE(StartSim());
        image.RebuildNeededSectors();
        {
            CConsoleTransferView view;
            CUnitTransfer transfer(image, link, view);
            transfer.StartWrite(Settings());
            RunTransferLoop(transfer, view, nullptr, kFastStepMs, events != 0);
            EXPECT_EQ(view.Status(), "Unit write completed.");
        }
        cMemoryMap back;
        {
            CConsoleTransferView view;
            CUnitTransfer transfer(back, link, view);
            transfer.StartRead(Settings());
            RunTransferLoop(transfer, view, nullptr, kFastStepMs, events != 0);
            EXPECT_TRUE(transfer.Completed()) << view.Status();
        }
        sim.Stop();
        // The first line names the pseudo-terminal, whose number may differ
        // between the two runs; the bytes on the line follow it.
        const std::string whole = LineRecord(Text());
        const std::string record = whole.substr(whole.find('\n') + 1);
        const size_t split = record.find("<- U00\\r");
        ASSERT_NE(split, std::string::npos) << record;
        records[events][0] = record.substr(0, split);
        records[events][1] = record.substr(split);
        remove(logPath.c_str());
        remove(scratch.File("flash.bin").c_str());
    }
    EXPECT_EQ(records[0][0], records[1][0]);
    EXPECT_EQ(records[0][1], records[1][1]);
    EXPECT_NE(records[1][0].find("<- P1\\r"), std::string::npos);
}

TEST_F(TransferSimTest, VerifyAfterWriteReadsBackWhatWasProgrammed)
{
    ASSERT_TRUE(StartSim());
    cMemoryMap image;
    FillImage(image, {9000, 12000});
    CConsoleTransferView view;
    CUnitTransfer transfer(image, link, view);
    TransferSettings settings = Settings();
    settings.verifyAfterWrite = true;
    transfer.StartWrite(settings);
    RunTransferLoop(transfer, view, nullptr, kFastStepMs);
    EXPECT_TRUE(transfer.Completed()) << view.Status();
    EXPECT_TRUE(transfer.Verified());
    EXPECT_TRUE(transfer.DifferingSectors().empty());
    EXPECT_EQ(view.Status(), "Verify OK - 4 sectors match");
    EXPECT_TRUE(Contains(view.StatusHistory(), "Unit write completed."));
    ExpectPortReleased();
    // The progress says what it counts: the write, then the read-back.
    bool writing = false, verifying = false;
    for (const std::string& text : view.ProgressTexts()) {
        EXPECT_TRUE(text.rfind(verifying ? "Verifying - " : "Writing - ", 0) == 0 ||
                    (!verifying && text.rfind("Verifying - ", 0) == 0))
            << text;
        writing |= text.rfind("Writing - ", 0) == 0;
        verifying |= text.rfind("Verifying - ", 0) == 0;
    }
    // An unpaced unit may hand a whole sector over between two steps, so the
    // read-back need not show a percentage here; what it shows says Verifying.
    EXPECT_TRUE(writing);
    (void)verifying;

    // The image changed after the write: the verify names the sector.
    image.GetImageBuffer()[cMemoryMap::GetSectorStart(2) + 10] ^= 0x80;
    transfer.StartVerify(Settings());
    RunTransferLoop(transfer, view, nullptr, kFastStepMs);
    EXPECT_TRUE(transfer.Completed());
    EXPECT_EQ(transfer.DifferingSectors(), std::vector<uint8_t>{2});
    EXPECT_EQ(view.Status(), "Verify failed - sector differs: 2");
    sim.Stop();
    EXPECT_EQ(Count(Text(), "<- U"), 8u);  // four to verify the write, four again
}

namespace {

const char kLineRecord[] =
#include "TransferLineRecord.inc"
    ;

// FNV-1a, enough to tell two flash files apart in a record.
std::string Digest(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    char text[32];
    snprintf(text, sizeof text, "flash %016llx\n", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace

// What the unit hears and says in a write, a read, a verify and a write that
// first completes a sector cut off by an earlier one (and reads back what it
// wrote) is what a known-good build made it hear and say: the simulator's log
// without its clock, and the flash it ends with. ORMID_LINE_RECORD_OUT names a
// file that receives this run's record.
TEST_F(TransferSimTest, LineBytesOfEveryProtocolMatchTheRecord)
{
    // Every sector write stays open until it is whole, as on some units.
    ASSERT_TRUE(StartSim({"--fault", "hold-rx:always"}));
    cMemoryMap image;
    FillImage(image, {9000, 12000});  // sectors 0 to 3
    CConsoleTransferView view;
    CUnitTransfer transfer(image, link, view);
    Write(transfer, view);
    ASSERT_EQ(view.Status(), "Unit write completed.");

    cMemoryMap back;
    {
        CConsoleTransferView readView;
        CUnitTransfer read(back, link, readView);
        Read(read, readView);
        ASSERT_TRUE(read.Completed()) << readView.Status();
    }

    image.GetImageBuffer()[cMemoryMap::GetSectorStart(2) + 10] ^= 0x80;
    transfer.StartVerify(Settings());
    RunTransferLoop(transfer, view, nullptr, kFastStepMs);
    ASSERT_EQ(view.Status(), "Verify failed - sector differs: 2");
    image.GetImageBuffer()[cMemoryMap::GetSectorStart(2) + 10] ^= 0x80;

    // A write that stops once the unit has taken "R00": the unit waits for
    // the sector's bytes and takes the next "P1" as some of them.
    image.RebuildNeededSectors();
    transfer.StartWrite(Settings());
    for (int i = 0; i < 2000 && transfer.ProtocolState() != CUnitTransfer::kSendSectorData; i++) {
        transfer.Step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(transfer.ProtocolState(), CUnitTransfer::kSendSectorData) << view.Status();
    transfer.Finish();

    TransferSettings settings = Settings();
    settings.verifyAfterWrite = true;
    transfer.StartWrite(settings);
    RunTransferLoop(transfer, view, nullptr, kFastStepMs);
    ASSERT_TRUE(Contains(view.StatusHistory(), "No answer to P1 - completing an interrupted sector write"));
    ASSERT_EQ(view.Status(), "Verify OK - 4 sectors match");

    sim.Stop();
    const std::string whole = LineRecord(Text());
    // The first line names the pseudo-terminal.
    const std::string record = whole.substr(whole.find('\n') + 1) + Digest(ReadBytes(scratch.File("flash.bin")));
    if (const char* out = getenv("ORMID_LINE_RECORD_OUT"))
        std::ofstream(out, std::ios::binary) << record;
    EXPECT_EQ(record, kLineRecord);
}
