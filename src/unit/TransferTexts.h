// Texts shown and logged by the unit transfers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class cMemoryMap;

// Sectors 0 to 69 make up the image.
constexpr int kLastImageSector = 69;

// printf into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "[hh:mm:ss:f]" for a tick difference in milliseconds; the last field is the
// difference modulo 100, unpadded.
std::string ElapsedText(uint32_t elapsedMs);

// A status that ends a transfer because a unit said nothing at all, with the
// second line that tells the operator what to do.
std::string WithInterruptedWriteHint(const std::string& status);

// A status text on one line: trailing line breaks dropped, inner ones made
// spaces (some protocol texts end with one, some have two lines).
std::string StatusOneLine(std::string text);

// "1 sector", "4 sectors".
std::string SectorCountText(int count);

// The checksum error text of a received sector. The text for sector 0 has no
// trailing newline, the text for later sectors has one.
std::string ChecksumErrorText(uint16_t received, uint16_t computed, uint8_t low, uint8_t high, bool laterSector);

// The "Sectors" list before and during a write: the needed sectors up to the
// last used one, then the count.
std::vector<std::string> WriteSectorLines(const cMemoryMap& image);

// The "Sectors" list during a read: the count of sectors still to read, then
// the sectors from current to last.
std::vector<std::string> ReadSectorLines(int lastSector, int currentSector);
