#include "MuLaw.h"

namespace {
constexpr int kBias = 0x84;
constexpr int kClip = 32635;
}

uint8_t LinearToMuLaw(int16_t sample)
{
    int pcm = sample;
    int sign = 0;
    if (pcm < 0) {
        sign = 0x80;
        pcm = -pcm;
    }
    if (pcm > kClip) pcm = kClip;
    pcm += kBias;
    int exponent = 7;
    for (int mask = 0x4000; (pcm & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
    int mantissa = (pcm >> (exponent + 3)) & 0x0F;
    return uint8_t(~(sign | (exponent << 4) | mantissa));
}

int16_t MuLawToLinear(uint8_t code)
{
    int u = uint8_t(~code);
    int exponent = (u >> 4) & 0x07;
    int mantissa = u & 0x0F;
    int sample = (((mantissa << 3) + kBias) << exponent) - kBias;
    return int16_t((u & 0x80) ? -sample : sample);
}
