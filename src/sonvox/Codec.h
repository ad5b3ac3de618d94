// Linear PCM <-> 8-bit mu-law, with an optional 11025 <-> 8000 samples per
// second conversion on the way. Pure functions over caller-owned buffers.
#pragma once

#include <cstdint>

// The caller sets data to a buffer large enough for the result; the codec
// writes into it and sets count to the bytes written.
struct CodecOutput {
    int32_t count = 0;
    uint8_t* data = nullptr;
};

// pcm: 8-bit unsigned (blockAlign 1) or 16-bit signed little-endian
// (blockAlign 2) mono samples, length in bytes; sampleRate 8000 or 11025.
// The output needs room for length bytes.
bool MuLawEncode(const uint8_t* pcm, int length, int sampleRate, uint16_t blockAlign, CodecOutput& out);

// mulaw: length codes in natural byte order; output 8-bit unsigned or 16-bit
// signed little-endian samples. At 11025 Hz 8 codes become 11 samples; the
// output needs room for ceil(length * 11 / 8) + 1 samples.
bool MuLawDecode(const uint8_t* mulaw, int length, uint16_t bitsPerSample, int sampleRate, CodecOutput& out);

// One sample each way, for callers that convert on their own.
uint8_t MuLawFromLinear(int16_t sample);
int16_t LinearFromMuLaw(uint8_t code);
