// The mu-law tables of the whole program: processed recordings (Levelcut),
// the audio library's codec (Sonvox) and converted audio (the image's
// import) are encoded by this one table and decoded by the other, so all
// sound alike. Constant data, built by the compiler.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace MuLawTable {

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
    if (mag > 0x1FFF)
        mag = 0x1FFF;
    int seg = 0;
    for (int top = mag >> 6; top != 0; top >>= 1)
        ++seg;
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
        t[std::size_t(k)] = EncodeG711(s * 32124 / 32256);
    }
    return t;
}

// G.711 expansion values, full scale 32256; codes 0x00-0x7F are the negatives
// of 0x80-0xFF.
constexpr int16_t kPositive[128] = {
    32256, 31228, 30200, 29172, 28143, 27115, 26087, 25059, 24031, 23002, 21974, 20946, 19918, 18889, 17861, 16833,
    16062, 15548, 15033, 14519, 14005, 13491, 12977, 12463, 11949, 11435, 10920, 10406, 9892,  9378,  8864,  8350,
    7964,  7707,  7450,  7193,  6936,  6679,  6422,  6165,  5908,  5651,  5394,  5137,  4880,  4623,  4365,  4108,
    3916,  3787,  3659,  3530,  3402,  3273,  3144,  3016,  2887,  2759,  2630,  2502,  2373,  2245,  2116,  1988,
    1891,  1827,  1763,  1698,  1634,  1570,  1506,  1441,  1377,  1313,  1249,  1184,  1120,  1056,  992,   927,
    879,   847,   815,   783,   751,   718,   686,   654,   622,   590,   558,   526,   494,   461,   429,   397,
    373,   357,   341,   325,   309,   293,   277,   261,   245,   228,   212,   196,   180,   164,   148,   132,
    120,   112,   104,   96,    88,    80,    72,    64,    56,    48,    40,    32,    24,    16,    8,     0,
};

constexpr std::array<int16_t, 256> BuildDecodeTable()
{
    std::array<int16_t, 256> t{};
    for (int c = 0; c < 128; ++c) {
        t[std::size_t(c + 128)] = kPositive[c];
        t[std::size_t(c)] = int16_t(-kPositive[c]);
    }
    return t;
}

inline constexpr std::array<uint8_t, 8192> kEncode = BuildEncodeTable();
inline constexpr std::array<int16_t, 256> kDecode = BuildDecodeTable();

static_assert(kEncode[0] == 0xFF && kEncode[15] == 0xF0 && kEncode[16] == 0xEF, "first segments");
static_assert(kEncode[4096] == 0x00 && kEncode[8191] == 0x7E, "negative ends");

// One sample each way.
constexpr uint8_t Encode(int16_t sample)
{
    return kEncode[uint16_t(sample) >> 3];
}
constexpr int16_t Decode(uint8_t code)
{
    return kDecode[code];
}

}  // namespace MuLawTable
