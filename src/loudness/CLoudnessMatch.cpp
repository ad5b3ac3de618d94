#include "CLoudnessMatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "MuLawTable.h"

namespace {

// Room kept under the ceiling so that a gain found by stepping lands inside.
constexpr double kPeakMargin = 0.02;
constexpr int kMaxTries = 24;
// The loudness aimed at after encoding, so that a match lands well inside the
// tolerance and a second match finds the message already there.
constexpr double kAim = 0.02;
constexpr int kMaxCorrections = 10;
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

    // Encoding moves the loudness a little and in steps (a steady tone has
    // few distinct codes), and the true peak more (mu-law steps, clipping at
    // full scale). The gain is first found on the encoded result for the
    // target, correcting and then halving between a gain too quiet and one
    // too loud; then it is lowered until the peak holds.
    struct Try {
        double gain = 0;
        std::vector<uint8_t> codes;
        SLoudness loudness;
    };
    auto attempt = [&](double gain) {
        Try t;
        t.gain = gain;
        t.codes = Encode(samples, gain);
        t.loudness = CLoudnessMeter::MeasureCodes(t.codes.data(), t.codes.size());
        return t;
    };
    auto error = [&](const Try& t) { return t.loudness.Measured() ? std::fabs(t.loudness.lufs - target) : HUGE_VAL; };

    Try best = attempt(target - outcome.before.lufs);
    double below = -HUGE_VAL;  // a gain known to land under the target
    double above = HUGE_VAL;   // and one known to land over it
    double gain = best.gain;
    Try now = best;
    for (int i = 0; i < kMaxCorrections && error(now) > kAim && now.loudness.Measured(); ++i) {
        if (now.loudness.lufs < target)
            below = std::max(below, gain);
        else
            above = std::min(above, gain);
        double next = gain + (target - now.loudness.lufs);
        if (std::isfinite(below) && std::isfinite(above) && (next <= below || next >= above))
            next = (below + above) / 2;
        if (std::fabs(next - gain) < 0.001)
            break;
        gain = next;
        now = attempt(gain);
        if (error(now) < error(best))
            best = now;
    }

    bool limited = false;
    bool fits = best.loudness.truePeak <= kPeakCeiling;
    for (int i = 0; i < kMaxTries && !fits; ++i) {
        limited = true;
        best = attempt(best.gain - (best.loudness.truePeak - kPeakCeiling + kPeakMargin));
        fits = best.loudness.truePeak <= kPeakCeiling;
    }
    // Clipping can keep the peak up however the gain is stepped: walk down.
    while (!fits && best.gain > kLowestGainDb) {
        best = attempt(best.gain - kFallbackStepDb);
        fits = best.loudness.truePeak <= kPeakCeiling;
    }
    if (!fits) {
        outcome.kind = SMatchOutcome::Kind::kSkipped;
        return outcome;
    }
    std::vector<uint8_t> encoded = std::move(best.codes);
    const SLoudness measured = best.loudness;
    gain = best.gain;
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
