#include "FuzzEntries.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <QSettings>
#include <sys/stat.h>

#include "CQtPortDefaults.h"
#include "CStateFolder.h"
#include "CDecoderReplies.h"
#include "CUnitTransfer.h"
#include "CWriteJournal.h"
#include "CWaveFile.h"
#include "FuzzImageInput.h"
#include "FuzzInput.h"
#include "FuzzScratch.h"
#include "FuzzTransferLink.h"
#include "FuzzTransferView.h"
#include "HandOverLine.h"
#include "IOperatorReport.h"
#include "SonvoxState.h"
#include "cMemoryMap.h"
#include "levelcut.h"
#include "sonvox.h"

namespace {

// The first check that failed, with the line it was made on.
class Checks {
public:
    void Expect(bool ok, const char* what, int line)
    {
        if (!ok && m_fault.empty())
            m_fault = std::string(what) + " (line " + std::to_string(line) + ")";
    }
    bool Failed() const { return !m_fault.empty(); }
    FuzzOutcome Outcome(bool accepted) const { return FuzzOutcome{m_fault, accepted}; }

private:
    std::string m_fault;
};

#define EXPECT(cond, text) checks.Expect((cond), text, __LINE__)

class QuietReport : public IOperatorReport {
public:
    void ShowMessage(const std::string&) override { ++messages; }
    bool AskYesNo(const std::string&) override { return false; }
    int messages = 0;
};

constexpr uint32_t kImageSize = cMemoryMap::kImageSize;

// A new image as the program makes it, to compare with.
const cMemoryMap& FreshImage()
{
    static const cMemoryMap fresh;
    return fresh;
}

bool SameImage(const cMemoryMap& a, const cMemoryMap& b)
{
    if (std::memcmp(a.GetTable(), b.GetTable(), cMemoryMap::kTableSize) != 0)
        return false;
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        if (a.IsSectorNeeded(s) != b.IsSectorNeeded(s))
            return false;
    return std::memcmp(a.GetImageBuffer(), b.GetImageBuffer(), kImageSize) == 0;
}

// What the table and the image start say about each other after a load.
bool TableMatchesImage(const cMemoryMap& map)
{
    std::vector<uint8_t> expected(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kTableSize);
    for (int s = 0; s < cMemoryMap::kSlotCount; ++s)
        expected[cMemoryMap::kNameOffset + cMemoryMap::kNameSize * s + cMemoryMap::kNameSize - 1] = 0;
    return std::memcmp(expected.data(), map.GetTable(), expected.size()) == 0;
}

// Checks that hold after any operation on any table.
void CheckTableInvariants(const cMemoryMap& map, Checks& checks)
{
    for (uint8_t s = 0; s < cMemoryMap::kSlotCount; ++s)
        EXPECT(map.GetName(s) && map.GetName(s)[cMemoryMap::kNameSize - 1] == 0, "a name is not terminated");
    EXPECT(map.GetName(8) == nullptr && map.GetStart(8) == 0 && map.GetLength(9) == 0, "slot 8 or 9 reads a value");
    const uint32_t room = map.GetRoomLeft();
    const uint32_t last = map.GetLastUsedAddress();
    EXPECT(room <= kImageSize - (cMemoryMap::kAudioStart - 1), "room left larger than the audio area");
    if (last < kImageSize && last >= cMemoryMap::kAudioStart - 1)
        EXPECT(room == kImageSize - last, "room left does not match the last used address");
    if (last >= kImageSize)
        EXPECT(room == 0, "room left past the end of the image");
    EXPECT(map.GetLastUsedSector() <= cMemoryMap::kOutsideSectors, "last used sector out of range");
}

std::string Fill(const uint8_t* p, size_t n)
{
    return std::string(reinterpret_cast<const char*>(p), n);
}

// ------------------------------------------------------------ image operations

void RunImageOp(cMemoryMap& map, FuzzInput& in, Checks& checks, int& fileOps, int& saves)
{
    using namespace FuzzImageInput;
    FuzzScratch& scratch = FuzzScratch::Instance();
    QuietReport report;
    uint8_t* base = map.GetImageBuffer();
    const uint8_t op = in.U8() % kOpCount;
    const uint8_t slot = in.U8() % 10;
    switch (op) {
    case kSetStart:
        map.SetStart(slot, in.U24());
        EXPECT(slot >= 8 || map.IsSectorNeeded(0), "a table change did not mark sector 0");
        break;
    case kSetLength:
        map.SetLength(slot, in.U24());
        if (!map.HoldsAudio(slot))
            EXPECT(map.GetChecksum(slot) == 0, "a slot without audio has a checksum");
        break;
    case kSetName: {
        char name[32] = {};
        in.Bytes(reinterpret_cast<uint8_t*>(name), in.U8() % 24);
        map.SetName(slot, name);
        if (slot < 8)
            EXPECT(std::strncmp(map.GetName(slot), name, cMemoryMap::kNameSize - 1) == 0, "the name was not kept");
        break;
    }
    case kSetPlayCount: {
        const uint8_t count = in.U8();
        map.SetPlayCount(slot, count);
        EXPECT(map.GetPlayCount(slot) == (slot < 8 ? count : 0), "play count not kept");
        break;
    }
    case kUpdateChecksum: {
        map.UpdateChecksum(slot);
        uint8_t sum = 0;
        if (map.HoldsAudio(slot))
            for (uint32_t i = 0; i < map.GetLength(slot); ++i)
                sum = uint8_t(sum + base[map.GetStart(slot) + i]);
        EXPECT(map.GetChecksum(slot) == sum, "the checksum is not the sum of the slot's bytes");
        break;
    }
    case kAllocateAtEnd: {
        uint8_t* p = map.AllocateAtEnd(slot);
        const uint32_t n = in.U16() * 4u;
        if (slot >= 8) {
            EXPECT(p == nullptr, "AllocateAtEnd gave room to slot 8 or 9");
            break;
        }
        EXPECT(p != nullptr, "AllocateAtEnd gave no position");
        if (!p)
            break;
        const uint32_t at = uint32_t(p - base);
        EXPECT(p >= base && at <= kImageSize, "AllocateAtEnd points outside the image");
        EXPECT(at == map.GetStart(slot) && at >= cMemoryMap::kAudioStart, "AllocateAtEnd start is wrong");
        if (at > kImageSize)
            break;
        const uint32_t k = std::min(n, kImageSize - at);
        std::memset(p, 0x55, k);
        if (k) {
            map.SetLength(slot, k);
            EXPECT(map.HoldsAudio(slot), "audio placed by AllocateAtEnd is not held");
        }
        map.MarkSectorsNeeded(slot);
        break;
    }
    case kShiftDown: {
        const uint32_t bytes = in.U24();
        const uint32_t start = map.GetStart(slot);
        const bool moves =
            map.HoldsAudio(slot) && bytes > 0 && start >= bytes && start - bytes >= cMemoryMap::kAudioStart;
        std::string before = moves ? Fill(base + start, map.GetLength(slot)) : std::string();
        map.ShiftSlotDown(slot, bytes);
        if (moves) {
            EXPECT(map.GetStart(slot) == start - bytes, "ShiftSlotDown start is wrong");
            EXPECT(Fill(base + map.GetStart(slot), map.GetLength(slot)) == before, "ShiftSlotDown lost audio");
        }
        break;
    }
    case kClearSlot:
        map.ClearSlot(slot);
        if (slot < 8)
            EXPECT(map.GetLength(slot) == 0 && map.GetStart(slot) == cMemoryMap::kAudioStart &&
                       map.GetName(slot)[0] == 0 && map.GetPlayCount(slot) == 1,
                   "ClearSlot left the slot in use");
        break;
    case kMarkNeeded:
        map.MarkSectorsNeeded(slot);
        break;
    case kRebuildNeeded:
        map.RebuildNeededSectors();
        break;
    case kDrainNeeded: {
        int rounds = 0;
        for (; rounds <= cMemoryMap::kSectorCount; ++rounds) {
            uint8_t sector = 0;
            uint8_t* p = map.GetNextNeededSector(sector);
            if (sector == cMemoryMap::kNoSector) {
                EXPECT(p == nullptr, "no needed sector, yet a position");
                break;
            }
            EXPECT(sector < cMemoryMap::kSectorCount && map.IsSectorNeeded(sector), "a needed sector out of range");
            EXPECT(p == base + cMemoryMap::GetSectorStart(sector), "needed sector position is wrong");
            (void)map.GetSectorChecksum(sector);
            map.ClearSectorNeeded(sector);
            EXPECT(!map.IsSectorNeeded(sector), "a cleared sector is still needed");
        }
        EXPECT(rounds <= cMemoryMap::kSectorCount, "needed sectors never run out");
        break;
    }
    case kRoomLeft: {
        uint8_t follower = slot;
        const uint32_t end = map.GetStart(slot) + map.GetLength(slot);
        if (map.FindFollowingSlot(follower))
            EXPECT(follower < 8 && map.GetStart(follower) == end && map.GetLength(follower) != 0,
                   "FindFollowingSlot found a slot that does not follow");
        break;
    }
    case kExportImport: {
        const uint8_t to = in.U8() % 10;
        if (++fileOps > 4)
            break;
        const std::string wav = scratch.Path("export.wav");
        const uint32_t length = map.HoldsAudio(slot) ? map.GetLength(slot) : 0;
        const bool exported = map.ExportSlotWav(slot, wav.c_str(), report);
        EXPECT(exported == (slot < 8), "ExportSlotWav result is wrong");
        if (!exported)
            break;
        std::string bytes;
        EXPECT(scratch.ReadFile("export.wav", bytes) && bytes.size() == cMemoryMap::kWavHeaderSize + length,
               "the exported file has the wrong size");
        const uint32_t room = map.GetRoomLeft();
        const bool imported = map.ImportSlotWav(to, wav.c_str(), report);
        if (to >= 8) {
            EXPECT(!imported, "ImportSlotWav took slot 8 or 9");
            break;
        }
        EXPECT(imported == (bytes.size() < room), "an exported file does not import back");
        if (imported && length > 0 && bytes.size() == cMemoryMap::kWavHeaderSize + length) {
            EXPECT(map.GetLength(to) == length && map.HoldsAudio(to), "the imported length is wrong");
            EXPECT(map.HoldsAudio(to) && Fill(base + map.GetStart(to), length) == bytes.substr(44),
                   "the imported audio differs from the exported");
        }
        if (imported && length == 0)
            EXPECT(map.GetLength(to) == 0, "an empty export imported as audio");
        break;
    }
    case kSaveAndReload: {
        if (++saves > 1)
            break;
        const std::string path = scratch.Path("saved.txi");
        const bool saved = map.WriteImageFile(path.c_str(), report);
        EXPECT(saved, "WriteImageFile failed");
        cMemoryMap again;
        const bool loaded = saved && again.ReadImageFile(path.c_str(), report);
        EXPECT(!saved || loaded, "a saved image does not load");
        if (loaded) {
            EXPECT(std::memcmp(again.GetTable(), map.GetTable(), cMemoryMap::kTableSize) == 0,
                   "the reloaded table differs");
            EXPECT(std::memcmp(again.GetImageBuffer(), map.GetImageBuffer(), kImageSize) == 0,
                   "the reloaded image differs");
        }
        break;
    }
    case kImportBytes: {
        uint8_t bytes[256];
        const size_t n = in.Bytes(bytes, in.U8());
        if (++fileOps > 4)
            break;
        scratch.WriteFile("bytes.wav", bytes, n);
        const std::string table = Fill(map.GetTable(), cMemoryMap::kTableSize);
        std::unique_ptr<uint8_t[]> copy(new uint8_t[kImageSize]);
        std::memcpy(copy.get(), base, kImageSize);
        const bool imported = map.ImportSlotWav(slot, scratch.Path("bytes.wav").c_str(), report);
        if (!imported) {
            // Slots 8 and 9 do not exist: refused without a word.
            EXPECT(slot >= 8 || report.messages > 0, "a refused import said nothing");
            EXPECT(table == Fill(map.GetTable(), cMemoryMap::kTableSize), "a refused import changed the table");
            EXPECT(std::memcmp(copy.get(), base, kImageSize) == 0, "a refused import changed the image");
        } else {
            EXPECT(map.GetLength(slot) == 0 || map.HoldsAudio(slot), "imported audio lies outside");
            EXPECT(map.GetLength(slot) <= n, "more audio imported than the file holds");
        }
        break;
    }
    case kSilenceImport: {
        const uint32_t ms = in.U16();
        if (++fileOps > 4)
            break;
        const std::string wav = scratch.Path("silence.wav");
        EXPECT(map.WriteSilenceWav(ms, wav.c_str(), report), "WriteSilenceWav failed");
        const uint32_t room = map.GetRoomLeft();
        const bool imported = map.ImportSlotWav(slot, wav.c_str(), report);
        if (slot < 8) {
            EXPECT(imported == (44 + ms * 8 < room), "silence does not import as the room allows");
            if (imported && ms > 0) {
                EXPECT(map.GetLength(slot) == ms * 8 && map.HoldsAudio(slot), "silence imported with a wrong length");
                const uint8_t* p = base + map.GetStart(slot);
                EXPECT(map.HoldsAudio(slot) &&
                           std::all_of(p, p + map.GetLength(slot), [](uint8_t b) { return b == cMemoryMap::kSilence; }),
                       "imported silence is not silent");
            }
        }
        break;
    }
    default:
        break;
    }
    CheckTableInvariants(map, checks);
}

}  // namespace

