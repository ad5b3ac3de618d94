// One unit's result as the reports keep it: the line that --report FILE
// appends (time, port, image, its crc32, result, status, seconds, sectors
// written, verify, differing sectors) and, in the day's report, the host and
// the user who ran it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CGangTransfer.h"

class cMemoryMap;

struct CUnitRecord {
    std::string time;  // local, 2026-12-09T05:14:48+0000
    std::string port;
    std::string image;
    uint32_t imageCrc32 = 0;
    std::string result;  // "completed", "failed", "interrupted"
    std::string status;
    double seconds = 0;
    size_t sectorsWritten = 0;
    std::string verify;  // "none", "not done", "ok", "differs"
    std::vector<uint8_t> differing;
    std::string host;
    std::string user;

    // The record of unit index of a gang that has run, stamped now.
    static CUnitRecord Of(CGangTransfer& gang, size_t index, const std::string& imageName, uint32_t imageCrc32);
    // One JSON object on one line, ending in a line break; the host and the
    // user only when withStation.
    std::string Json(bool withStation) const;

    // CRC-32 (as zlib and cksum -a crc32b compute it) of the image's bytes
    // from address 0 to the end of the last sector in use: what a write sends.
    static uint32_t ImageCrc32(const cMemoryMap& image);
    static std::string LocalTime();
    static std::string HostName();
    static std::string UserName();
    static const char* VerifyWord(CGangTransfer::Verify verify);
    // A JSON string literal, quotes included.
    static std::string JsonText(const std::string& utf8);
};
