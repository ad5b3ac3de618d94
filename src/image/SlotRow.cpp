#include "SlotRow.h"

#include <cstdio>
#include <cstring>

#include "cMemoryMap.h"

std::string FormatSlotRow(const cMemoryMap& map, uint8_t slot)
{
    const char* stored = map.GetName(slot);
    return FormatSlotRow(map, slot, stored ? std::string(stored, strnlen(stored, 16)) : std::string());
}

std::string FormatSlotRow(const cMemoryMap& map, uint8_t slot, const std::string& name)
{
    const double seconds = map.GetLength(slot) / double(cMemoryMap::kBytesPerSecond);
    const unsigned count = map.GetPlayCount(slot);
    char figures[64];
    if (count == 0)
        std::snprintf(figures, sizeof figures, "\t%3.2f sec\tC", seconds);
    else
        std::snprintf(figures, sizeof figures, "\t%3.2f sec\t%d", seconds, int(count));
    char number[8];
    std::snprintf(number, sizeof number, "%3d\t", slot + 1);
    return number + name + figures;
}
