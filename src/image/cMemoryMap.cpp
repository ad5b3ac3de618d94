#include "cMemoryMap.h"

#include "CAtomicFile.h"
#include "CRiffWalker.h"
#include "LittleEndian.h"
#include "SafeFile.h"
#include "WavHeader.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const cMemoryMap::kAllocationFailedText = "Unable to allocate enough memory.\n Progam will exit!";

namespace {

uint32_t Get24(const uint8_t* p)
{
    return GetLE24(p);
}
void Put24(uint8_t* p, uint32_t v)
{
    PutLE24(p, v);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    // Sized to the text: paths may be long.
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int n = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

// Reads until n bytes arrived, the file ended or an error occurred; returns the
// bytes that arrived (errno tells an error from the end of the file).
size_t ReadFully(int fd, void* buffer, size_t n)
{
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    errno = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, p + done, n - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += size_t(got);
    }
    return done;
}

const char* const kPartialImportText = "Unable to import entire message.\nPlease preview before continuing.";

}  // namespace

cMemoryMap::cMemoryMap() : m_image(new (std::nothrow) uint8_t[kImageSize])
{
    // Erased flash reads 0xFF, which is also mu-law silence.
    if (m_image)
        std::memset(m_image.get(), 0xFF, kImageSize);
    std::memset(m_table, 0, sizeof m_table);
    for (uint8_t s = 0; s < kSlotCount; ++s)
        SetEmpty(s);
    std::fill(std::begin(m_needed), std::end(m_needed), false);
}

cMemoryMap::cMemoryMap(std::shared_ptr<const uint8_t[]> image) : m_shared(std::move(image))
{
    std::memset(m_table, 0, sizeof m_table);
    for (uint8_t s = 0; s < kSlotCount; ++s)
        SetEmpty(s);
    LoadTableFromImage();
    std::fill(std::begin(m_needed), std::end(m_needed), false);
}

cMemoryMap::~cMemoryMap() = default;

std::shared_ptr<const uint8_t[]> cMemoryMap::ShareImage() const
{
    if (!m_image)
        return m_shared;
    std::shared_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[kImageSize]);
    if (copy)
        std::memcpy(copy.get(), m_image.get(), kImageSize);
    return copy;
}

uint8_t* cMemoryMap::Writable()
{
    // Bytes shared with other maps are never changed: this map takes a copy.
    if (!m_image && m_shared) {
        m_image.reset(new (std::nothrow) uint8_t[kImageSize]);
        if (m_image) {
            std::memcpy(m_image.get(), m_shared.get(), kImageSize);
            m_shared.reset();
        }
    }
    return m_image.get();
}

void cMemoryMap::SetEmpty(uint8_t slot)
{
    uint8_t* e = Entry(slot);
    Put24(e, kAudioStart);
    Put24(e + 3, 0);
    e[6] = 1;
    e[7] = 0;
    std::memset(m_table + kNameOffset + kNameSize * slot, 0, kNameSize);
}

uint32_t cMemoryMap::GetStart(uint8_t slot) const
{
    return slot < kSlotCount ? Get24(Entry(slot)) : 0;
}

void cMemoryMap::SetStart(uint8_t slot, uint32_t address)
{
    if (slot >= kSlotCount)
        return;
    Put24(Entry(slot), address);
    m_needed[0] = true;
}

uint32_t cMemoryMap::GetLength(uint8_t slot) const
{
    return slot < kSlotCount ? Get24(Entry(slot) + 3) : 0;
}

void cMemoryMap::SetLength(uint8_t slot, uint32_t length)
{
    if (slot >= kSlotCount)
        return;
    Put24(Entry(slot) + 3, length);
    m_needed[0] = true;
    UpdateChecksum(slot);
}

bool cMemoryMap::HoldsAudio(uint8_t slot) const
{
    if (slot >= kSlotCount)
        return false;
    const uint32_t start = GetStart(slot), length = GetLength(slot);
    // Both are 24-bit, so the sum cannot wrap.
    return length != 0 && start >= kAudioStart && start + length <= kImageSize;
}

void cMemoryMap::UpdateChecksum(uint8_t slot)
{
    if (slot >= kSlotCount)
        return;
    uint8_t sum = 0;
    if (HoldsAudio(slot) && Bytes()) {
        const uint8_t* p = Bytes() + GetStart(slot);
        for (uint32_t i = 0, n = GetLength(slot); i < n; ++i)
            sum = uint8_t(sum + p[i]);
    }
    Entry(slot)[7] = sum;
    m_needed[0] = true;
}

