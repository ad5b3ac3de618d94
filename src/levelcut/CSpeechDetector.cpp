#include "CSpeechDetector.h"

#include <algorithm>
#include <cmath>

namespace {

struct Burst {
    size_t begin;
    size_t end;   // exclusive
    bool speech;
};

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

std::vector<double> CSpeechDetector::FramePowers(const float* x, size_t n)
{
    std::vector<double> p((n + kFrame - 1) / kFrame);
    for (size_t f = 0; f < p.size(); ++f) {
        size_t b = f * kFrame, e = std::min(n, b + kFrame);
        double sum = 0.0;
        for (size_t i = b; i < e; ++i) sum += double(x[i]) * double(x[i]);
        p[f] = sum / double(e - b);
    }
    return p;
}

size_t CSpeechDetector::HangoverFrames(double timeConstant)
{
    const size_t maxFrames = 200;   // 2 s
    if (!(timeConstant < 1.0)) return maxFrames;
    if (!(timeConstant > 0.0)) return 0;
    // Half-power time of a one-pole follower with this coefficient per sample.
    double samples = std::log(std::pow(10.0, -0.15)) / std::log(timeConstant);
    double frames = std::floor(samples / double(kFrame));
    return frames >= double(maxFrames) ? maxFrames : size_t(frames);
}

CSpeechDetector::Result CSpeechDetector::Detect(const float* x, size_t n, const Settings& s)
{
    Result r;
    std::vector<double> p = FramePowers(x, n);
    const size_t m = p.size();
    r.inBurst.assign(m, false);
    r.noisePower = s.minNoisePower;
    if (m == 0) return r;

    std::vector<double> rms(m);
    for (size_t f = 0; f < m; ++f) rms[f] = std::sqrt(p[f]);
    std::vector<double> sorted = rms;
    std::sort(sorted.begin(), sorted.end());
    r.floorRms = sorted[(m - 1) / 10];
    const double loud = sorted[(m - 1) * 95 / 100];
    // The fixed threshold never sits closer than 26 dB under the loudest
    // frames, so that a quiet recording keeps its soft sounds; in noise the
    // threshold rides 12 dB over the floor.
    const double floorEff = std::max(r.floorRms, std::sqrt(s.minNoisePower));
    const double base = std::max(std::min(s.threshold, loud / 20.0), 4.0 * floorEff);
    // The factor raises the threshold, but never past 10 dB under the loud
    // frames (or past where factor 1 puts it, if that is higher): in noise a
    // large factor would otherwise climb over the speech itself and cut its
    // start and end, then lose it altogether. So a larger factor trims
    // harder, the loud middle of the speech always stays speech, and the
    // result moves monotonically over the whole range.
    const double ceiling = std::max(base, loud / std::sqrt(10.0));
    r.highRms = std::min(s.factor * base, ceiling);
    r.lowRms = r.highRms / 2.0;

    // Bursts: runs above the low threshold that reach the high one.
    std::vector<Burst> bursts;
    for (size_t f = 0; f < m;) {
        if (!(rms[f] > r.lowRms)) { ++f; continue; }
        size_t b = f;
        bool high = false;
        while (f < m && rms[f] > r.lowRms) {
            if (rms[f] > r.highRms) high = true;
            ++f;
        }
        if (high) bursts.push_back({b, f, f - b >= kMinSpeechFrames});
    }
    for (const Burst& b : bursts)
        for (size_t f = b.begin; f < b.end; ++f) r.inBurst[f] = true;

    size_t first = bursts.size(), last = 0;
    for (size_t i = 0; i < bursts.size(); ++i) {
        if (!bursts[i].speech) continue;
        if (first == bursts.size()) first = i;
        last = i;
    }

    if (first < bursts.size()) {
        // Short bursts within the hangover of the speech belong to it.
        size_t lo = first, hi = last;
        while (lo > 0 && bursts[lo].begin - bursts[lo - 1].end <= s.hangoverFrames) --lo;
        while (hi + 1 < bursts.size() && bursts[hi + 1].begin - bursts[hi].end <= s.hangoverFrames) ++hi;
        r.speechFound = true;
        r.firstFrame = bursts[lo].begin;
        r.endFrame = bursts[hi].end;
    }

    // Noise: the silence around the speech, without its clicks; failing
    // that, every frame outside a burst (pauses hold soft speech, so they
    // come second); failing that, the floor.
    std::vector<double> around, quiet;
    for (size_t f = 0; f < m; ++f) {
        if (r.inBurst[f]) continue;
        quiet.push_back(p[f]);
        if (f < r.firstFrame || f >= r.endFrame) around.push_back(p[f]);
    }
    double noise = around.size() >= 10 ? Median(around)
                 : quiet.size() >= 10 ? Median(quiet) : r.floorRms * r.floorRms;
    r.noisePower = std::max(noise, s.minNoisePower);
    if (!r.speechFound) return r;

    double sum = 0.0;
    std::vector<double> active;
    for (size_t f = r.firstFrame; f < r.endFrame; ++f) {
        sum += p[f];
        if (r.inBurst[f]) active.push_back(p[f]);
    }
    r.speechPower = sum / double(r.endFrame - r.firstFrame);

    // Level from the middle-upper part of the speech frames: robust to the
    // odd click and to how many soft frames made it over the threshold.
    std::sort(active.begin(), active.end());
    size_t a = active.size() / 2, b = active.size() - active.size() / 20;
    if (b <= a) b = a + 1;
    double level = 0.0;
    for (size_t i = a; i < b; ++i) level += active[i];
    level /= double(b - a);
    r.levelPower = std::max(level - r.noisePower, level * 0.1);
    return r;
}
