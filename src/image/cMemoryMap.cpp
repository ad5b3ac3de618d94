#include "cMemoryMap.h"

#include "CAtomicFile.h"
#include "SafeFile.h"

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
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

void Put24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint16_t Get16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

void Put32(uint8_t* p, uint32_t v)
{
    Put24(p, v);
    p[3] = uint8_t(v >> 24);
}

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
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

// The platform's own text for the last error.
std::string ErrorText(int error)
{
    return SystemErrorText(error);
}

const char* const kPartialImportText = "Unable to import entire message.\nPlease preview before continuing.";

}  // namespace

cMemoryMap::cMemoryMap()
    : m_image(new (std::nothrow) uint8_t[kImageSize])
{
    // Erased flash reads 0xFF, which is also mu-law silence.
    if (m_image)
        std::memset(m_image.get(), 0xFF, kImageSize);
    std::memset(m_table, 0, sizeof m_table);
    for (uint8_t s = 0; s < kSlotCount; ++s)
        SetEmpty(s);
    std::fill(std::begin(m_needed), std::end(m_needed), false);
}

cMemoryMap::~cMemoryMap() = default;

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
    if (HoldsAudio(slot) && m_image) {
        const uint8_t* p = m_image.get() + GetStart(slot);
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
        const uint32_t e = GetStart(s) + GetLength(s) - 1;   // wraps for start 0, length 0
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
    if (slot >= kSlotCount || !m_image)
        return nullptr;
    // Never below the audio area, and never past the image (a table whose
    // last address lies outside leaves the slot at the very end, with no room).
    uint32_t at = std::max(GetLastUsedAddress(), kAudioStart - 1) + 1;
    if (at == 0 || at > kImageSize)
        at = kImageSize;
    SetStart(slot, at);
    return m_image.get() + at;
}

void cMemoryMap::ShiftSlotDown(uint8_t slot, uint32_t bytes)
{
    if (slot >= kSlotCount || bytes == 0)
        return;
    const uint32_t start = GetStart(slot);
    if (start >= bytes && start - bytes >= kAudioStart && HoldsAudio(slot) && m_image)
        std::memmove(m_image.get() + start - bytes, m_image.get() + start, GetLength(slot));
    SetStart(slot, start - bytes);
    MarkSectorsNeeded(slot);
}

void cMemoryMap::ClearSlot(uint8_t slot)
{
    if (slot >= kSlotCount)
        return;
    const uint32_t n = GetLength(slot);
    uint32_t p = GetStart(slot), q = n;
    // Each follower starts past the previous one's end, so the walk ends.
    for (;;) {
        const uint32_t target = p + q;
        uint8_t follower = kSlotCount;
        for (uint8_t s = 0; s < kSlotCount; ++s) {
            if (GetLength(s) != 0 && GetStart(s) == target) {
                follower = s;
                break;
            }
        }
        if (follower == kSlotCount || follower == slot)
            break;
        p = GetStart(follower);
        q = GetLength(follower);
        ShiftSlotDown(follower, n);
    }
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
            return m_image ? m_image.get() + GetSectorStart(s) : nullptr;
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
    if (sector >= kSectorCount || !m_image)
        return 0;
    uint16_t sum = 0;
    const uint8_t* p = m_image.get();
    for (uint32_t a = GetSectorStart(sector), end = GetSectorEnd(sector); a < end; ++a)
        sum = uint16_t(sum + p[a]);
    return sum;
}

void cMemoryMap::StoreTableInImage()
{
    if (m_image)
        std::memcpy(m_image.get(), m_table, kTableSize);
}

void cMemoryMap::LoadTableFromImage()
{
    if (!m_image)
        return;
    std::memcpy(m_table, m_image.get(), kTableSize);
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
        report.ShowMessage("Could not open file for reading.");
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
    if (Get32(header) != 1) {
        report.ShowMessage("Could not read file. Version information is incorrect.");
        ::close(fd);
        return false;
    }
    // Read into a scratch buffer first: a load that fails changes nothing.
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[kImageSize]);
    if (!scratch || !m_image) {
        report.ShowMessage(ErrorText(ENOMEM));
        ::close(fd);
        return false;
    }
    const size_t got = ReadFully(fd, scratch.get(), kImageSize);
    const int error = errno;
    ::close(fd);
    if (got < kImageSize) {
        report.ShowMessage(error ? ErrorText(error) : std::string("Could not read file.  Length was insufficient."));
        return false;
    }
    std::memcpy(m_image.get(), scratch.get(), kImageSize);
    LoadTableFromImage();
    RebuildNeededSectors();
    return true;
}