uint8_t cMemoryMap::GetChecksum(uint8_t slot) const
{
    return slot < kSlotCount ? Entry(slot)[7] : 0;
}

const char* cMemoryMap::GetName(uint8_t slot) const
{
    if (slot >= kSlotCount)
        return nullptr;
    return reinterpret_cast<const char*>(m_table + kNameOffset + kNameSize * slot);
}

void cMemoryMap::SetName(uint8_t slot, const char* text)
{
    if (slot >= kSlotCount)
        return;
    uint8_t* name = m_table + kNameOffset + kNameSize * slot;
    std::memset(name, 0, kNameSize);
    if (text) {
        const size_t n = strnlen(text, kNameSize);
        std::memcpy(name, text, n);
    }
    name[kNameSize - 1] = 0;
    m_needed[0] = true;
}

uint8_t cMemoryMap::GetPlayCount(uint8_t slot) const
{
    return slot < kSlotCount ? Entry(slot)[6] : 0;
}

void cMemoryMap::SetPlayCount(uint8_t slot, uint8_t count)
{
    if (slot >= kSlotCount)
        return;
    Entry(slot)[6] = count;
    m_needed[0] = true;
}

uint32_t cMemoryMap::GetLastUsedAddress() const
{
    uint32_t result = 0;
    for (uint8_t s = 0; s < kSlotCount; ++s) {
        const uint32_t e = GetStart(s) + GetLength(s) - 1;  // wraps for start 0, length 0
        if (e >= result)
            result = e;
    }
    return result;
}

uint8_t cMemoryMap::GetLastUsedSector() const
{
    const uint32_t last = GetLastUsedAddress();
    if (last >= kImageSize)
        return kOutsideSectors;
    return SectorOf(last, 0);
}

uint32_t cMemoryMap::GetRoomLeft() const
{
    const uint32_t last = std::max(GetLastUsedAddress(), kAudioStart - 1);
    return last >= kImageSize ? 0 : kImageSize - last;
}

bool cMemoryMap::FindFollowingSlot(uint8_t& slot) const
{
    if (slot >= kSlotCount)
        return false;
    const uint32_t target = GetStart(slot) + GetLength(slot);
    for (uint8_t s = 0; s < kSlotCount; ++s) {
        if (GetLength(s) != 0 && GetStart(s) == target) {
            slot = s;
            return true;
        }
    }
    return false;
}

uint8_t* cMemoryMap::AllocateAtEnd(uint8_t slot)
{
    if (slot >= kSlotCount || !Writable())
        return nullptr;
    // Never below the audio area, and never past the image (a table whose
    // last address lies outside leaves the slot at the very end, with no room).
    uint32_t at = std::max(GetLastUsedAddress(), kAudioStart - 1) + 1;
    if (at == 0 || at > kImageSize)
        at = kImageSize;
    SetStart(slot, at);
    return Writable() + at;
}

void cMemoryMap::ShiftSlotDown(uint8_t slot, uint32_t bytes)
{
    if (slot >= kSlotCount || bytes == 0)
        return;
    const uint32_t start = GetStart(slot);
    const bool movable = start >= bytes && start - bytes >= kAudioStart;
    // Audio that cannot move stays where it is, and so does its entry: it
    // must never point at bytes that are not its own.
    if (HoldsAudio(slot) && !movable)
        return;
    if (HoldsAudio(slot) && Writable())
        std::memmove(Writable() + start - bytes, Writable() + start, GetLength(slot));
    SetStart(slot, start - bytes);
    MarkSectorsNeeded(slot);
}