FuzzOutcome FuzzImageOps(const uint8_t* data, size_t size)
{
    using namespace FuzzImageInput;
    Checks checks;
    FuzzInput in(data, size);
    FuzzScratch& scratch = FuzzScratch::Instance();
    const uint8_t form = in.U8() % 4;
    bool wellFormed = false;
    if (form == kRaw) {
        size_t n = 0;
        const uint8_t* p = in.Rest(n);
        scratch.WriteFile("image.txi", p, n);
        wellFormed = n == cMemoryMap::kImageFileSize && p[0] == 1 && p[1] == 0 && p[2] == 0 && p[3] == 0;
    } else {
        uint32_t version = 1;
        int delta = 0;
        if (form == kVersion)
            version = in.U32();
        if (form == kLength)
            delta = int8_t(in.U8());
        static std::vector<uint8_t> file;
        file.assign(cMemoryMap::kImageFileSize, 0xFF);
        std::memset(file.data(), 0, cMemoryMap::kImageFileHeader);
        for (int i = 0; i < 4; ++i)
            file[i] = uint8_t(version >> (8 * i));
        in.Bytes(&file[cMemoryMap::kImageFileHeader], in.U16());
        file.resize(file.size() + delta, 0xAA);
        scratch.WriteFile("image.txi", file.data(), file.size());
        wellFormed = version == 1 && delta == 0;
    }

    cMemoryMap map;
    if (!map.HasBuffer())
        return FuzzOutcome{"no image buffer", false};
    QuietReport report;
    const bool read = map.ReadImageFile(scratch.Path("image.txi").c_str(), report);
    EXPECT(read == wellFormed, read ? "a malformed image file was read" : "a well-formed image file was refused");
    if (!read) {
        EXPECT(report.messages == 1, "a refused image file did not say why");
        EXPECT(SameImage(map, FreshImage()), "a refused image file changed the image");
    } else {
        EXPECT(TableMatchesImage(map), "the table read differs from the image");
        CheckTableInvariants(map, checks);
    }

    int fileOps = 0, saves = 0;
    for (int ops = 0; ops < 48 && !in.Empty() && !checks.Failed(); ++ops)
        RunImageOp(map, in, checks, fileOps, saves);
    return checks.Outcome(read);
}

