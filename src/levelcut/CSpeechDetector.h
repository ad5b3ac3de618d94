// Finds where the speech of a recording starts and ends, on 10 ms frames of
// an 8 kHz signal (16-bit scale). See levelcut.h for the rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CSpeechDetector {
public:
    static constexpr size_t kFrame = 80;           // 10 ms at 8 kHz
    static constexpr size_t kMinSpeechFrames = 4;  // sounds under 40 ms are clicks
    // A clear run this short standing apart is an impulse (a switch, a tap
    // on the microphone): never in the level; and when it is louder than the
    // speech it cannot be a stop consonant's release, so it never joins it.
    static constexpr size_t kMaxImpulseFrames = 3;
    static constexpr double kClearRatio = 2.0;  // clearly over the floor: 6 dB (RMS ratio)
    static constexpr double kMaxFactor = 5.0;

    struct Settings {
        double factor = 1.0;         // how eagerly faint sound at the edges is trimmed
        size_t hangoverFrames = 21;  // short sounds this close to the kept part join it
        double minNoisePower = 0.0;  // the floor is never lower: quantisation noise, hum left
    };

    struct Result {
        bool speechFound = false;
        size_t firstFrame = 0;  // speech region [firstFrame, endFrame), the same at every factor
        size_t endFrame = 0;
        size_t keepFirst = 0;  // frames kept for the factor, margins not included:
        size_t keepEnd = 0;    // the speech and what joins it, or all that is not digital silence
        // The margins of silence around what is kept stop short of an impulse
        // that is not part of it: they reach no further than [marginFirst, marginEnd).
        size_t marginFirst = 0;
        size_t marginEnd = SIZE_MAX;
        double floorRms = 0.0;     // noise floor (frame RMS)
        double clearRms = 0.0;     // frames over this are clearly over the floor
        double edgeRms = 0.0;      // faint sound over this joins the speech at its edges
        double noisePower = 0.0;   // per sample, for the SNR
        double speechPower = 0.0;  // mean over the speech region, noise included
        double levelPower = 0.0;   // active speech level for the gain, noise removed
    };

    static std::vector<double> FramePowers(const float* x, size_t n);
    // silent: per frame, digital silence (may be empty: none).
    static Result Detect(const float* x, size_t n, const std::vector<uint8_t>& silent, const Settings& s);
    // Hangover in frames for a time constant (see levelcut.h).
    static size_t HangoverFrames(double timeConstant);
    // The edge level for a factor, as a ratio of the clear level: 0 at
    // factor 0, 3 dB under it at factor 1, the clear level itself at 5.
    static double EdgeRatio(double factor);
};
