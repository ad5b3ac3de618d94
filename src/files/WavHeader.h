// The 44-byte header of every WAV file the program and the audio library
// write: "RIFF", "WAVE", a 16-byte "fmt " chunk and the "data" chunk header.
#pragma once

#include <cstdint>

struct WavFormat {
    uint16_t formatTag;  // 1 PCM, 7 mu-law
    uint16_t channels;
    uint32_t samplesPerSec;
    uint16_t bitsPerSample;

    uint16_t BlockAlign() const { return uint16_t(bitsPerSample * channels / 8); }
    uint32_t AvgBytesPerSec() const { return samplesPerSec * BlockAlign(); }
};

// The unit's own audio: mu-law, mono, 8000 samples per second.
constexpr WavFormat kUnitWavFormat{7, 1, 8000, 8};
constexpr uint32_t kWavHeaderBytes = 44;

enum class WavPad {
    kNone,     // the unit's files: RIFF size = data + 36, no pad byte
    kOddData,  // RIFF as prescribed: an odd data chunk is followed by a 0 byte,
               // which the RIFF size counts
};

// The header for dataLength bytes of audio in the format.
void BuildWavHeader(uint8_t out[kWavHeaderBytes], const WavFormat& format, uint32_t dataLength, WavPad pad);
// Bytes the whole file takes.
uint64_t WavFileBytes(uint32_t dataLength, WavPad pad);