// ------------------------------------------------------------------ WAV import

FuzzOutcome FuzzWavImport(const uint8_t* data, size_t size)
{
    Checks checks;
    FuzzScratch& scratch = FuzzScratch::Instance();
    scratch.WriteFile("import.wav", data, size);

    // Three messages back to back; the import replaces the middle one.
    cMemoryMap map;
    if (!map.HasBuffer())
        return FuzzOutcome{"no image buffer", false};
    const uint32_t lengths[3] = {3000, 2000, 1000};
    for (uint8_t s = 0; s < 3; ++s) {
        uint8_t* p = map.AllocateAtEnd(s);
        std::memset(p, 0x10 + s, lengths[s]);
        map.SetLength(s, lengths[s]);
    }
    const std::string first = Fill(map.GetImageBuffer() + map.GetStart(0), lengths[0]);
    const std::string third = Fill(map.GetImageBuffer() + map.GetStart(2), lengths[2]);
    const std::string table = Fill(map.GetTable(), cMemoryMap::kTableSize);

    QuietReport report;
    const bool imported = map.ImportSlotWav(1, scratch.Path("import.wav").c_str(), report);
    const uint8_t* base = map.GetImageBuffer();
    if (!imported) {
        EXPECT(report.messages > 0, "a refused import said nothing");
        EXPECT(table == Fill(map.GetTable(), cMemoryMap::kTableSize), "a refused import changed the table");
    } else {
        EXPECT(map.GetStart(0) == cMemoryMap::kAudioStart && Fill(base + map.GetStart(0), lengths[0]) == first,
               "the import damaged the message before it");
        EXPECT(map.GetLength(2) == lengths[2] && map.HoldsAudio(2) && Fill(base + map.GetStart(2), lengths[2]) == third,
               "the import damaged the message after it");
        const uint32_t length = map.GetLength(1);
        EXPECT(length <= size, "more audio imported than the file holds");
        if (length > 0 && length <= size) {
            EXPECT(map.HoldsAudio(1), "imported audio lies outside the audio area");
            const uint8_t* audio = base + map.GetStart(1);
            EXPECT(map.HoldsAudio(1) && std::search(data, data + size, audio, audio + length) != data + size,
                   "the imported audio is not in the file");
            EXPECT(map.GetStart(1) >= map.GetStart(2) + lengths[2], "the imported audio overlaps another message");
        }
        EXPECT(map.IsSectorNeeded(0), "an import did not mark the table for writing");
    }
    CheckTableInvariants(map, checks);
    return checks.Outcome(imported);
}

