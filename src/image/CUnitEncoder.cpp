#include "CUnitEncoder.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "MuLawTable.h"

namespace {

constexpr int kUnitRate = 8000;
constexpr size_t kResampledBlock = 16384;  // the resampler fills it in turns

}  // namespace

void CUnitEncoder::SoxrCloser::operator()(soxr* s) const
{
    soxr_delete(s);
}

CUnitEncoder::CUnitEncoder(std::vector<uint8_t>& out, uint32_t cap) : m_out(out), m_cap(cap) { }

CUnitEncoder::~CUnitEncoder() = default;

bool CUnitEncoder::Start(int rate, int channels, std::string& error)
{
    m_channels = std::max(channels, 1);
    m_resampled.resize(kResampledBlock);
    if (rate == kUnitRate)
        return true;
    soxr_error_t failure = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    m_resampler.reset(soxr_create(rate, kUnitRate, 1, &failure, &io, &quality, nullptr));
    if (m_resampler && !failure)
        return true;
    error = std::string("the resampler could not start: ") + (failure ? failure : "");
    return false;
}

bool CUnitEncoder::Feed(const float* frames, size_t count, std::string& error)
{
    if (m_channels == 1)
        return Resample(frames, count, error);
    m_mono.resize(count);
    const float scale = 1.0f / float(m_channels);
    for (size_t i = 0; i < count; ++i, frames += m_channels) {
        float sum = 0.0f;
        for (int c = 0; c < m_channels; ++c)
            sum += frames[c];
        m_mono[i] = sum * scale;
    }
    return Resample(m_mono.data(), count, error);
}

bool CUnitEncoder::Finish(std::string& error)
{
    return Full() || Resample(nullptr, 0, error);
}

// Feeds input through the resampler (or straight on at 8 kHz); a null input
// drains what the resampler still holds.
bool CUnitEncoder::Resample(const float* in, size_t count, std::string& error)
{
    if (!m_resampler) {
        Encode(in, count);
        return true;
    }
    do {
        size_t used = 0, made = 0;
        const soxr_error_t failure =
            soxr_process(m_resampler.get(), in, count, &used, m_resampled.data(), m_resampled.size(), &made);
        if (failure) {
            error = std::string("resampling failed: ") + failure;
            return false;
        }
        Encode(m_resampled.data(), made);
        if (in) {
            in += used;
            count -= used;
            if (count == 0 || (used == 0 && made == 0))
                break;
        } else if (made == 0) {
            break;
        }
    } while (!Full());
    return true;
}

void CUnitEncoder::Encode(const float* samples, size_t count)
{
    for (size_t i = 0; i < count && !Full(); ++i) {
        float v = samples[i] * 32768.0f;
        if (v != v)  // NaN in a float file
            v = 0.0f;
        if (v > 32767.0f) {
            v = 32767.0f;
            ++m_clamped;
        } else if (v < -32768.0f) {
            v = -32768.0f;
            ++m_clamped;
        }
        m_out.push_back(MuLawTable::Encode(int16_t(std::lrint(v))));
    }
}
