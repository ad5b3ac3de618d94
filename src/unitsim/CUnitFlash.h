#pragma once
// The unit's 4 MB flash: 70 addressable sectors (eight of 8 KB, then 64 KB ones)
// plus a last 64 KB sector that no command reaches. Optionally backed by a file
// that is rewritten, atomically, after every programmed sector.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CUnitFlash {
public:
    static constexpr uint32_t kFlashSize = 0x400000;
    static constexpr uint32_t kImageSize = 0x3F0000;
    static constexpr uint32_t kImageFileSize = kImageSize + 8;
    static constexpr int kSectorCount = 70;

    CUnitFlash();

    static bool IsValidSector(int n) { return n >= 0 && n < kSectorCount; }
    static uint32_t SectorStart(int n);
    static uint32_t SectorSize(int n);

    uint16_t SectorChecksum(int n) const;
    const uint8_t* SectorData(int n) const { return m_bytes.data() + SectorStart(n); }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    void EraseAll();
    // Erases sector n and programs it with SectorSize(n) bytes.
    void ProgramSector(int n, const uint8_t* data);

    // Keeps the flash in this file: loads it when present (it must be exactly
    // 4 MB), otherwise creates it erased. Errors go to *error.
    bool AttachFile(const std::string& path, std::string* error);
    // Rewrites the attached file (no-op without one): temporary file, then rename.
    bool Save(std::string* error);
    const std::string& FilePath() const { return m_path; }

    // Loads an image file (version 1, 4,128,776 bytes) into addresses 0-0x3EFFFF.
    bool LoadImageFile(const std::string& path, std::string* error);

private:
    std::vector<uint8_t> m_bytes;
    std::string m_path;
};
