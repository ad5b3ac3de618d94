#include "SlotRow.h"

#include <cstdio>
#include <cstring>

#include "cMemoryMap.h"

std::string FormatSlotRow(const cMemoryMap& map, uint8_t slot)
{
    const char* stored = map.GetName(slot);
    const std::string name = stored ? std::string(stored, strnlen(stored, 16)) : std::string();
    const double seconds = map.GetLength(slot) / double(cMemoryMap::kBytesPerSecond);
    const unsigned count = map.GetPlayCount(slot);
    char row[96];
    if (count == 0)
        std::snprintf(row, sizeof row, "%3d\t%s\t%3.2f sec\tC", slot + 1, name.c_str(), seconds);
    else
        std::snprintf(row, sizeof row, "%3d\t%s\t%3.2f sec\t%d", slot + 1, name.c_str(), seconds, int(count));
    return row;
}
