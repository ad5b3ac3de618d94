#include "Codec.h"

#include "CAudioLog.h"
#include "MuLawTable.h"

namespace {

const char kLogUnit[] = "Codec";

using MuLawTable::kDecode;
using MuLawTable::kEncode;

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

}  // namespace

uint8_t MuLawFromLinear(int16_t sample)
{
    return kEncode[uint16_t(sample) >> 3];
}

int16_t LinearFromMuLaw(uint8_t code)
{
    return kDecode[code];
}

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
    if (length < 0 || (length > 0 && (!pcm || !out.data)))
        return false;

    const int samples = blockAlign == 1 ? length : length / 2;
    uint8_t* dst = out.data;
    if (sampleRate == 8000) {
        if (blockAlign == 1)
            for (int i = 0; i < samples; ++i)
                *dst++ = Encode8(pcm[i]);
        else
            for (int i = 0; i < samples; ++i)
                *dst++ = Encode16(pcm + 2 * i);
    } else {
        // 8 of every 11 samples stay, and one more in 580 goes: about 8004 per second.
        int phase = 0;
        for (int i = 0; i < samples; ++i) {
            const bool drop = (phase & 3) == 2 || i % 580 == 579;
            if (!drop)
                *dst++ = blockAlign == 1 ? Encode8(pcm[i]) : Encode16(pcm + 2 * i);
            if (++phase == 11)
                phase = 0;
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
    if (length < 0 || (length > 0 && (!mulaw || !out.data)))
        return false;

    uint8_t* dst = out.data;
    for (int i = 0; i < length; ++i) {
        const int16_t v = kDecode[mulaw[i]];
        PutSample(dst, v, bitsPerSample);
        // 8 codes become 11 samples: codes 2, 4 and 6 of each 8 are doubled.
        if (sampleRate == 11025) {
            const int r = i & 7;
            if (r == 2 || r == 4 || r == 6)
                PutSample(dst, v, bitsPerSample);
        }
    }
    out.count = int32_t(dst - out.data);
    return true;
}