// ------------------------------------------------------------ audio library WAV

FuzzOutcome FuzzSonvoxWav(const uint8_t* data, size_t size)
{
    Checks checks;
    FuzzScratch& scratch = FuzzScratch::Instance();
    scratch.WriteFile("sonvox.wav", data, size);
    const std::string path = scratch.Path("sonvox.wav");

    CWaveFile reader;
    bool opened = reader.OpenRead(path.c_str());
    uint32_t readerDuration = 0;
    if (opened) {
        EXPECT(reader.AvgBytesPerSec() != 0, "an open file has no byte rate");
        EXPECT(reader.FormatBlock().size() == 18u + reader.ExtensionSize(), "format block size is wrong");
        EXPECT(reader.FormatBlock().size() <= size, "format block larger than the file");
        const uint32_t available = reader.BytesAvailable();
        EXPECT(available <= reader.Remaining() && available <= size, "more data available than present");
        readerDuration = reader.DurationMs();
        if (reader.AvgBytesPerSec() != 0)
            EXPECT(uint64_t(readerDuration) * reader.AvgBytesPerSec() / 1000 <= size,
                   "the duration counts bytes that are not there");
        uint8_t buffer[4096];
        uint64_t total = 0;
        for (int i = 0; i < 1 + int(size / sizeof buffer) + 1; ++i) {
            const unsigned got = reader.Read(buffer, sizeof buffer);
            if (got == 0)
                break;
            total += got;
        }
        EXPECT(total <= available && reader.BytesRead() == total, "Read returned more than was present");
        reader.CloseRead();
    }

    const int valid = IsValidFile(path.c_str());
    EXPECT(valid == 0 || valid == 1, "IsValidFile result out of range");
    if (valid) {
        EXPECT(opened, "IsValidFile took a file the reader refuses");
        EXPECT(GetDuration() == readerDuration, "GetDuration differs from the reader's duration");
    }
    if (!opened)
        EXPECT(!valid, "IsValidFile took a file the reader refuses");

    State().playQueue.Clear();
    const int played = LoadPlay(path.c_str());
    const int chunks = State().playQueue.Count();
    EXPECT(played == 0 || played == 1, "LoadPlay result out of range");
    EXPECT(uint64_t(chunks) * 240 <= size + 240, "LoadPlay queued more audio than the file holds");
    if (!opened)
        EXPECT(chunks == 0, "LoadPlay queued audio from a file the reader refuses");
    PreviewCancel();
    EXPECT(State().playQueue.Count() == 0, "PreviewCancel left audio queued");

    const unsigned gap = size > 0 ? data[size - 1] * 8u : 0;
    LoadPage((path + "*" + path).c_str(), gap);
    const int pages = GetBuffCount();
    int taken = 0;
    uint8_t chunk[240];
    while (taken <= pages) {
        const int n = GetBuff(chunk);
        if (n == 0)
            break;
        EXPECT(n == 240, "a page chunk is not 240 bytes");
        ++taken;
    }
    EXPECT(taken == pages, "GetBuff gave a different number of chunks than GetBuffCount");
    PageCancel();
    EXPECT(GetBuffCount() == 0, "PageCancel left chunks queued");
    return checks.Outcome(valid == 1);
}

