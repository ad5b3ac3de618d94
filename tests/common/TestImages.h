// Images with messages for the transfer and dialog tests.
#pragma once

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "IOperatorReport.h"
#include "cMemoryMap.h"

// The operator of a test: keeps every message, answers No.
class QuietReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string&) override { return false; }
    std::vector<std::string> messages;
};

// Puts messages of the given lengths into slots 2, 5, 0, 7, ... in that
// order, each with its own byte pattern, after emptying every slot; unused
// bytes are erased flash (0xFF).
inline void FillImage(cMemoryMap& image, const std::vector<uint32_t>& lengths)
{
    memset(image.GetImageBuffer(), 0xFF, cMemoryMap::kImageSize);
    for (uint8_t s = 0; s < cMemoryMap::kSlotCount; s++)
        image.ClearSlot(s);
    const uint8_t order[] = {2, 5, 0, 7, 1, 3, 4, 6};
    for (size_t i = 0; i < lengths.size() && i < 8; i++) {
        const uint8_t slot = order[i];
        uint8_t* at = image.AllocateAtEnd(slot);
        for (uint32_t k = 0; k < lengths[i]; k++)
            at[k] = uint8_t(k * (i + 3) + (k >> 9));
        image.SetLength(slot, lengths[i]);
        image.SetPlayCount(slot, uint8_t(i + 1));
        image.SetName(slot, ("Message " + std::to_string(slot + 1)).c_str());
    }
    image.StoreTableInImage();
    image.RebuildNeededSectors();
}

// Puts n bytes of a pattern that depends on seed into one slot, at the end of
// the used audio, and marks its sectors.
inline void Fill(cMemoryMap& map, uint8_t slot, uint32_t n, uint8_t seed)
{
    map.ClearSlot(slot);
    uint8_t* at = map.AllocateAtEnd(slot);
    for (uint32_t i = 0; i < n; ++i)
        at[i] = uint8_t(seed * 31 + i * 13);
    map.SetLength(slot, n);
    map.MarkSectorsNeeded(slot);
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
