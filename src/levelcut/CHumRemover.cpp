#include "CHumRemover.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kFrame = 80;            // 10 ms at 8 kHz
constexpr size_t kMaxFrames = 200;       // background frames correlated (2 s)
constexpr size_t kMinPairs = 800;        // 100 ms of background a period apart
constexpr double kMinCorrelation = 0.4;  // hum at least two thirds of the background's power
constexpr double kRate = 8000.0;

struct Correlator {
    const std::vector<float>& x;
    const std::vector<uint8_t>& background;
    std::vector<size_t> frames;  // the background frames measured

    // Normalised correlation between the measured frames and the recording
    // lag samples later, where that is background too; -2 when too few.
    double At(long lag) const
    {
        if (lag <= 0)
            return -2.0;
        const size_t n = x.size(), l = size_t(lag);
        double xy = 0.0, xx = 0.0, yy = 0.0;
        size_t pairs = 0;
        for (size_t f : frames) {
            const size_t b = f * kFrame, e = std::min(n, b + kFrame);
            if (e + l > n)
                continue;
            for (size_t i = b; i < e; ++i) {
                if (!background[(i + l) / kFrame])
                    continue;
                const double a = x[i], c = x[i + l];
                xy += a * c;
                xx += a * a;
                yy += c * c;
                ++pairs;
            }
        }
        if (pairs < kMinPairs || xx <= 0.0 || yy <= 0.0)
            return -2.0;
        return xy / std::sqrt(xx * yy);
    }

    // The best lag within [lo, hi] and its correlation, refined between
    // samples by a parabola through the peak and its neighbours.
    bool Peak(long lo, long hi, double& lag, double& rho) const
    {
        std::vector<double> r;
        for (long l = lo - 1; l <= hi + 1; ++l)
            r.push_back(At(l));
        size_t best = 0;
        for (size_t i = 1; i + 1 < r.size(); ++i)
            if (best == 0 || r[i] > r[best])
                best = i;
        if (best == 0 || r[best] <= -1.0 || r[best - 1] <= -1.0 || r[best + 1] <= -1.0)
            return false;
        const double den = r[best - 1] - 2.0 * r[best] + r[best + 1];
        const double off = den < 0.0 ? std::clamp(0.5 * (r[best - 1] - r[best + 1]) / den, -0.5, 0.5) : 0.0;
        lag = double(lo - 1 + long(best)) + off;
        rho = r[best];
        return true;
    }
};

// Four-point Lagrange interpolation weights for the points -1, 0, 1, 2 at
// the fraction f in [0, 1).
void Lagrange(double f, float c[4])
{
    c[0] = float(-f * (f - 1.0) * (f - 2.0) / 6.0);
    c[1] = float((f + 1.0) * (f - 1.0) * (f - 2.0) / 2.0);
    c[2] = float(-(f + 1.0) * f * (f - 2.0) / 2.0);
    c[3] = float((f + 1.0) * f * (f - 1.0) / 6.0);
}

}  // namespace

CHumRemover::Hum CHumRemover::Find(const std::vector<float>& x, const std::vector<uint8_t>& background)
{
    Hum hum;
    Correlator c{x, background, {}};
    size_t count = 0;
    for (uint8_t b : background)
        count += b ? 1 : 0;
    if (count == 0)
        return hum;
    const size_t stride = (count + kMaxFrames - 1) / kMaxFrames;
    for (size_t f = 0, k = 0; f < background.size(); ++f)
        if (background[f] && k++ % stride == 0)
            c.frames.push_back(f);

    // One period: which mains, and roughly its period. The search reaches
    // a little past the tolerance: other periodic sound in the background
    // can move the peak by a sample or so.
    double best = 0.0, period = 0.0, rho = 0.0;
    for (double mains : {50.0, 60.0}) {
        const double shortest = kRate / (mains * (1.0 + kTolerance)), longest = kRate / (mains * (1.0 - kTolerance));
        double lag = 0.0, r = 0.0;
        if (!c.Peak(long(std::floor(shortest)) - 2, long(std::ceil(longest)) + 2, lag, r))
            continue;
        if (r > rho) {
            best = mains;
            period = lag;
            rho = r;
        }
    }
    if (best == 0.0 || rho < kMinCorrelation)
        return hum;

    // Then over 4, 16, 64 and 256 periods while the background allows: the
    // error of the lag is shared among the periods.
    double error = 1.5;  // samples, in the period measured last
    for (double periods = 4.0; periods <= 256.0; periods *= 4.0) {
        const long half = 2 + long(std::ceil(periods * error));
        const long mid = long(std::lround(periods * period));
        if (double(mid + half + 2) >= double(x.size()))
            break;
        double lag = 0.0, r = 0.0;
        if (!c.Peak(mid - half, mid + half, lag, r))
            break;
        period = lag / periods;
        rho = r;
        error = 0.5 / periods;
    }
    const double hz = kRate / period;
    if (rho < kMinCorrelation || std::fabs(hz / best - 1.0) > kTolerance)
        return hum;
    hum.hz = hz;
    hum.period = period;
    hum.correlation = rho;
    return hum;
}

