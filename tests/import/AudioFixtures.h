// Audio files made at test time by sox, and measurements of the unit audio
// that an import produced.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "MuLawTable.h"

// Runs sox quietly; true when it made the file.
inline bool RunSox(const std::string& args)
{
    return std::system(("sox -q -D " + args + " 2>/dev/null").c_str()) == 0;
}

// A tone of the given frequency and amplitude (of full scale) in the format
// that soxFormat names ("-r 44100 -c 2 -b 16 -e signed-integer").
inline bool MakeTone(const std::string& path, const std::string& soxFormat, double seconds, double frequency = 1000,
                     double amplitude = 0.5, const std::string& shape = "sine")
{
    return RunSox("-n " + soxFormat + " '" + path + "' synth " + std::to_string(seconds) + " " + shape + " " +
                  std::to_string(frequency) + " vol " + std::to_string(amplitude));
}

inline std::vector<double> Decode(const uint8_t* codes, size_t n)
{
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = MuLawTable::Decode(codes[i]) / 32768.0;
    return x;
}

// The part of 8 kHz audio at one frequency, fitted over samples [from, to):
// its RMS level, and the RMS of everything.
struct ToneFit {
    double toneRms = 0;
    double totalRms = 0;
};

inline ToneFit FitTone(const std::vector<double>& x, size_t from, size_t to, double frequency)
{
    double c = 0, s = 0, all = 0;
    const double w = 2 * M_PI * frequency / 8000.0;
    for (size_t i = from; i < to; ++i) {
        c += x[i] * std::cos(w * double(i));
        s += x[i] * std::sin(w * double(i));
        all += x[i] * x[i];
    }
    const double n = double(to - from);
    const double amplitude = 2 * std::sqrt(c * c + s * s) / n;
    return {amplitude / std::sqrt(2.0), std::sqrt(all / n)};
}

inline double Db(double ratio)
{
    return 20 * std::log10(ratio);
}
