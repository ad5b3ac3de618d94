// What a write (or a verify) of an image will put on the line, and about how
// long it takes one unit: shown before anything is opened, so that an
// operator knows what to expect. The estimate adds the line time of every
// command, reply and sector byte (ten bits a byte), the unit's erase-and-
// program wait per sector and a small turn-around per sector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class cMemoryMap;

class CWritePlan {
public:
    // The image's needed sectors, as a write sends them.
    static CWritePlan ForWrite(const cMemoryMap& image, int baud);
    // Every sector the image uses, as a verify reads them back.
    static CWritePlan ForVerify(const cMemoryMap& image, int baud);

    int Sectors() const { return int(m_sectors.size()); }
    const std::vector<uint8_t>& SectorList() const { return m_sectors; }
    uint64_t Bytes() const { return m_bytes; }
    double Seconds() const { return m_seconds; }
    int Baud() const { return m_baud; }

    // "9 sectors, 73,728 bytes, about 1 min 5 s at 115200 baud"
    std::string Describe() const;
    // "1 min 5 s", "12 s", "1 h 2 min"
    static std::string Duration(double seconds);
    // "73,728"
    static std::string Grouped(uint64_t value);

private:
    CWritePlan(std::vector<uint8_t> sectors, int baud, bool write);

    std::vector<uint8_t> m_sectors;
    uint64_t m_bytes = 0;  // sector bytes only
    double m_seconds = 0;
    int m_baud = 0;
};