// --------------------------------------------------------------- unit transfer

namespace {

// The transfer of FuzzUnitTransfer. With a journal, that text takes the
// journal's place before the transfer, as a run before it (or anyone) left
// it, instead of the run starting without one.
FuzzOutcome RunTransfer(const uint8_t* data, size_t size, const std::string* journal)
{
    Checks checks;
    FuzzInput in(data, size);
    const uint8_t flags = in.U8();
    uint8_t table[192];
    std::memset(table, 0, sizeof table);
    in.Bytes(table, sizeof table);
    if (!(flags & 0x40)) {
        // Mostly small images: reading or writing all 70 sectors costs far
        // more runs than it finds. Flag 0x40 lets the table reach anywhere.
        for (int slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
            table[8 * slot + 2] &= 0x03;
            table[8 * slot + 5] &= 0x03;
        }
    }

    cMemoryMap image;
    if (!image.HasBuffer())
        return FuzzOutcome{"no image buffer", false};
    const int mode = flags % 3;  // read, write, verify
    if (mode != 0) {
        std::memcpy(image.GetImageBuffer(), table, sizeof table);
        image.LoadTableFromImage();
        image.RebuildNeededSectors();
    }
    std::unique_ptr<uint8_t[]> before(new uint8_t[kImageSize]);
    std::memcpy(before.get(), image.GetImageBuffer(), kImageSize);
    const std::string tableBefore = Fill(image.GetTable(), cMemoryMap::kTableSize);

    // Journals go to the scratch folder, and a run starts without one: a run
    // depends on its input alone.
    setenv("XDG_STATE_HOME", FuzzScratch::Instance().Path("state").c_str(), 1);
    CWriteJournal("fuzz").Clear();
    bool plantedParses = true;
    if (journal) {
        const CStateFolder folder(CStateFolder::Kind::State, {"journal"});
        const std::string name = CWriteJournal("fuzz").Path().substr(folder.Path().size());
        int error = 0;
        EXPECT(folder.Replace(name, *journal, error), "the journal could not be planted");
        plantedParses = CWriteJournal("fuzz").Read().sector >= 0;
        if (!plantedParses)
            EXPECT(!folder.IsForeign(name) && CWriteJournal("fuzz").Read().sector < 0,
                   "a journal that does not parse was kept");
        if (!plantedParses)
            folder.Replace(name, *journal, error);  // the transfer meets it too
    }
    FuzzTransferLink link(table);
    FuzzTransferView view;
    bool completed = false;
    bool outsideSector = false;
    {
        CUnitTransfer transfer(image, link, view);
        uint32_t now = 1000;
        transfer.SetTickSource([&now] { return now; });
        TransferSettings settings;
        settings.portName = "fuzz";
        settings.writeOneSectorAtATime = flags & 0x04;
        settings.disableTimeouts = flags & 0x08;
        settings.verifyAfterWrite = flags & 0x10;
        settings.baudPosition = (flags & 0x20) ? 1 : 0;
        if (mode == 0) {
            transfer.StartRead(settings);
        } else if (mode == 1) {
            transfer.StartWrite(settings);
        } else {
            std::vector<uint8_t> sectors;
            for (int n = in.U8() % 5; n > 0; --n) {
                const uint8_t v = in.U8() % 73;
                sectors.push_back(v == 72 ? 255 : v);
                outsideSector = outsideSector || sectors.back() >= cMemoryMap::kSectorCount;
            }
            transfer.StartVerify(settings, sectors);
        }
        if (outsideSector)
            EXPECT(transfer.ProtocolState() == CUnitTransfer::kIdle, "a verify of sectors past the memory started");
        else
            EXPECT(transfer.ProtocolState() != CUnitTransfer::kIdle, "the transfer did not start");

        // The input's script, then a unit that answers everything well.
        int budget = 4000;
        while (!in.Empty() && budget-- > 0 && transfer.ProtocolState() != CUnitTransfer::kIdle) {
            const uint8_t op = in.U8() % 8;
            switch (op) {
            case 0:
                transfer.Step();
                break;
            case 1:
                transfer.StepNow();
                break;
            case 2: {
                uint8_t bytes[64];
                const size_t n = in.Bytes(bytes, 1 + in.U8() % 64);
                {
                    std::lock_guard<std::mutex> lock(link.TransferMutex());
                    link.Deliver(bytes, n);
                }
                transfer.StepNow();
                break;
            }
            case 3: {
                std::lock_guard<std::mutex> lock(link.TransferMutex());
                link.DeliverGood(SIZE_MAX);
            }
                transfer.StepNow();
                break;
            case 4:
                now += in.U16() * 10u;
                break;
            case 5: {
                const size_t n = in.U16();
                std::lock_guard<std::mutex> lock(link.TransferMutex());
                link.DeliverGood(n);
                break;
            }
            case 6:
                link.SetLineGone(in.U8() & 1);
                break;
            case 7:
                if (in.U8() == 0xA5)  // the operator closes: rarely
                    transfer.Finish();
                break;
            }
        }
        link.SetLineGone(false);
        for (int rounds = 0; rounds < 3000 && transfer.ProtocolState() != CUnitTransfer::kIdle; ++rounds) {
            {
                std::lock_guard<std::mutex> lock(link.TransferMutex());
                link.DeliverGood(SIZE_MAX);
            }
            transfer.StepNow();
            transfer.Step();
            now += 100;
        }
        if (transfer.ProtocolState() != CUnitTransfer::kIdle)
            transfer.Finish();
        EXPECT(transfer.ProtocolState() == CUnitTransfer::kIdle, "the transfer does not end");
        EXPECT(!link.IsOpen(), "the port stayed open after the transfer");
        EXPECT(!view.timerRunning, "the step timer runs after the transfer");
        EXPECT(view.controlsEnabled, "the controls stay disabled after the transfer");
        EXPECT(!link.AskedWithoutDestination(), "a reply was asked for with no buffer to take it");
        completed = transfer.Completed();
    }

    const bool imageSame = std::memcmp(before.get(), image.GetImageBuffer(), kImageSize) == 0;
    if (mode == 0 && !completed) {
        EXPECT(imageSame, "an unfinished read changed the image");
        EXPECT(tableBefore == Fill(image.GetTable(), cMemoryMap::kTableSize), "an unfinished read changed the table");
    }
    if (mode == 0 && completed)
        EXPECT(TableMatchesImage(image), "after a read the table differs from the image");
    if (mode != 0)
        EXPECT(imageSame, "a write or verify changed the image");
    if (mode == 1 && completed && !(flags & 0x04)) {
        // A write that ran to its end sent every needed sector.
        uint8_t sector = 0;
        image.GetNextNeededSector(sector);
        EXPECT(sector == cMemoryMap::kNoSector, "a completed write left a sector needed");
    }
    CheckTableInvariants(image, checks);
    if (journal) {
        // What the write leaves is a journal of this unit that parses, the
        // planted one of another unit, or nothing.
        const std::string path = CWriteJournal("fuzz").Path();
        struct stat info;
        if (::lstat(path.c_str(), &info) == 0)
            EXPECT(CWriteJournal("fuzz").Read().sector >= 0, "the transfer left a journal that does not parse");
    }
    return checks.Outcome(completed);
}

}  // namespace

