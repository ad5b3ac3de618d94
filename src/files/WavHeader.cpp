#include "WavHeader.h"

#include <cstring>

#include "LittleEndian.h"

void BuildWavHeader(uint8_t out[kWavHeaderBytes], const WavFormat& format, uint32_t dataLength, WavPad pad)
{
    std::memcpy(out, "RIFF", 4);
    PutLE32(out + 4, uint32_t(WavFileBytes(dataLength, pad) - 8));
    std::memcpy(out + 8, "WAVEfmt ", 8);
    PutLE32(out + 16, 16);
    PutLE16(out + 20, format.formatTag);
    PutLE16(out + 22, format.channels);
    PutLE32(out + 24, format.samplesPerSec);
    PutLE32(out + 28, format.AvgBytesPerSec());
    PutLE16(out + 32, format.BlockAlign());
    PutLE16(out + 34, format.bitsPerSample);
    std::memcpy(out + 36, "data", 4);
    PutLE32(out + 40, dataLength);
}

uint64_t WavFileBytes(uint32_t dataLength, WavPad pad)
{
    return uint64_t(kWavHeaderBytes) + dataLength + (pad == WavPad::kOddData ? (dataLength & 1) : 0);
}