uint8_t cMemoryMap::FollowersToMove(uint8_t slot, uint8_t order[kSlotCount]) const
{
    // Only audio that the slot holds leaves a gap to close: a hostile entry
    // outside the audio area (or one that runs past it) moves nobody.
    if (!HoldsAudio(slot))
        return 0;
    uint32_t start[kSlotCount], length[kSlotCount];
    for (uint8_t s = 0; s < kSlotCount; ++s) {
        start[s] = GetStart(s);
        length[s] = GetLength(s);
    }
    const uint32_t n = length[slot];
    uint8_t count = 0;
    uint32_t target = start[slot] + n;
    // Each follower starts past the previous one's end, so the walk ends.
    for (;;) {
        uint8_t follower = kSlotCount;
        for (uint8_t s = 0; s < kSlotCount; ++s) {
            if (length[s] != 0 && start[s] == target) {
                follower = s;
                break;
            }
        }
        if (follower == kSlotCount || follower == slot || !HoldsAudio(follower))
            break;
        // A follower moves only onto bytes that were the deleted slot's or
        // its own: never over another slot's audio.
        const uint32_t to = start[follower] - n, end = to + length[follower];
        bool clear = to >= kAudioStart;
        for (uint8_t s = 0; s < kSlotCount && clear; ++s)
            if (s != slot && s != follower && length[s] != 0 && start[s] < end && to < start[s] + length[s])
                clear = false;
        if (!clear)
            break;
        target = start[follower] + length[follower];
        start[follower] = to;
        order[count++] = follower;
    }
    return count;
}

void cMemoryMap::ClearSlot(uint8_t slot)
{
    if (slot >= kSlotCount)
        return;
    uint8_t order[kSlotCount];
    const uint8_t count = FollowersToMove(slot, order);
    const uint32_t n = GetLength(slot);
    for (uint8_t i = 0; i < count; ++i)
        ShiftSlotDown(order[i], n);
    SetStart(slot, kAudioStart);
    SetLength(slot, 0);
    SetPlayCount(slot, 1);
    SetName(slot, "");
}

uint8_t cMemoryMap::SectorOf(uint32_t address, uint8_t first)
{
    for (uint8_t s = first; s < kSectorCount; ++s)
        if (GetSectorStart(s) <= address && address < GetSectorEnd(s))
            return s;
    return kOutsideSectors;
}

void cMemoryMap::MarkSectorsNeeded(uint8_t slot)
{
    if (slot >= kSlotCount)
        return;
    uint32_t a = GetStart(slot);
    uint32_t b = a + GetLength(slot) - 1;
    if (b < a)
        b = a;
    m_needed[0] = true;
    // Only the part of the range inside the audio area has sectors to mark.
    if (b < kAudioStart || a >= kImageSize)
        return;
    a = std::max(a, kAudioStart);
    b = std::min(b, kImageSize - 1);
    const uint8_t s1 = SectorOf(a, 1);
    const uint8_t s2 = SectorOf(b, s1);
    for (uint8_t s = s1; s <= s2 && s < kSectorCount; ++s)
        m_needed[s] = true;
}

void cMemoryMap::RebuildNeededSectors()
{
    std::fill(std::begin(m_needed), std::end(m_needed), false);
    for (uint8_t s = 0; s < kSlotCount; ++s)
        MarkSectorsNeeded(s);
}

uint8_t* cMemoryMap::GetNextNeededSector(uint8_t& sector)
{
    for (uint8_t s = 0; s < kSectorCount; ++s) {
        if (m_needed[s]) {
            sector = s;
            return Writable() ? Writable() + GetSectorStart(s) : nullptr;
        }
    }
    sector = kNoSector;
    return nullptr;
}

bool cMemoryMap::IsSectorNeeded(uint8_t sector) const
{
    return sector < kSectorCount && m_needed[sector];
}

void cMemoryMap::ClearSectorNeeded(uint8_t sector)
{
    if (sector < kSectorCount)
        m_needed[sector] = false;
}

void cMemoryMap::SetSectorNeeded(uint8_t sector)
{
    if (sector < kSectorCount)
        m_needed[sector] = true;
}

uint32_t cMemoryMap::GetSectorStart(uint8_t sector)
{
    // Eight 8 KB sectors, then 64 KB sectors; the list ends at 0x400000.
    if (sector < 8)
        return uint32_t(sector) * 0x2000;
    if (sector <= 71)
        return uint32_t(sector - 7) * 0x10000;
    return 0x400000;
}

uint32_t cMemoryMap::GetSectorEnd(uint8_t sector)
{
    return sector >= 70 ? 0x400000 : GetSectorStart(uint8_t(sector + 1));
}

uint16_t cMemoryMap::GetSectorChecksum(uint8_t sector) const
{
    if (sector >= kSectorCount || !Bytes())
        return 0;
    uint16_t sum = 0;
    const uint8_t* p = Bytes();
    for (uint32_t a = GetSectorStart(sector), end = GetSectorEnd(sector); a < end; ++a)
        sum = uint16_t(sum + p[a]);
    return sum;
}