FuzzOutcome FuzzUnitTransfer(const uint8_t* data, size_t size)
{
    return RunTransfer(data, size, nullptr);
}

// The first two bytes give the journal's length, the journal follows, then
// the transfer's input.
FuzzOutcome FuzzJournal(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const size_t length = std::min<size_t>(in.U16(), CWriteJournal::kMaxBytes + 64);
    std::string journal(length, '\0');
    const size_t got = in.Bytes(reinterpret_cast<uint8_t*>(&journal[0]), length);
    journal.resize(got);
    const size_t used = size - in.Left();
    return RunTransfer(data + used, size - used, &journal);
}

// ------------------------------------------------------------ hand-over line

FuzzOutcome FuzzHandOverLine(const uint8_t* data, size_t size)
{
    Checks checks;
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::string file, why;
    const bool taken = HandOverLine::Parse(line, file, why);
    if (taken) {
        EXPECT(file == line, "the path taken is not the line");
        EXPECT(file.empty() || file[0] == '/', "a relative path was taken");
        EXPECT(file.size() <= HandOverLine::kMaxBytes, "a line longer than the limit was taken");
        EXPECT(file.find('\0') == std::string::npos, "a path with a NUL byte was taken");
    } else {
        EXPECT(!why.empty() && file.empty(), "a refusal without its reason");
    }
    return checks.Outcome(taken);
}

