// Turns a PCM capture into the 8 kHz float signal that is analysed and
// encoded: DC removed, resampled, mains hum taken out, high-passed at 80 Hz,
// and digital silence (exact zeros in the capture) kept exactly zero.
#pragma once

#include "CHumRemover.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CConditioner {
public:
    static constexpr unsigned kOutRate = 8000;
    static constexpr double kHighPassHz = 80.0;
    // Decisions are taken on the speech band alone, so that rumble under it
    // (ventilation, traffic, wind) counts as noise, never as speech.
    static constexpr double kSpeechBandHz = 300.0;
    struct Signal {
        std::vector<float> x;              // 8 kHz, 16-bit scale
        std::vector<uint8_t> silentFrame;  // per 10 ms frame: the capture is all exact zeros there
        double humHz = 0.0;                // mains hum found and removed; 0: none
        double humPower = 0.0;             // its mean power per sample
    };

    // PCM bytes (8-bit unsigned or 16-bit signed little-endian) to floats on
    // the 16-bit scale.
    static std::vector<float> ToFloat(const uint8_t* data, size_t bytes, unsigned bits);
    // Removes the mean of the samples that are not exactly zero from them;
    // exact zeros (digital silence) stay zero.
    static void RemoveMean(std::vector<float>& x);
    // False when the resampler fails.
    static bool Resample(const std::vector<float>& in, unsigned inRate, std::vector<float>& out);
    static void HighPass(std::vector<float>& x, double hz = kHighPassHz);
    // A copy of an 8 kHz signal with what lies under the speech band taken
    // out (eighth order at kSpeechBandHz); digital silence stays zero.
    static std::vector<float> SpeechBand(const float* x, size_t n);
    // Per 10 ms frame of an 8 kHz signal of outSamples samples: whether every
    // sample of the capture (at inRate) under that frame is exactly zero.
    static std::vector<uint8_t> SilentFrames(const std::vector<float>& in, unsigned inRate, size_t outSamples);
    // Finds mains hum in the frames that hold only background and removes it.
    static CHumRemover::Hum RemoveHum(std::vector<float>& x, const std::vector<uint8_t>& silentFrame);
    // All of the above. False when the resampler fails.
    static bool Run(const uint8_t* data, size_t bytes, unsigned bits, unsigned rate, Signal& out);
};
