// ormid-cli's --report: one JSON object a line for each unit of a run,
// appended to a file an installer keeps (the format is in the manual page);
// every run's lines go to the day's report as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "CGangTransfer.h"

class cMemoryMap;

class CGangReport {
public:
    ~CGangReport();
    // Opened for appending before any unit is touched; false with the reason.
    bool Open(const std::string& path, std::string& why);
    // One line for each unit of the gang, in the file opened (if any) and in
    // the day's report.
    void Write(CGangTransfer& gang, const std::string& imageName, const cMemoryMap& image);

    // CRC-32 (as zlib and cksum -a crc32b compute it) of the image's bytes
    // from address 0 to the end of the last sector in use: what a write sends.
    static uint32_t ImageCrc32(const cMemoryMap& image);

private:
    FILE* m_file = nullptr;
};