void cMemoryMap::StoreTableInImage()
{
    // A table that is already there changes nothing (and keeps shared bytes shared).
    if (Bytes() && std::memcmp(Bytes(), m_table, kTableSize) != 0 && Writable())
        std::memcpy(Writable(), m_table, kTableSize);
}

void cMemoryMap::LoadTableFromImage()
{
    if (!Bytes())
        return;
    std::memcpy(m_table, Bytes(), kTableSize);
    // A name must stay a C string whatever the image held.
    for (uint8_t s = 0; s < kSlotCount; ++s)
        m_table[kNameOffset + kNameSize * s + kNameSize - 1] = 0;
}

// ---------------------------------------------------------------- image files

bool cMemoryMap::ReadImageFile(const char* path, IOperatorReport& report)
{
    // Never blocks on a FIFO or device named as an image file.
    int openError = 0;
    const int fd = OpenRegularFileForReading(path, openError);
    if (fd < 0) {
        report.ShowFileError("Could not open file for reading.", path ? path : "", openError);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || uint64_t(info.st_size) != kImageFileSize) {
        report.ShowMessage("Could not read file. Length is incorrect.");
        ::close(fd);
        return false;
    }
    uint8_t header[kImageFileHeader];
    if (ReadFully(fd, header, sizeof header) < sizeof header) {
        ::close(fd);
        return false;
    }
    if (GetLE32(header) != 1) {
        report.ShowMessage("Could not read file. Version information is incorrect.");
        ::close(fd);
        return false;
    }
    // Read into a scratch buffer first: a load that fails changes nothing.
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[kImageSize]);
    if (!scratch || !Writable()) {
        report.ShowMessage(SystemErrorText(ENOMEM));
        ::close(fd);
        return false;
    }
    const size_t got = ReadFully(fd, scratch.get(), kImageSize);
    const int error = errno;
    ::close(fd);
    if (got < kImageSize) {
        if (error)
            report.ShowFileError("Could not read file.", path, error);
        else
            report.ShowMessage("Could not read file.  Length was insufficient.");
        return false;
    }
    std::memcpy(Writable(), scratch.get(), kImageSize);
    LoadTableFromImage();
    RebuildNeededSectors();
    return true;
}

