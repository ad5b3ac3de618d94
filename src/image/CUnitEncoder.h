// The way from decoded audio of any rate and channel count to the unit's
// codes: the channels mixed to mono, resampled to 8 kHz (libsoxr, high
// quality), encoded as mu-law, up to a cap. Samples beyond full scale are
// clamped and counted; NaN in a float file becomes silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct soxr;

class CUnitEncoder {
public:
    // Codes are appended to out, never more than cap in all.
    CUnitEncoder(std::vector<uint8_t>& out, uint32_t cap);
    ~CUnitEncoder();

    // For audio at rate with channels interleaved; false (error set) when the
    // resampler cannot start.
    bool Start(int rate, int channels, std::string& error);
    // Interleaved frames; false (error set) when resampling failed.
    bool Feed(const float* frames, size_t count, std::string& error);
    // Drains what the resampler still holds.
    bool Finish(std::string& error);

    bool Full() const { return m_out.size() >= m_cap; }
    uint64_t Clamped() const { return m_clamped; }

private:
    bool Resample(const float* in, size_t count, std::string& error);
    void Encode(const float* samples, size_t count);

    struct SoxrCloser {
        void operator()(soxr* s) const;
    };
    std::vector<uint8_t>& m_out;
    uint32_t m_cap;
    int m_channels = 1;
    std::unique_ptr<soxr, SoxrCloser> m_resampler;
    std::vector<float> m_mono;
    std::vector<float> m_resampled;
    uint64_t m_clamped = 0;
};