// ------------------------------------------------------------ settings values

// The input is the settings file. Ports are looked up in it, one is stored:
// whatever it holds, a port's defaults are valid or none, and storing one
// port changes no other's.
FuzzOutcome FuzzSettingsValues(const uint8_t* data, size_t size)
{
    Checks checks;
    FuzzScratch& scratch = FuzzScratch::Instance();
    // A folder of its own per run: the settings layer keeps the files it read.
    static unsigned run = 0;
    const std::string folder = scratch.Path("config") + "/" + std::to_string(++run);
    std::filesystem::create_directories(folder + "/Tarlex");
    {
        std::ofstream(folder + "/Tarlex/ORMID.conf", std::ios::binary)
            .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder));
    const char* const ports[] = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS3",    "/dev/ttyUSB0",  "1",
                                 "2",          "size",       "Port defaults", "%2Fdev%2FttyS0"};
    CQtPortDefaults defaults;
    bool any = false;
    std::vector<std::pair<bool, PortDefaults>> before;
    for (const char* port : ports) {
        PortDefaults value;
        const bool found = defaults.Load(port, value);
        if (found)
            EXPECT(CQtPortDefaults::IsValid(value), "invalid defaults were loaded");
        any = any || found;
        before.emplace_back(found, value);
    }
    PortDefaults stored;
    stored.baud = 57600;
    stored.dataBits = 7;
    stored.parity = 2;
    stored.stopBits = 2;
    stored.handshaking = 1;
    const char* const target = (size % 2) ? "3" : "/dev/ttyACM7";
    if (defaults.Store(target, stored)) {
        PortDefaults back;
        EXPECT(defaults.Load(target, back) && back.baud == stored.baud && back.dataBits == stored.dataBits &&
                   back.parity == stored.parity && back.stopBits == stored.stopBits &&
                   back.handshaking == stored.handshaking,
               "a stored port reads back otherwise");
        for (size_t i = 0; i < std::size(ports); ++i) {
            PortDefaults value;
            const bool found = defaults.Load(ports[i], value);
            EXPECT(found == before[i].first, "storing a port changed whether another has defaults");
            if (found && before[i].first)
                EXPECT(value.baud == before[i].second.baud && value.dataBits == before[i].second.dataBits &&
                           value.parity == before[i].second.parity && value.stopBits == before[i].second.stopBits &&
                           value.handshaking == before[i].second.handshaking,
                       "storing a port changed another's defaults");
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return checks.Outcome(any);
}

// -------------------------------------------------------------------- levelcut

FuzzOutcome FuzzLevelcut(const uint8_t* data, size_t size)
{
    Checks checks;
    FuzzScratch& scratch = FuzzScratch::Instance();
    scratch.WriteFile("capture.wav", data, size);
    const std::string path = scratch.Path("capture.wav");

    SetInitialTrim(LEVELCUT_DEFAULT_INITIAL_TRIM);
    SetThreshold(LEVELCUT_DEFAULT_THRESHOLD);
    SetClipAmount(LEVELCUT_DEFAULT_CLIP_AMOUNT);
    SetTimeConstant(size > 1 ? 0.99f + float(data[size - 2] % 100) / 10000.0f : LEVELCUT_DEFAULT_TIME_CONSTANT);
    SetThreshFudge(size > 0 ? float(data[size - 1] % 51) / 10.0f : LEVELCUT_DEFAULT_THRESH_FUDGE);

    // Parameters are refused only for a capture no longer than the initial trim.
    const int result = TrimFunc(path.c_str());
    EXPECT(result == LEVELCUT_OK || result == LEVELCUT_ERR_PARAMS || result == LEVELCUT_ERR_UNKNOWN_FMT ||
               result == LEVELCUT_ERR_INVALID_FMT || result == LEVELCUT_ERR_OPEN,
           "TrimFunc returned an unknown code");
    const double snr = GetSNR(), gain = GetGain(), clip = GetClip();
    std::string after;
    const bool readBack = scratch.ReadFile("capture.wav", after);
    EXPECT(readBack, "the processed file is gone");
    if (result != LEVELCUT_OK) {
        EXPECT(after == Fill(data, size), "a refused file was changed");
        EXPECT(snr == 0 && gain == 0 && clip == 0, "a refused file left results");
        return checks.Outcome(false);
    }
    CWaveFile out;
    const bool opened = out.OpenRead(path.c_str());
    EXPECT(opened, "the processed file does not open");
    if (opened) {
        EXPECT(out.FormatTag() == 7 && out.SamplesPerSec() == 8000 && out.BitsPerSample() == 8 && out.Channels() == 1,
               "the processed file is not 8 kHz mu-law mono");
        // An odd number of samples is followed by a pad byte.
        EXPECT(uint64_t(out.DataSize()) + 44 + (out.DataSize() & 1) == after.size(),
               "the processed file's data size is wrong");
        EXPECT(clip >= 0 && clip <= out.DataSize(), "more clipped samples than samples");
    }
    EXPECT(std::isfinite(snr) && std::isfinite(gain), "results are not numbers");
    EXPECT(gain <= 40.0 + 1e-6, "gain above +40 dB");
    return checks.Outcome(true);
}

// ------------------------------------------------------------- decoder replies

FuzzOutcome FuzzDecoderReplies(const uint8_t* data, size_t size)
{
    Checks checks;
    FuzzInput in(data, size);
    const CDecoderProcess::Task task = in.U8() & 1 ? CDecoderProcess::kConvert : CDecoderProcess::kProbe;
    const uint32_t asked = task == CDecoderProcess::kProbe ? 0 : in.U16();
    const size_t piece = size_t(in.U8()) + 1;
    CDecoderProcess::Result result;
    CConvertControl control;
    CDecoderReplies replies(task, asked, result, &control);
    std::vector<char> stream(in.Left());
    in.Bytes(reinterpret_cast<uint8_t*>(stream.data()), stream.size());
    bool fed = true;
    for (size_t at = 0; at < stream.size(); at += piece) {
        const bool before = fed;
        fed = replies.Feed(stream.data() + at, std::min(piece, stream.size() - at));
        EXPECT(before || !fed, "a broken stream was taken up again");
    }
    EXPECT(fed == !replies.Broken(), "Feed and Broken disagree");
    const int permille = control.permille.load();
    EXPECT(permille >= 0 && permille <= 1000, "progress out of 0-1000");
    EXPECT(result.samples.size() <= asked, "more samples than asked for");
    const bool accepted = !replies.Broken() && replies.Finished() && result.ok;
    if (accepted) {
        const CAudioFileInfo& info = result.info;
        EXPECT(result.gotInfo, "a success without a description");
        EXPECT(info.sampleRate >= 1 && info.sampleRate <= CDecoderReplies::kMaxRate, "a rate out of range");
        EXPECT(info.channels >= 1 && info.channels <= CDecoderReplies::kMaxChannels, "channels out of range");
        EXPECT(info.frames >= 0, "a negative length");
        EXPECT(result.error.empty(), "a success with a reason");
    }
    if (!result.error.empty()) {
        EXPECT(!result.ok, "a reason and a success");
        EXPECT(result.error.size() <= CDecoderReplies::kMaxErrorText, "an overlong reason");
        for (char c : result.error)
            EXPECT(c >= 0x20 && c <= 0x7E, "a reason with a control byte");
    }
    return checks.Outcome(accepted);
}

const FuzzTarget kFuzzTargets[kFuzzTargetCount] = {
    {"image_ops", FuzzImageOps},
    {"wav_import", FuzzWavImport},
    {"sonvox_wav", FuzzSonvoxWav},
    {"unit_transfer", FuzzUnitTransfer},
    {"levelcut", FuzzLevelcut},
    {"journal", FuzzJournal},
    {"handover_line", FuzzHandOverLine},
    {"settings_values", FuzzSettingsValues},
    {"decoder_replies", FuzzDecoderReplies},
};
