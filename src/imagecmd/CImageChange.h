// What one command changed in the unit image: the slot table entries and the
// range of image bytes it wrote. The panel refreshes its rows from it and
// keeps it for Undo; ormid-cli writes the image file when anything changed.
#pragma once

#include <cstdint>

class cMemoryMap;

struct CImageChange {
    uint8_t entries = 0;      // bit s: slot s's entry or name changed
    uint32_t audioBegin = 0;  // image bytes [audioBegin, audioEnd) may have been written
    uint32_t audioEnd = 0;

    bool Any() const { return entries != 0 || audioEnd > audioBegin; }
    bool HasAudio() const { return audioEnd > audioBegin; }
    // Widens the byte range to take [begin, end) in as well.
    void AddRange(uint32_t begin, uint32_t end);

    // What lies between a table taken before a command and the image after
    // it. Bytes move only into the new range of a slot whose entry changed,
    // and new audio only into the target slot (whose entry may read the same
    // afterwards), so the old and new ranges of those slots hold every write.
    // target: the slot that received audio, or -1.
    static CImageChange Between(const uint8_t* tableBefore, const cMemoryMap& after, int target = -1);
    // Everything: a read from the unit, a load.
    static CImageChange Whole();
};
