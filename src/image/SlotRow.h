// The text of one message row as the main panel and `ormid-cli list` show it.
#pragma once

#include <cstdint>
#include <string>

class cMemoryMap;

// "%3d\t%s\t%3.2f sec\t%d" with the slot number 1-8, the name, the duration and
// the play count, or the letter C for a message that plays continuously.
std::string FormatSlotRow(const cMemoryMap& map, uint8_t slot);
// The same row with the name given (e.g. converted for a terminal).
std::string FormatSlotRow(const cMemoryMap& map, uint8_t slot, const std::string& name);
