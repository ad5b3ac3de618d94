// Turns a PCM capture into the 8 kHz float signal that is analysed and
// encoded: DC removed, resampled, high-passed at 80 Hz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CConditioner {
public:
    static constexpr unsigned kOutRate = 8000;
    static constexpr double kHighPassHz = 80.0;

    // PCM bytes (8-bit unsigned or 16-bit signed little-endian) to floats on
    // the 16-bit scale.
    static std::vector<float> ToFloat(const uint8_t* data, size_t bytes, unsigned bits);
    static void RemoveMean(std::vector<float>& x);
    // False when the resampler fails.
    static bool Resample(const std::vector<float>& in, unsigned inRate, std::vector<float>& out);
    static void HighPass(std::vector<float>& x);
    // All of the above.
    static bool Run(const uint8_t* data, size_t bytes, unsigned bits, unsigned rate, std::vector<float>& out);
};
