// The loudness of a message as the unit plays it: its mu-law codes decoded at
// 8 kHz, measured as integrated loudness with gating (LUFS) and true peak
// (dBTP). Levels are relative to a 16-bit full scale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class cMemoryMap;

struct SLoudness {
    enum class State {
        kEmpty,     // the slot holds no audio
        kTooShort,  // shorter than one gating block (400 ms): no integrated loudness
        kSilent,    // every block below the absolute gate
        kMeasured,
    };
    State state = State::kEmpty;
    double lufs = 0;      // integrated loudness, when measured
    double truePeak = 0;  // dBTP; -inf for digital silence
    bool Measured() const { return state == State::kMeasured; }
};

class CLoudnessMeter {
public:
    static constexpr unsigned kRate = 8000;
    static constexpr size_t kMinSamples = kRate * 4 / 10;  // one gating block

    static SLoudness MeasureCodes(const uint8_t* codes, size_t count);
    static SLoudness MeasureSamples(const std::vector<float>& samples);
    static SLoudness MeasureSlot(const cMemoryMap& map, uint8_t slot);
    // Every slot, the messages measured side by side on the processor's cores.
    static std::array<SLoudness, 8> MeasureImage(const cMemoryMap& map);

    // The codes as the unit plays them, full scale 1.0.
    static std::vector<float> Decode(const uint8_t* codes, size_t count);

    // "-19.8 LUFS", "too short", "silent"; empty for an empty slot.
    static std::string LoudnessText(const SLoudness& loudness);
    // "-2.1 dBTP"; empty for an empty slot.
    static std::string PeakText(const SLoudness& loudness);
};

// The panel's list shows every message's loudness after every change; a
// message whose audio did not change is not measured again.
class CLoudnessCache {
public:
    SLoudness Get(const cMemoryMap& map, uint8_t slot);

private:
    struct Entry {
        bool valid = false;
        uint32_t length = 0;
        uint64_t hash = 0;
        SLoudness loudness;
    };
    std::array<Entry, 8> m_entries;
};
