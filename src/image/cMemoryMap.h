// The unit image: the program's copy of a unit's message memory (0x3F0000
// bytes), the live message table of eight slots, the sector map and the
// needed-sector flags, plus image files and WAV import and export.
//
// Tables come from files and from units and may hold anything. Entries that no
// valid image produces are handled like this:
//  - a slot "holds audio" only when its length is not 0 and its whole range
//    lies in the audio area 0x2000-0x3EFFFF; any other slot holds no audio:
//    its checksum is 0, its export carries no samples, and moving it changes
//    its start but moves no bytes;
//  - MarkSectorsNeeded marks the part of a range that lies in the audio area
//    (and sector 0); a range wholly outside marks sector 0 only;
//  - new audio is never placed below 0x2000, and the room left is 0 once the
//    last used address lies at or past the end of the image;
//  - names read from an image always end with a NUL in their last byte.
// Nothing ever reads or writes outside the image buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "IOperatorReport.h"

class cMemoryMap {
public:
    static constexpr uint32_t kImageSize = 0x3F0000;  // 4,128,768 bytes
    static constexpr uint32_t kAudioStart = 0x2000;   // sector 1
    static constexpr uint32_t kTableSize = 192;
    static constexpr uint32_t kNameOffset = 64;
    static constexpr uint32_t kNameSize = 16;
    static constexpr uint8_t kSlotCount = 8;
    static constexpr uint8_t kSectorCount = 70;
    static constexpr uint8_t kNoSector = 255;       // GetNextNeededSector: none needed
    static constexpr uint8_t kOutsideSectors = 71;  // GetLastUsedSector: past the image
    static constexpr uint32_t kImageFileHeader = 8;
    static constexpr uint32_t kImageFileSize = kImageFileHeader + kImageSize;  // 4,128,776
    static constexpr uint32_t kWavHeaderSize = 44;
    static constexpr uint32_t kBytesPerSecond = 8000;
    static constexpr uint8_t kSilence = 0xFF;

    // Shown by the program when the buffer cannot be allocated (it then ends
    // with exit code 1).
    static const char* const kAllocationFailedText;

    cMemoryMap();
    // A map over image bytes shared read-only with other maps (many units
    // programmed from one image): the table is loaded from them, no sector is
    // needed yet. The first change of its bytes gives this map its own copy,
    // so the others never see it.
    explicit cMemoryMap(std::shared_ptr<const uint8_t[]> image);
    virtual ~cMemoryMap();
    cMemoryMap(const cMemoryMap&) = delete;
    cMemoryMap& operator=(const cMemoryMap&) = delete;

    // False when the image buffer could not be allocated; nothing else works then.
    bool HasBuffer() const { return Bytes() != nullptr; }
    // The image bytes as they are now, read-only, to share with other maps:
    // a copy, or the bytes this map already shares (null when out of memory).
    std::shared_ptr<const uint8_t[]> ShareImage() const;

    // Slot table (slots 0-7; other numbers read 0 and change nothing). Every
    // setter also marks sector 0 needed.
    uint32_t GetStart(uint8_t slot) const;
    void SetStart(uint8_t slot, uint32_t address);
    uint32_t GetLength(uint8_t slot) const;
    void SetLength(uint8_t slot, uint32_t length);
    void UpdateChecksum(uint8_t slot);
    uint8_t GetChecksum(uint8_t slot) const;
    const char* GetName(uint8_t slot) const;  // nullptr for slot numbers 8-255
    void SetName(uint8_t slot, const char* text);
    uint8_t GetPlayCount(uint8_t slot) const;
    void SetPlayCount(uint8_t slot, uint8_t count);

    // True when the slot's range is non-empty and lies inside the audio area.
    bool HoldsAudio(uint8_t slot) const;

