#include "CLoudnessMatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "MuLawTable.h"

namespace {

// Room kept under the ceiling so that a gain found by stepping lands inside.
constexpr double kPeakMargin = 0.02;
constexpr int kMaxTries = 24;
constexpr double kFallbackStepDb = 0.5;
constexpr double kLowestGainDb = -90.0;

}  // namespace

std::vector<uint8_t> CLoudnessMatch::Encode(const std::vector<float>& samples, double gainDb)
{
    const double gain = std::pow(10.0, gainDb / 20.0) * 32768.0;
    std::vector<uint8_t> codes(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = std::clamp(std::lround(samples[i] * gain), -32768L, 32767L);
        codes[i] = MuLawTable::Encode(int16_t(v));
    }
    return codes;
}

SMatchOutcome CLoudnessMatch::MatchCodes(std::vector<uint8_t>& codes, double target)
{
    SMatchOutcome outcome;
    if (codes.empty())
        return outcome;
    const std::vector<float> samples = CLoudnessMeter::Decode(codes.data(), codes.size());
    outcome.before = CLoudnessMeter::MeasureSamples(samples);
    outcome.after = outcome.before;
    if (!outcome.before.Measured()) {
        outcome.kind = SMatchOutcome::Kind::kSkipped;
        return outcome;
    }
    if (std::fabs(outcome.before.lufs - target) <= kTolerance / 2 && outcome.before.truePeak <= kPeakCeiling) {
        outcome.kind = SMatchOutcome::Kind::kUnchanged;
        return outcome;
    }

    // Encoding moves the loudness a little and the true peak more (mu-law
    // steps, clipping at full scale): the gain is corrected on the encoded
    // result, first for the target, then lowered until the peak holds.
    double gain = target - outcome.before.lufs;
    bool limited = false;
    std::vector<uint8_t> encoded;
    SLoudness measured;
    bool fits = false;
    for (int i = 0; i < kMaxTries && !fits; ++i) {
        encoded = Encode(samples, gain);
        measured = CLoudnessMeter::MeasureCodes(encoded.data(), encoded.size());
        if (measured.truePeak > kPeakCeiling) {
            gain -= measured.truePeak - kPeakCeiling + kPeakMargin;
            limited = true;
        } else if (!limited && measured.Measured() && std::fabs(measured.lufs - target) > kTolerance / 2 && i < 3) {
            gain += target - measured.lufs;
        } else {
            fits = true;
        }
    }
    // Clipping can keep the peak up however the gain is stepped: walk down.
    while (!fits && gain > kLowestGainDb) {
        gain -= kFallbackStepDb;
        encoded = Encode(samples, gain);
        measured = CLoudnessMeter::MeasureCodes(encoded.data(), encoded.size());
        fits = measured.truePeak <= kPeakCeiling;
    }
    if (!fits) {
        outcome.kind = SMatchOutcome::Kind::kSkipped;
        return outcome;
    }
    codes = std::move(encoded);
    outcome.after = measured;
    outcome.gainDb = gain;
    const bool reached = measured.Measured() && measured.lufs >= target - kTolerance;
    outcome.kind = reached || !limited ? SMatchOutcome::Kind::kMatched : SMatchOutcome::Kind::kLimited;
    return outcome;
}

std::string CLoudnessMatch::Describe(const SMatchOutcome& outcome)
{
    char text[128];
    const int number = outcome.slot + 1;
    switch (outcome.kind) {
    case SMatchOutcome::Kind::kMatched:
        std::snprintf(text, sizeof text, "Message %d reaches %.1f LUFS (%+.1f dB)", number, outcome.after.lufs,
                      outcome.gainDb);
        break;
    case SMatchOutcome::Kind::kLimited:
        std::snprintf(text, sizeof text, "Message %d reaches %.1f LUFS: louder would clip", number, outcome.after.lufs);
        break;
    case SMatchOutcome::Kind::kUnchanged:
        std::snprintf(text, sizeof text, "Message %d is already at %.1f LUFS", number, outcome.before.lufs);
        break;
    case SMatchOutcome::Kind::kSkipped:
        std::snprintf(text, sizeof text, "Message %d is %s: left as it is", number,
                      CLoudnessMeter::LoudnessText(outcome.before).c_str());
        break;
    case SMatchOutcome::Kind::kEmpty:
        std::snprintf(text, sizeof text, "Message %d is empty", number);
        break;
    }
    return text;
}