std::vector<float> CHumRemover::Weights(const std::vector<float>& x, double period,
                                        const std::vector<uint8_t>& silentFrame)
{
    // A rough look without the hum: each sample less the mean of the samples
    // a period before and after it. Speech passes (coloured), the hum does not.
    const long n = long(x.size());
    const long whole = long(std::floor(period));
    const double frac = period - double(whole);
    float ahead[4], back[4];
    Lagrange(frac, ahead);
    Lagrange(1.0 - frac, back);
    auto at = [&](long a, const float* c) {  // x between a and a + 1
        const float* p = x.data() + a - 1;
        return c[0] * p[0] + c[1] * p[1] + c[2] * p[2] + c[3] * p[3];
    };
    const size_t frames = silentFrame.size();
    std::vector<double> power(frames, 0.0);
    for (long s = 0; s < n; ++s) {
        double sum = 0.0;
        int count = 0;
        const long before = s - whole - 1, after = s + whole;  // s - period, s + period
        if (before >= 1 && before + 2 < n) {
            sum += at(before, back);
            ++count;
        }
        if (after >= 1 && after + 2 < n) {
            sum += at(after, ahead);
            ++count;
        }
        const double r = count ? double(x[size_t(s)]) - sum / count : 0.0;
        power[size_t(s) / kFrame] += r * r;
    }
    // Background: the median of the quieter half of the frames.
    std::vector<double> sound;
    for (size_t f = 0; f < frames; ++f)
        if (!silentFrame[f])
            sound.push_back(power[f]);
    std::vector<float> weight(frames, 0.0f);
    if (sound.empty())
        return weight;
    const size_t q = sound.size() / 4;
    std::nth_element(sound.begin(), sound.begin() + std::ptrdiff_t(q), sound.end());
    const double background = sound[q];
    for (size_t f = 0; f < frames; ++f)
        weight[f] = silentFrame[f] ? 0.0f : power[f] <= kLouder * background ? 1.0f : kLouderWeight;
    return weight;
}

double CHumRemover::Remove(std::vector<float>& x, double period, const std::vector<uint8_t>& silentFrame)
{
    const std::vector<float> weight = Weights(x, period, silentFrame);
    struct Tap {
        long at;     // the point before the fractional position
        float c[4];  // interpolation weights for at-1 .. at+2
        double w;    // window weight of its period
    };
    std::vector<Tap> taps;
    for (int k = -kPeriodsEachSide; k <= kPeriodsEachSide; ++k) {
        const double pos = double(k) * period;
        Tap t;
        t.at = long(std::floor(pos));
        Lagrange(pos - double(t.at), t.c);
        t.w = 0.5 * (1.0 + std::cos(M_PI * double(k) / double(kPeriodsEachSide + 1)));
        taps.push_back(t);
    }

    // A frame of output at a time, a tap at a time: within a frame a tap
    // reads at most two frames of input, each with one weight. Frames whose
    // taps all lie within the recording take the plain loop of 80 samples.
    const long n = long(x.size());
    const std::vector<float> in = x;
    const long reachBack = 1 - taps.front().at, reachAhead = taps.back().at + long(kFrame) + 2;
    float sum[kFrame], wsum[kFrame], w[kFrame];
    double removed = 0.0;
    for (long b = 0; b < n; b += long(kFrame)) {
        const long len = std::min(long(kFrame), n - b);
        if (weight[size_t(b) / kFrame] == 0.0f)
            continue;
        std::fill(sum, sum + kFrame, 0.0f);
        std::fill(wsum, wsum + kFrame, 0.0f);
        const bool inside = b >= reachBack && b + reachAhead <= n;
        for (const Tap& t : taps) {
            const long first = b + t.at;  // input point of the frame's first sample
            const float* p = in.data() + first - 1;
            if (inside) {
                const long split = long(kFrame) - first % long(kFrame);
                std::fill(w, w + split, float(t.w) * weight[size_t(first) / kFrame]);
                std::fill(w + split, w + kFrame,
                          float(t.w) * weight[std::min(weight.size() - 1, size_t(first) / kFrame + 1)]);
                for (size_t j = 0; j < kFrame; ++j) {
                    sum[j] += w[j] * (t.c[0] * p[j] + t.c[1] * p[j + 1] + t.c[2] * p[j + 2] + t.c[3] * p[j + 3]);
                    wsum[j] += w[j];
                }
                continue;
            }
            // Samples b + i whose four points lie within the recording.
            for (long i = std::max(0L, 1 - first), end = std::min(len, n - 2 - first); i < end; ++i) {
                const float wi = float(t.w) * weight[size_t(first + i) / kFrame];
                sum[i] += wi * (t.c[0] * p[i] + t.c[1] * p[i + 1] + t.c[2] * p[i + 2] + t.c[3] * p[i + 3]);
                wsum[i] += wi;
            }
        }
        for (long j = 0; j < len; ++j) {
            if (!(wsum[j] > 0.0f))
                continue;
            const float hum = sum[j] / wsum[j];
            x[size_t(b + j)] = in[size_t(b + j)] - hum;
            removed += double(hum) * hum;
        }
    }
    return n > 0 ? removed / double(n) : 0.0;
}
