#pragma once
// Shared pieces of the simulator tests: a temporary folder and byte helpers.

#include <cstdint>
#include <string>
#include <vector>

#include "HostPort.h"

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

uint16_t Sum16(const uint8_t* data, size_t n);
// A sector's worth of varied bytes whose sum wraps past 16 bits.
Bytes Pattern(size_t n, unsigned seed);
// The bytes followed by their 16-bit sum, low byte first.
Bytes WithSum(const Bytes& data, int sumAdjust = 0);
uint32_t SectorSize(int sector);
Bytes Concat(Bytes a, const Bytes& b);
Bytes ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const Bytes& data);
