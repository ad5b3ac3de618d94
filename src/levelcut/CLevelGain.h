// Chooses the one gain applied to a message and counts the samples that clip.
#pragma once

#include <cstddef>

class CLevelGain {
public:
    static constexpr double kTargetDb = -19.6;  // active speech level, dBFS
    static constexpr double kMaxGainDb = 40.0;
    static constexpr double kMinGainDb = -40.0;
    static constexpr double kFullScale = 32767.0;

    // How many of n samples may clip.
    static size_t AllowedClips(size_t n, double clipPercent);
    // Largest gain (dB) at which at most floor(clipPercent/100 * n) of the
    // samples exceed full scale; +infinity when nothing limits it.
    static double ClipLimitDb(const float* x, size_t n, double clipPercent);
    // The gain for speech of the given level (mean power per sample on the
    // 16-bit scale), within the clip limit and the gain range. levelPower 0
    // means no speech: the gain is 0 dB unless the clip limit is lower.
    static double Choose(double levelPower, double clipLimitDb);
    static size_t CountClips(const float* x, size_t n, double gainDb);
};
