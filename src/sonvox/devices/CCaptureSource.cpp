#include "CCaptureSource.h"

#include "CWaveFile.h"
#include "LittleEndian.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

float MuLawToFloat(uint8_t code)
{
    code = uint8_t(~code);
    int sign = code & 0x80;
    int exponent = (code >> 4) & 7;
    int mantissa = code & 0x0F;
    int magnitude = (((mantissa << 3) + 0x84) << exponent) - 0x84;
    return float(sign ? -magnitude : magnitude) / 32768.0f;
}

// Mono float samples of the file, channels averaged.
bool DecodeToMono(const CWaveFile& wav, const std::vector<uint8_t>& raw, std::vector<float>& mono, std::string& error)
{
    uint16_t tag = wav.FormatTag();
    uint16_t bits = wav.BitsPerSample();
    uint16_t channels = wav.Channels();
    if (tag == 0xFFFE && wav.FormatBlock().size() >= 18 + 10) {
        // Extensible: the sub-format's first two bytes are the plain tag.
        const uint8_t* ext = wav.FormatBlock().data() + 18;
        tag = GetLE16(ext + 8);
    }
    if (channels == 0) {
        error = "no channels";
        return false;
    }
    uint16_t bytesPerSample = uint16_t((bits + 7) / 8);
    bool ok = (tag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) || (tag == 3 && bits == 32) ||
              (tag == 7 && bits == 8);
    if (!ok) {
        error = "unsupported sample format";
        return false;
    }
    size_t frameBytes = size_t(bytesPerSample) * channels;
    size_t frames = raw.size() / frameBytes;
    mono.assign(frames, 0.0f);
    for (size_t i = 0; i < frames; ++i) {
        const uint8_t* p = raw.data() + i * frameBytes;
        float sum = 0;
        for (uint16_t c = 0; c < channels; ++c, p += bytesPerSample) {
            float v;
            if (tag == 7)
                v = MuLawToFloat(p[0]);
            else if (tag == 3) {
                float f;
                memcpy(&f, p, 4);
                v = f;
            } else if (bits == 8)
                v = (float(p[0]) - 128.0f) / 128.0f;
            else if (bits == 16)
                v = float(int16_t(p[0] | (p[1] << 8))) / 32768.0f;
            else if (bits == 24)
                v = float(int32_t(uint32_t(p[0] << 8) | uint32_t(p[1] << 16) | uint32_t(p[2]) << 24) >> 8) / 8388608.0f;
            else {
                int32_t s;
                memcpy(&s, p, 4);
                v = float(s) / 2147483648.0f;
            }
            sum += v;
        }
        mono[i] = sum / channels;
    }
    return true;
}

}  // namespace

bool CCaptureSource::Load(const std::string& path, const SoundFormat& target, std::string& error)
{
    m_data.clear();
    m_pos = 0;
    m_blockAlign = target.BlockAlign();
    m_silence = target.bitsPerSample == 8 ? 0x80 : 0;
    if (target.channels == 0 || (target.bitsPerSample != 8 && target.bitsPerSample != 16)) {
        error = "unsupported device format";
        return false;
    }

    CWaveFile wav;
    if (!wav.OpenRead(path.c_str())) {
        error = "cannot read capture file " + path;
        return false;
    }
    std::vector<uint8_t> raw(wav.BytesAvailable());
    if (!raw.empty() && wav.Read(raw.data(), unsigned(raw.size())) != raw.size()) {
        error = "cannot read capture file " + path;
        return false;
    }
    std::vector<float> mono;
    if (!DecodeToMono(wav, raw, mono, error))
        return false;
    raw.clear();
    raw.shrink_to_fit();

    uint32_t rate = wav.SamplesPerSec();
    if (rate != target.samplesPerSec && !mono.empty()) {
        double ratio = double(target.samplesPerSec) / rate;
        std::vector<float> out(size_t(std::ceil(mono.size() * ratio)) + 16);
        size_t done = 0;
        soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t e = soxr_oneshot(rate, target.samplesPerSec, 1, mono.data(), mono.size(), nullptr, out.data(),
                                      out.size(), &done, &io, &q, nullptr);
        if (e) {
            error = std::string("rate conversion failed: ") + e;
            return false;
        }
        out.resize(done);
        mono.swap(out);
    }

    uint16_t bytes = uint16_t(target.bitsPerSample / 8);
    m_data.resize(mono.size() * m_blockAlign);
    uint8_t* p = m_data.data();
    for (float v : mono) {
        v = std::clamp(v, -1.0f, 1.0f);
        for (uint16_t c = 0; c < target.channels; ++c) {
            if (bytes == 1) {
                *p++ = uint8_t(std::clamp(std::lround(v * 128.0f) + 128, 0L, 255L));
            } else {
                auto s = int16_t(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L));
                *p++ = uint8_t(s);
                *p++ = uint8_t(uint16_t(s) >> 8);
            }
        }
    }
    return true;
}

void CCaptureSource::Take(uint8_t* dst, uint32_t frames)
{
    uint64_t have = Frames() > m_pos ? Frames() - m_pos : 0;
    uint64_t n = std::min<uint64_t>(have, frames);
    if (n)
        memcpy(dst, m_data.data() + m_pos * m_blockAlign, size_t(n) * m_blockAlign);
    if (n < frames)
        memset(dst + n * m_blockAlign, m_silence, size_t(frames - n) * m_blockAlign);
    m_pos += frames;
}

void CCaptureSource::Skip(uint64_t frames)
{
    m_pos += frames;
}