bool cMemoryMap::WriteImageFile(const char* path, IOperatorReport& report)
{
    // The old file stays until the new one is complete (see CAtomicFile).
    CAtomicFile file;
    if (!m_image || !file.Open(path, kImageFileSize)) {
        report.ShowMessage("Could not open file for writing.");
        return false;
    }
    StoreTableInImage();
    uint8_t header[kImageFileHeader] = {};
    Put32(header, 1);
    if (!file.Write(header, sizeof header) || !file.Write(m_image.get(), kImageSize) || !file.Commit()) {
        const int error = file.Error();
        file.Abort();
        report.ShowMessage(ErrorText(error));
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ WAV files

void cMemoryMap::BuildWavHeader(uint32_t dataLength, uint8_t out[44])
{
    std::memcpy(out, "RIFF", 4);
    Put32(out + 4, dataLength + 36);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    Put32(out + 16, 16);
    Put16(out + 20, 7);        // mu-law
    Put16(out + 22, 1);        // mono
    Put32(out + 24, kBytesPerSecond);
    Put32(out + 28, kBytesPerSecond);
    Put16(out + 32, 1);
    Put16(out + 34, 8);
    std::memcpy(out + 36, "data", 4);
    Put32(out + 40, dataLength);
}

namespace {

// Writers of the unit's WAV files replace the target only once the new file
// is complete, so a failed export leaves an existing file as it was.
bool OpenWavForWriting(CAtomicFile& file, const char* path, uint64_t dataLength, IOperatorReport& report)
{
    if (!file.Open(path, cMemoryMap::kWavHeaderSize + dataLength)) {
        report.ShowMessage(Format("Failed to open file %s", path ? path : ""));
        return false;
    }
    return true;
}

bool FinishWav(CAtomicFile& file, bool ok, IOperatorReport& report)
{
    ok = ok && file.Commit();
    if (!ok) {
        const int error = file.Error();
        file.Abort();
        report.ShowMessage(ErrorText(error));
    }
    return ok;
}

}  // namespace

bool cMemoryMap::ExportSlotWav(uint8_t slot, const char* path, IOperatorReport& report)
{
    if (slot >= kSlotCount || !m_image)
        return false;
    // A slot whose range leaves the audio area holds no audio.
    const uint32_t length = HoldsAudio(slot) ? GetLength(slot) : 0;
    CAtomicFile file;
    if (!OpenWavForWriting(file, path, length, report))
        return false;
    uint8_t header[kWavHeaderSize];
    BuildWavHeader(length, header);
    const bool ok = file.Write(header, sizeof header) && file.Write(m_image.get() + GetStart(slot), length);
    return FinishWav(file, ok, report);
}

bool cMemoryMap::WriteSilenceWav(uint32_t ms, const char* path, IOperatorReport& report)
{
    const uint64_t length = uint64_t(ms) * 8;
    if (length > 0xFFFFFFFFu - 36) {
        report.ShowMessage(ErrorText(EFBIG));
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
    return FinishWav(file, ok, report);
}

bool cMemoryMap::ReadUnitWav(const char* path, uint32_t roomLeft, std::vector<uint8_t>& data, IOperatorReport& report)
{
    data.clear();
    std::vector<std::string> lines;
    bool headerTrouble = false, lengthTrouble = false, dataFound = false, result = false;

    int openError = 0;
    const int fd = OpenRegularFileForReading(path, openError);
    if (fd < 0) {
        lines.push_back("Could not open file\n");
    } else {
        struct stat info;
        const uint64_t fileLength = ::fstat(fd, &info) == 0 ? uint64_t(info.st_size) : 0;
        uint64_t position = 0;
        auto readBytes = [&](void* to, size_t n) {
            const size_t got = ReadFully(fd, to, n);
            position += got;
            return got == n;
        };
        auto skipTo = [&](uint64_t to) {
            if (::lseek(fd, off_t(to), SEEK_SET) == off_t(-1))
                return false;
            position = to;
            return true;
        };
        // A chunk whose data would run past the end of the file stops the
        // walk. An odd-sized chunk is followed by a pad byte, which a file
        // may leave out at its very end; files written without any pad are
        // recognised by a chunk id that starts right after the data.
        auto isId = [](const uint8_t* p) {
            return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
        };
        auto skipChunk = [&](uint32_t size) {
            if (position + size > fileLength) {
                lines.push_back(Format("Couldn't read %u byte chunk\n", unsigned(size)));
                headerTrouble = true;
                return;
            }
            uint64_t next = position + size;
            if (size & 1) {
                // A pad byte is 0, never part of an id; where the padded
                // position would read as an id too (a size whose low byte
                // is printable), the id at the unpadded position wins.
                uint8_t peek[4];
                const bool seen = skipTo(next) && ReadFully(fd, peek, sizeof peek) == sizeof peek;
                if (!(seen && isId(peek)))
                    next = std::min<uint64_t>(next + 1, fileLength);
            }
            if (!skipTo(next))
                lengthTrouble = true;
        };

        uint8_t riff[12];
        if (!readBytes(riff, sizeof riff)) {
            lengthTrouble = true;
        } else if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
            lines.push_back("File is not a .WAV type\n");
            headerTrouble = true;
        } else if (fileLength != uint64_t(Get32(riff + 4)) + 8) {
            lengthTrouble = true;
        }

        uint32_t dataLength = 0;
        while (!headerTrouble && !lengthTrouble) {
            uint8_t chunk[8];
            if (!readBytes(chunk, sizeof chunk)) {
                lengthTrouble = true;
                break;
            }
            const uint32_t size = Get32(chunk + 4);
            if (std::memcmp(chunk, "fmt", 3) != 0) {
                skipChunk(size);
                continue;
            }
            // The format block, then the search for the data chunk.
            if (size != 16 && size != 18) {
                lines.push_back("Format data <> 16 bytes!\n");
                headerTrouble = true;
                break;
            }
            uint8_t format[18];
            if (!readBytes(format, size)) {
                lengthTrouble = true;
                break;
            }
            const uint16_t tag = Get16(format), channels = Get16(format + 2);
            const uint32_t rate = Get32(format + 4), bytesPerSec = Get32(format + 8);
            const uint16_t blockAlign = Get16(format + 12), bits = Get16(format + 14);
            if (tag != 7 || channels != 1 || rate != 8000 || bytesPerSec != rate || blockAlign != 1 || bits != 8) {
                lines.push_back("WAVE format is not g.711 mono, 8kHz.\n");
                lines.push_back(Format("Found format = %u, channels = %u, rate = %u\n", unsigned(tag), unsigned(channels), unsigned(rate)));
                headerTrouble = true;
                break;
            }
            while (!dataFound && !headerTrouble && !lengthTrouble) {
                uint8_t id[4], sizeField[4];
                if (!readBytes(id, 4) || !readBytes(sizeField, 4)) {
                    lengthTrouble = true;
                    break;
                }
                const uint32_t chunkSize = Get32(sizeField);
                if (std::memcmp(id, "data", 4) != 0) {
                    skipChunk(chunkSize);
                    continue;
                }
                dataFound = true;
                const uint64_t left = fileLength - position;
                if (chunkSize > left) {
                    lines.push_back(Format("Reported length of data chunk (%u) was\ngreater than remaining file length (%llu)\n",
                                           unsigned(chunkSize), static_cast<unsigned long long>(left)));
                    lengthTrouble = true;
                } else if (fileLength >= roomLeft) {
                    lines.push_back("Cannot import - no space left!\n");
                    lengthTrouble = true;
                } else {
                    dataLength = chunkSize;
                }
            }
            break;
        }

        if (dataFound && !headerTrouble && !lengthTrouble) {
            // The space test keeps the samples inside the image.
            data.resize(dataLength);
            const size_t got = ReadFully(fd, data.data(), dataLength);
            if (got < dataLength) {
                report.ShowMessage(kPartialImportText);
                data.resize(got);
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
    if (slot >= kSlotCount || !m_image)
        return false;
    std::vector<uint8_t> data;
    if (!ReadUnitWav(path, GetRoomLeft(), data, report))   // room before anything is removed
        return false;
    PlaceAudio(slot, data, report);
    return true;
}

bool cMemoryMap::ReplaceSlotWav(uint8_t slot, const char* path, IOperatorReport& report)
{
    if (slot >= kSlotCount || !m_image)
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
    const uint32_t n = length[slot];
    uint32_t p = start[slot], q = n;
    for (;;) {
        const uint32_t target = p + q;
        uint8_t follower = kSlotCount;
        for (uint8_t s = 0; s < kSlotCount; ++s) {
            if (length[s] != 0 && start[s] == target) {
                follower = s;
                break;
            }
        }
        if (follower == kSlotCount || follower == slot)
            break;
        p = start[follower];
        q = length[follower];
        if (n != 0)
            start[follower] = (start[follower] - n) & 0xFFFFFF;
    }
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
