#include "CLevelGain.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

size_t CLevelGain::AllowedClips(size_t n, double clipPercent)
{
    // The settings arrive as floats: 0.03 % of 10000 must be 3, not 2.
    double k = std::floor(clipPercent / 100.0 * double(n) + 1e-6);
    return k > 0.0 ? size_t(k) : 0;
}

double CLevelGain::ClipLimitDb(const float* x, size_t n, double clipPercent)
{
    const double inf = std::numeric_limits<double>::infinity();
    size_t k = AllowedClips(n, clipPercent);
    if (k >= n)
        return inf;
    std::vector<float> mag(x, x + n);
    for (float& v : mag)
        v = std::fabs(v);
    // The (k+1)-th largest magnitude may just reach full scale.
    std::nth_element(mag.begin(), mag.begin() + std::ptrdiff_t(k), mag.end(), std::greater<float>());
    double a = mag[k];
    if (a <= 0.0)
        return inf;
    // A hair under the exact limit, so that rounding never adds a clip.
    return 20.0 * std::log10(kFullScale / a) - 1e-6;
}

double CLevelGain::Choose(double levelPower, double clipLimitDb)
{
    double g = 0.0;
    if (levelPower > 0.0) {
        double levelDb = 10.0 * std::log10(levelPower / (32768.0 * 32768.0));
        g = std::clamp(kTargetDb - levelDb, kMinGainDb, kMaxGainDb);
    }
    return std::min(g, clipLimitDb);
}

size_t CLevelGain::CountClips(const float* x, size_t n, double gainDb)
{
    const double lin = std::pow(10.0, gainDb / 20.0);
    size_t clips = 0;
    for (size_t i = 0; i < n; ++i)
        if (std::fabs(double(x[i]) * lin) > kFullScale)
            ++clips;
    return clips;
}