    uint32_t GetLastUsedAddress() const;
    uint8_t GetLastUsedSector() const;
    // Bytes (= samples) that still fit after the used area.
    uint32_t GetRoomLeft() const;
    // The room left once the slot's audio were removed (ClearSlot), which
    // moves the messages after it down.
    uint32_t GetRoomLeftWithout(uint8_t slot) const;
    bool FindFollowingSlot(uint8_t& slot) const;
    // Gives the slot a start directly after the used area and returns that
    // position in the buffer; kImageSize - GetStart(slot) bytes fit there.
    uint8_t* AllocateAtEnd(uint8_t slot);
    void ShiftSlotDown(uint8_t slot, uint32_t bytes);
    void ClearSlot(uint8_t slot);

    // Needed sectors.
    void MarkSectorsNeeded(uint8_t slot);
    void RebuildNeededSectors();
    uint8_t* GetNextNeededSector(uint8_t& sector);  // nullptr and 255 when none
    bool IsSectorNeeded(uint8_t sector) const;
    void ClearSectorNeeded(uint8_t sector);
    void SetSectorNeeded(uint8_t sector);

    // Sector map: sectors 0-69 lie in the image; 70 is the first one past it.
    static uint32_t GetSectorStart(uint8_t sector);
    static uint32_t GetSectorEnd(uint8_t sector);
    uint16_t GetSectorChecksum(uint8_t sector) const;

    void StoreTableInImage();
    void LoadTableFromImage();
    const uint8_t* GetTable() const { return m_table; }
    // The writable buffer (a map sharing its bytes takes its own copy first).
    uint8_t* GetImageBuffer() { return Writable(); }
    const uint8_t* GetImageBuffer() const { return Bytes(); }

    // Image files: the 8-byte header (version 1, 4 reserved bytes) and the image.
    // Readers take regular files only and never block; writers (here and the
    // WAV writers below) replace a file only once the new one is complete.
    bool ReadImageFile(const char* path, IOperatorReport& report);
    bool WriteImageFile(const char* path, IOperatorReport& report);

    // WAV files in the unit's format (mu-law, mono, 8 kHz) with a 44-byte header.
    static void BuildWavHeader(uint32_t dataLength, uint8_t out[44]);
    bool ExportSlotWav(uint8_t slot, const char* path, IOperatorReport& report);
    bool WriteSilenceWav(uint32_t ms, const char* path, IOperatorReport& report);
    bool ImportSlotWav(uint8_t slot, const char* path, IOperatorReport& report);
    // Replaces the slot's audio by the file's, keeping its name and play
    // count. The whole file is checked first, with the room counted as if
    // the slot were empty: a refused file leaves the slot as it was.
    bool ReplaceSlotWav(uint8_t slot, const char* path, IOperatorReport& report);
    // The import's checks and messages: the samples of a WAV file in the
    // unit's format whose whole length is below roomLeft. False after the
    // "Trouble with <path>" message; a file that ends before its announced
    // data shows its own message and gives what arrived.
    static bool ReadUnitWav(const char* path, uint32_t roomLeft, std::vector<uint8_t>& data, IOperatorReport& report);

private:
    uint8_t* Entry(uint8_t slot) { return m_table + 8 * slot; }
    const uint8_t* Entry(uint8_t slot) const { return m_table + 8 * slot; }
    void SetEmpty(uint8_t slot);
    // The slots that ClearSlot(slot) moves down, in order; their count.
    uint8_t FollowersToMove(uint8_t slot, uint8_t order[kSlotCount]) const;
    // ClearSlot, then the samples after the used area.
    void PlaceAudio(uint8_t slot, const std::vector<uint8_t>& data, IOperatorReport& report);
    static uint8_t SectorOf(uint32_t address, uint8_t first);

    const uint8_t* Bytes() const { return m_image ? m_image.get() : m_shared.get(); }
    uint8_t* Writable();

    std::unique_ptr<uint8_t[]> m_image;         // this map's own bytes, or
    std::shared_ptr<const uint8_t[]> m_shared;  // bytes shared read-only with other maps
    uint8_t m_table[kTableSize];
    bool m_needed[kSectorCount];
};
