#include "CLoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "MuLawTable.h"
#include "cMemoryMap.h"

namespace {

struct StateFree {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

std::string Format(const char* format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::vector<float> CLoudnessMeter::Decode(const uint8_t* codes, size_t count)
{
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = float(MuLawTable::Decode(codes[i])) * (1.0f / 32768.0f);
    return samples;
}

SLoudness CLoudnessMeter::MeasureCodes(const uint8_t* codes, size_t count)
{
    if (count == 0)
        return {};
    return MeasureSamples(Decode(codes, count));
}

SLoudness CLoudnessMeter::MeasureSamples(const std::vector<float>& samples)
{
    SLoudness result;
    if (samples.empty())
        return result;
    std::unique_ptr<ebur128_state, StateFree> state(ebur128_init(1, kRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!state)
        return result;
    // A mono message is heard on one channel, at its own weight.
    ebur128_set_channel(state.get(), 0, EBUR128_CENTER);
    ebur128_add_frames_float(state.get(), samples.data(), samples.size());
    double peak = 0;
    ebur128_true_peak(state.get(), 0, &peak);
    result.truePeak = peak > 0 ? 20 * std::log10(peak) : -HUGE_VAL;
    double lufs = -HUGE_VAL;
    if (ebur128_loudness_global(state.get(), &lufs) != EBUR128_SUCCESS)
        lufs = -HUGE_VAL;
    if (samples.size() < kMinSamples)
        result.state = SLoudness::State::kTooShort;
    else if (!std::isfinite(lufs))
        result.state = SLoudness::State::kSilent;
    else
        result.state = SLoudness::State::kMeasured;
    result.lufs = lufs;
    return result;
}

SLoudness CLoudnessMeter::MeasureSlot(const cMemoryMap& map, uint8_t slot)
{
    if (!map.HoldsAudio(slot) || !map.GetImageBuffer())
        return {};
    return MeasureCodes(map.GetImageBuffer() + map.GetStart(slot), map.GetLength(slot));
}

std::string CLoudnessMeter::LoudnessText(const SLoudness& loudness)
{
    switch (loudness.state) {
    case SLoudness::State::kEmpty:
        return {};
    case SLoudness::State::kTooShort:
        return "too short";
    case SLoudness::State::kSilent:
        return "silent";
    case SLoudness::State::kMeasured:
        break;
    }
    return Format("%.1f LUFS", loudness.lufs);
}

std::string CLoudnessMeter::PeakText(const SLoudness& loudness)
{
    if (loudness.state == SLoudness::State::kEmpty)
        return {};
    if (!std::isfinite(loudness.truePeak))
        return "-inf dBTP";
    return Format("%.1f dBTP", loudness.truePeak);
}

std::array<SLoudness, 8> CLoudnessMeter::MeasureImage(const cMemoryMap& map)
{
    std::array<SLoudness, 8> result;
    const unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < cores; ++w) {
        workers.emplace_back([&, w] {
            for (unsigned slot = w; slot < 8; slot += cores)
                result[slot] = MeasureSlot(map, uint8_t(slot));
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return result;
}

SLoudness CLoudnessCache::Get(const cMemoryMap& map, uint8_t slot)
{
    if (slot >= m_entries.size())
        return {};
    if (!map.HoldsAudio(slot) || !map.GetImageBuffer()) {
        m_entries[slot].valid = false;
        return {};
    }
    // FNV-1a over the audio: far cheaper than measuring it.
    const uint8_t* p = map.GetImageBuffer() + map.GetStart(slot);
    const uint32_t length = map.GetLength(slot);
    uint64_t hash = 1469598103934665603ull;
    for (uint32_t i = 0; i < length; ++i)
        hash = (hash ^ p[i]) * 1099511628211ull;
    Entry& entry = m_entries[slot];
    if (!entry.valid || entry.length != length || entry.hash != hash) {
        entry.valid = true;
        entry.length = length;
        entry.hash = hash;
        entry.loudness = CLoudnessMeter::MeasureCodes(p, length);
    }
    return entry.loudness;
}
