#include "CImageChange.h"

#include <algorithm>
#include <cstring>

#include "cMemoryMap.h"

namespace {

uint32_t Read24(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// The part of [start, start + length) that lies in the audio area.
void AddSlotRange(CImageChange& change, uint32_t start, uint32_t length)
{
    const uint64_t end = uint64_t(start) + length;
    const uint32_t begin = std::max(start, cMemoryMap::kAudioStart);
    const uint32_t stop = uint32_t(std::min<uint64_t>(end, cMemoryMap::kImageSize));
    if (length != 0 && begin < stop)
        change.AddRange(begin, stop);
}

}  // namespace

void CImageChange::AddRange(uint32_t begin, uint32_t end)
{
    if (end <= begin)
        return;
    if (!HasAudio()) {
        audioBegin = begin;
        audioEnd = end;
        return;
    }
    audioBegin = std::min(audioBegin, begin);
    audioEnd = std::max(audioEnd, end);
}

CImageChange CImageChange::Between(const uint8_t* tableBefore, const cMemoryMap& after, int target)
{
    CImageChange change;
    const uint8_t* now = after.GetTable();
    for (uint8_t s = 0; s < cMemoryMap::kSlotCount; ++s) {
        const uint8_t* oldEntry = tableBefore + 8 * s;
        const uint8_t* newEntry = now + 8 * s;
        const bool entryChanged = std::memcmp(oldEntry, newEntry, 8) != 0;
        const uint32_t name = cMemoryMap::kNameOffset + cMemoryMap::kNameSize * s;
        if (entryChanged || std::memcmp(tableBefore + name, now + name, cMemoryMap::kNameSize) != 0)
            change.entries |= uint8_t(1u << s);
        if (entryChanged || s == target) {
            AddSlotRange(change, Read24(oldEntry), Read24(oldEntry + 3));
            AddSlotRange(change, Read24(newEntry), Read24(newEntry + 3));
        }
    }
    return change;
}

CImageChange CImageChange::Whole()
{
    CImageChange change;
    change.entries = 0xFF;
    change.audioBegin = 0;
    change.audioEnd = cMemoryMap::kImageSize;
    return change;
}
