// The compact form of an image file that the image fuzz target expands:
//   byte 0      form: 0 a well-formed file; 1 header version from the input;
//               2 the rest of the input is the file as it is; 3 a well-formed
//               file made longer or shorter by a signed byte
//   forms 1/3   the version (u32) or the length change (s8)
//   u16         n, then n bytes that are the start of the image (the table
//               is its first 192 bytes); the rest of the image is 0xFF
//   then        operations, one opcode byte and its arguments each
// The seed generator builds inputs with these helpers.
#pragma once

#include <cstdint>
#include <vector>

namespace FuzzImageInput {

enum Form : uint8_t { kWellFormed = 0, kVersion = 1, kRaw = 2, kLength = 3 };

enum Op : uint8_t {
    kSetStart,
    kSetLength,
    kSetName,
    kSetPlayCount,
    kUpdateChecksum,
    kAllocateAtEnd,
    kShiftDown,
    kClearSlot,
    kMarkNeeded,
    kRebuildNeeded,
    kDrainNeeded,
    kRoomLeft,
    kExportImport,
    kSaveAndReload,
    kImportBytes,
    kSilenceImport,
    kOpCount
};

inline void Put(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// A well-formed file whose image starts with prefix.
inline std::vector<uint8_t> WellFormed(const std::vector<uint8_t>& prefix)
{
    std::vector<uint8_t> out{kWellFormed};
    Put(out, uint32_t(prefix.size()), 2);
    out.insert(out.end(), prefix.begin(), prefix.end());
    return out;
}

// A table entry as the image stores it: start and length (24 bits each),
// play count, checksum.
inline void PutEntry(std::vector<uint8_t>& table, int slot, uint32_t start, uint32_t length, uint8_t plays = 1,
                     uint8_t checksum = 0)
{
    if (table.size() < 192)
        table.resize(192, 0);
    uint8_t* e = &table[8 * slot];
    for (int i = 0; i < 3; ++i) {
        e[i] = uint8_t(start >> (8 * i));
        e[3 + i] = uint8_t(length >> (8 * i));
    }
    e[6] = plays;
    e[7] = checksum;
}

}  // namespace FuzzImageInput