bool cMemoryMap::WriteImageFile(const char* path, IOperatorReport& report)
{
    // The old file stays until the new one is complete (see CAtomicFile).
    CAtomicFile file;
    if (!Bytes() || !file.Open(path, kImageFileSize)) {
        report.ShowFileError("Could not open file for writing.", path ? path : "", Bytes() ? file.Error() : ENOMEM);
        return false;
    }
    StoreTableInImage();
    uint8_t header[kImageFileHeader] = {};
    PutLE32(header, 1);
    if (!file.Write(header, sizeof header) || !file.Write(Bytes(), kImageSize) || !file.Commit()) {
        const int error = file.Error();
        file.Abort();
        report.ShowFileError("", path, error);
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ WAV files

void cMemoryMap::BuildWavHeader(uint32_t dataLength, uint8_t out[44])
{
    ::BuildWavHeader(out, kUnitWavFormat, dataLength, WavPad::kNone);
}

namespace {

// Writers of the unit's WAV files replace the target only once the new file
// is complete, so a failed export leaves an existing file as it was.
bool OpenWavForWriting(CAtomicFile& file, const char* path, uint64_t dataLength, IOperatorReport& report)
{
    if (!file.Open(path, cMemoryMap::kWavHeaderSize + dataLength)) {
        report.ShowFileError(Format("Failed to open file %s", path ? path : ""), path ? path : "", file.Error());
        return false;
    }
    return true;
}

bool FinishWav(CAtomicFile& file, const char* path, bool ok, IOperatorReport& report)
{
    ok = ok && file.Commit();
    if (!ok) {
        const int error = file.Error();
        file.Abort();
        report.ShowFileError("", path, error);
    }
    return ok;
}

}  // namespace

bool cMemoryMap::ExportSlotWav(uint8_t slot, const char* path, IOperatorReport& report)
{
    if (slot >= kSlotCount || !Bytes())
        return false;
    // A slot whose range leaves the audio area holds no audio.
    const uint32_t length = HoldsAudio(slot) ? GetLength(slot) : 0;
    CAtomicFile file;
    if (!OpenWavForWriting(file, path, length, report))
        return false;
    uint8_t header[kWavHeaderSize];
    BuildWavHeader(length, header);
    const bool ok = file.Write(header, sizeof header) && file.Write(Bytes() + GetStart(slot), length);
    return FinishWav(file, path, ok, report);
}

bool cMemoryMap::WriteSilenceWav(uint32_t ms, const char* path, IOperatorReport& report)
{
    const uint64_t length = uint64_t(ms) * 8;
    if (length > 0xFFFFFFFFu - 36) {
        report.ShowFileError("", path ? path : "", EFBIG);
        return false;
    }
    CAtomicFile file;
    if (!OpenWavForWriting(file, path, length, report))
        return false;
    uint8_t header[kWavHeaderSize];
    BuildWavHeader(uint32_t(length), header);
    bool ok = file.Write(header, sizeof header);
    uint8_t block[8000];
    std::memset(block, kSilence, sizeof block);
    for (uint64_t left = length; ok && left > 0;) {
        const size_t n = size_t(std::min<uint64_t>(left, sizeof block));
        ok = file.Write(block, n);
        left -= n;
    }
    return FinishWav(file, path, ok, report);
}

bool cMemoryMap::ReadUnitWav(const char* path, uint32_t roomLeft, std::vector<uint8_t>& samples,
                             IOperatorReport& report)
{
    samples.clear();
    std::vector<std::string> lines;
    bool headerTrouble = false, lengthTrouble = false, dataFound = false, result = false;

    int openError = 0;
    const int fd = OpenRegularFileForReading(path, openError);
    if (fd < 0) {
        // The system's reason follows on a line of its own.
        report.ShowFileError(std::string("Trouble with ") + (path ? path : "") + "\nCould not open file",
                             path ? path : "", openError);
        return false;
    } else {
        struct stat info;
        const uint64_t fileLength = ::fstat(fd, &info) == 0 ? uint64_t(info.st_size) : 0;
        const CRiffWalker walker(fd, fileLength);
        // Moves past a chunk that is not wanted; one whose data would run
        // past the end of the file stops the walk.
        auto skipChunk = [&](const CRiffWalker::Chunk& chunk, uint64_t& position) {
            if (!walker.Next(chunk, fileLength, position)) {
                lines.push_back(Format("Couldn't read %u byte chunk\n", unsigned(chunk.size)));
                headerTrouble = true;
            }
        };

        uint64_t position = 12;
        uint32_t riffSize = 0;
        if (fileLength < position) {
            lengthTrouble = true;
        } else if (!walker.IsWave(riffSize)) {
            lines.push_back("File is not a .WAV type\n");
            headerTrouble = true;
        } else if (fileLength != uint64_t(riffSize) + 8) {
            lengthTrouble = true;
        }

        CRiffWalker::Chunk data;
        while (!headerTrouble && !lengthTrouble) {
            CRiffWalker::Chunk chunk;
            if (!walker.ReadChunk(position, chunk)) {
                lengthTrouble = true;
                break;
            }
            if (std::memcmp(chunk.id, "fmt", 3) != 0) {
                skipChunk(chunk, position);
                continue;
            }
            // The format block, then the search for the data chunk.
            if (chunk.size != 16 && chunk.size != 18) {
                lines.push_back("Format data <> 16 bytes!\n");
                headerTrouble = true;
                break;
            }
            uint8_t format[18];
            if (!walker.ReadAt(chunk.dataPos, format, chunk.size)) {
                lengthTrouble = true;
                break;
            }
            position = chunk.dataPos + chunk.size;
            const uint16_t tag = GetLE16(format), channels = GetLE16(format + 2);
            const uint32_t rate = GetLE32(format + 4), bytesPerSec = GetLE32(format + 8);
            const uint16_t blockAlign = GetLE16(format + 12), bits = GetLE16(format + 14);
            if (tag != 7 || channels != 1 || rate != 8000 || bytesPerSec != rate || blockAlign != 1 || bits != 8) {
                lines.push_back("WAVE format is not g.711 mono, 8kHz.\n");
                lines.push_back(Format("Found format = %u, channels = %u, rate = %u\n", unsigned(tag),
                                       unsigned(channels), unsigned(rate)));
                headerTrouble = true;
                break;
            }
            while (!dataFound && !headerTrouble && !lengthTrouble) {
                if (!walker.ReadChunk(position, chunk)) {
                    lengthTrouble = true;
                    break;
                }
                if (std::memcmp(chunk.id, "data", 4) != 0) {
                    skipChunk(chunk, position);
                    continue;
                }
                dataFound = true;
                const uint64_t left = fileLength - chunk.dataPos;
                if (chunk.size > left) {
                    lines.push_back(
                        Format("Reported length of data chunk (%u) was\ngreater than remaining file length (%llu)\n",
                               unsigned(chunk.size), static_cast<unsigned long long>(left)));
                    lengthTrouble = true;
                } else if (fileLength >= roomLeft) {
                    lines.push_back("Cannot import - no space left!\n");
                    lengthTrouble = true;
                } else {
                    data = chunk;
                }
            }
            break;
        }

        if (dataFound && !headerTrouble && !lengthTrouble) {
            // The space test keeps the samples inside the image.
            samples.resize(data.size);
            if (::lseek(fd, off_t(data.dataPos), SEEK_SET) == off_t(-1))
                samples.clear();
            const size_t got = samples.empty() ? 0 : ReadFully(fd, samples.data(), data.size);
            if (got < data.size) {
                report.ShowMessage(kPartialImportText);
                samples.resize(got);
            }
            result = true;
        }
        ::close(fd);
    }

    if (headerTrouble)
        lines.push_back("Trouble with file header\n");
    if (lengthTrouble)
        lines.push_back("Trouble with file length\n");
    if (result)
        return true;
    std::string text = std::string("Trouble with ") + (path ? path : "") + "\n";
    for (const std::string& line : lines)
        text += line;
    report.ShowMessage(text);
    return false;
}

void cMemoryMap::PlaceAudio(uint8_t slot, const std::vector<uint8_t>& data, IOperatorReport& report)
{
    ClearSlot(slot);
    uint8_t* to = AllocateAtEnd(slot);
    // Only a table that lied about its end leaves less room than the check
    // counted; nothing is ever written past the image.
    const uint32_t fits = kImageSize - std::min(GetStart(slot), kImageSize);
    const uint32_t n = uint32_t(std::min<size_t>(data.size(), fits));
    if (n < data.size())
        report.ShowMessage(kPartialImportText);
    if (n > 0) {
        std::memcpy(to, data.data(), n);
        SetLength(slot, n);
    }
    MarkSectorsNeeded(slot);
}

bool cMemoryMap::ImportSlotWav(uint8_t slot, const char* path, IOperatorReport& report)
{
    if (slot >= kSlotCount || !Writable())
        return false;
    std::vector<uint8_t> data;
    if (!ReadUnitWav(path, GetRoomLeft(), data, report))  // room before anything is removed
        return false;
    PlaceAudio(slot, data, report);
    return true;
}

bool cMemoryMap::ReplaceSlotWav(uint8_t slot, const char* path, IOperatorReport& report)
{
    if (slot >= kSlotCount || !Writable())
        return false;
    std::vector<uint8_t> data;
    if (!ReadUnitWav(path, GetRoomLeftWithout(slot), data, report))
        return false;
    char name[kNameSize];
    std::memcpy(name, GetName(slot), kNameSize);
    const uint8_t count = GetPlayCount(slot);
    PlaceAudio(slot, data, report);
    SetName(slot, name);
    SetPlayCount(slot, count);
    return true;
}

uint32_t cMemoryMap::GetRoomLeftWithout(uint8_t slot) const
{
    if (slot >= kSlotCount)
        return GetRoomLeft();
    // ClearSlot's walk over the table alone: the same followers move down
    // by the same amount, the slot itself becomes empty.
    uint32_t start[kSlotCount], length[kSlotCount];
    for (uint8_t s = 0; s < kSlotCount; ++s) {
        start[s] = GetStart(s);
        length[s] = GetLength(s);
    }
    uint8_t order[kSlotCount];
    const uint8_t count = FollowersToMove(slot, order);
    for (uint8_t i = 0; i < count; ++i)
        start[order[i]] -= length[slot];
    start[slot] = kAudioStart;
    length[slot] = 0;
    uint32_t last = 0;
    for (uint8_t s = 0; s < kSlotCount; ++s) {
        const uint32_t e = start[s] + length[s] - 1;
        if (e >= last)
            last = e;
    }
    last = std::max(last, kAudioStart - 1);
    return last >= kImageSize ? 0 : kImageSize - last;
}
