#include "Codec.h"

#include "CAudioLog.h"

#include <array>

namespace {

const char kLogUnit[] = "Codec";

// G.711 mu-law of a 16-bit sample, 14-bit magnitudes with bias 33.
constexpr uint8_t EncodeG711(int v)
{
    int mask = 0xFF;
    int mag = v >> 2;
    if (v < 0) {
        mag = (~v) >> 2;
        mask = 0x7F;
    }
    mag += 33;
    if (mag > 0x1FFF) mag = 0x1FFF;
    int seg = 0;
    for (int top = mag >> 6; top != 0; top >>= 1) ++seg;
    int step = (mag >> (seg + 1)) & 0x0F;
    return uint8_t(mask ^ ((seg << 4) | step));
}

// Entry k encodes the samples whose upper 13 bits are k. The samples are
// first brought from our full scale (32256, see the decoding table) to the
// G.711 one (32124), which moves each segment start up by a few entries.
constexpr std::array<uint8_t, 8192> BuildEncodeTable()
{
    std::array<uint8_t, 8192> t{};
    for (int k = 0; k < 8192; ++k) {
        int s = int(int16_t(uint16_t(k << 3)));
        t[size_t(k)] = EncodeG711(s * 32124 / 32256);
    }
    return t;
}

constexpr std::array<uint8_t, 8192> kEncode = BuildEncodeTable();

// G.711 expansion values, full scale 32256; codes 0x00-0x7F are the negatives
// of 0x80-0xFF.
constexpr int16_t kPositive[128] = {
    32256, 31228, 30200, 29172, 28143, 27115, 26087, 25059, 24031, 23002, 21974, 20946, 19918, 18889, 17861, 16833,
    16062, 15548, 15033, 14519, 14005, 13491, 12977, 12463, 11949, 11435, 10920, 10406, 9892, 9378, 8864, 8350,
    7964, 7707, 7450, 7193, 6936, 6679, 6422, 6165, 5908, 5651, 5394, 5137, 4880, 4623, 4365, 4108,
    3916, 3787, 3659, 3530, 3402, 3273, 3144, 3016, 2887, 2759, 2630, 2502, 2373, 2245, 2116, 1988,
    1891, 1827, 1763, 1698, 1634, 1570, 1506, 1441, 1377, 1313, 1249, 1184, 1120, 1056, 992, 927,
    879, 847, 815, 783, 751, 718, 686, 654, 622, 590, 558, 526, 494, 461, 429, 397,
    373, 357, 341, 325, 309, 293, 277, 261, 245, 228, 212, 196, 180, 164, 148, 132,
    120, 112, 104, 96, 88, 80, 72, 64, 56, 48, 40, 32, 24, 16, 8, 0,
};

constexpr std::array<int16_t, 256> BuildDecodeTable()
{
    std::array<int16_t, 256> t{};
    for (int c = 0; c < 128; ++c) {
        t[size_t(c + 128)] = kPositive[c];
        t[size_t(c)] = int16_t(-kPositive[c]);
    }
    return t;
}

constexpr std::array<int16_t, 256> kDecode = BuildDecodeTable();

static_assert(kEncode[0] == 0xFF && kEncode[15] == 0xF0 && kEncode[16] == 0xEF, "first segments");
static_assert(kEncode[4096] == 0x00 && kEncode[8191] == 0x7E, "negative ends");

inline uint8_t Encode8(uint8_t v)
{
    // (v - 128) * 256 + 120, read as unsigned 16-bit, shifted right by 3.
    return kEncode[((unsigned(v) - 128u) & 0xFFu) * 32u + 15u];
}

inline uint8_t Encode16(const uint8_t* p)
{
    return kEncode[unsigned(p[0] | (p[1] << 8)) >> 3];
}

inline void PutSample(uint8_t*& dst, int16_t value, uint16_t bits)
{
    if (bits == 8) {
        *dst++ = uint8_t((value >> 8) + 128);
    } else {
        *dst++ = uint8_t(uint16_t(value));
        *dst++ = uint8_t(uint16_t(value) >> 8);
    }
}

} // namespace

uint8_t MuLawFromLinear(int16_t sample) { return kEncode[uint16_t(sample) >> 3]; }

int16_t LinearFromMuLaw(uint8_t code) { return kDecode[code]; }

bool MuLawEncode(const uint8_t* pcm, int length, int sampleRate, uint16_t blockAlign, CodecOutput& out)
{
    if (sampleRate != 8000 && sampleRate != 11025) {
        SVLOG("Error SamplesPerSec :%d format not support", sampleRate);
        return false;
    }
    if (blockAlign != 1 && blockAlign != 2) {
        SVLOG("BlockAlign %d is not valid.", blockAlign);
        return false;
    }
    if (length < 0 || (length > 0 && (!pcm || !out.data))) return false;

    const int samples = blockAlign == 1 ? length : length / 2;
    uint8_t* dst = out.data;
    if (sampleRate == 8000) {
        if (blockAlign == 1)
            for (int i = 0; i < samples; ++i) *dst++ = Encode8(pcm[i]);
        else
            for (int i = 0; i < samples; ++i) *dst++ = Encode16(pcm + 2 * i);
    } else {
        // 8 of every 11 samples stay, and one more in 580 goes: about 8004 per second.
        int phase = 0;
        for (int i = 0; i < samples; ++i) {
            const bool drop = (phase & 3) == 2 || i % 580 == 579;
            if (!drop) *dst++ = blockAlign == 1 ? Encode8(pcm[i]) : Encode16(pcm + 2 * i);
            if (++phase == 11) phase = 0;
        }
    }
    out.count = int32_t(dst - out.data);
    return true;
}

bool MuLawDecode(const uint8_t* mulaw, int length, uint16_t bitsPerSample, int sampleRate, CodecOutput& out)
{
    if (sampleRate != 8000 && sampleRate != 11025) {
        SVLOG("%d format is not supported.", sampleRate);
        return false;
    }
    if (bitsPerSample != 8 && bitsPerSample != 16) {
        SVLOG("nBitsPerSample = %d not supported.", bitsPerSample);
        return false;
    }
    if (length < 0 || (length > 0 && (!mulaw || !out.data))) return false;

    uint8_t* dst = out.data;
    for (int i = 0; i < length; ++i) {
        const int16_t v = kDecode[mulaw[i]];
        PutSample(dst, v, bitsPerSample);
        // 8 codes become 11 samples: codes 2, 4 and 6 of each 8 are doubled.
        if (sampleRate == 11025) {
            const int r = i & 7;
            if (r == 2 || r == 4 || r == 6) PutSample(dst, v, bitsPerSample);
        }
    }
    out.count = int32_t(dst - out.data);
    return true;
}
