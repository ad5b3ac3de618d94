// Builds WAV files byte by byte, including broken ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavBuilder {
    uint16_t formatTag = 7;
    uint16_t channels = 1;
    uint32_t rate = 8000;
    uint32_t bytesPerSec = 8000;
    uint16_t blockAlign = 1;
    uint16_t bits = 8;
    uint32_t formatSize = 16;  // 18 adds the extension size field
    std::string beforeFormat;  // whole chunks placed before "fmt "
    std::string beforeData;    // whole chunks between "fmt " and "data"
    std::vector<uint8_t> data;
    int64_t dataSizeDelta = 0;  // added to the data chunk's stated size
    int64_t riffSizeDelta = 0;  // added to the RIFF size
    bool withData = true;

    static void Put(std::string& s, uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            s += char(uint8_t(v >> (8 * i)));
    }
    static std::string Chunk(const std::string& id, const std::string& body)
    {
        std::string s = id;
        Put(s, uint32_t(body.size()), 4);
        return s + body;
    }
    std::string Bytes() const
    {
        std::string body = "WAVE" + beforeFormat + "fmt ";
        Put(body, formatSize, 4);
        std::string fmt;
        Put(fmt, formatTag, 2);
        Put(fmt, channels, 2);
        Put(fmt, rate, 4);
        Put(fmt, bytesPerSec, 4);
        Put(fmt, blockAlign, 2);
        Put(fmt, bits, 2);
        fmt.resize(formatSize, '\0');
        body += fmt + beforeData;
        if (withData) {
            body += "data";
            Put(body, uint32_t(int64_t(data.size()) + dataSizeDelta), 4);
            body.append(data.begin(), data.end());
        }
        std::string file = "RIFF";
        Put(file, uint32_t(int64_t(body.size()) + riffSizeDelta), 4);
        return file + body;
    }
};
