#include "CSpeechDetector.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A run of frames over the edge level; clear when one of them is over the
// clear level.
struct Run {
    size_t begin;
    size_t end;  // exclusive
    bool clear;
    size_t firstClear, endClear;  // its frames over the clear level, when clear
};

std::vector<Run> Runs(const std::vector<double>& rms, double edge, double clear)
{
    std::vector<Run> runs;
    for (size_t f = 0; f < rms.size();) {
        if (!(rms[f] > edge)) {
            ++f;
            continue;
        }
        Run r{f, f, false, 0, 0};
        while (f < rms.size() && rms[f] > edge) {
            if (rms[f] > clear) {
                if (!r.clear)
                    r.firstClear = f;
                r.clear = true;
                r.endClear = f + 1;
            }
            ++f;
        }
        r.end = f;
        runs.push_back(r);
    }
    return runs;
}

bool IsSpeech(const Run& r)
{
    return r.clear && r.end - r.begin >= CSpeechDetector::kMinSpeechFrames;
}

bool IsImpulse(const Run& r)
{
    return r.clear && r.end - r.begin <= CSpeechDetector::kMaxImpulseFrames;
}

double PeakPower(const std::vector<double>& p, const Run& r)
{
    return *std::max_element(p.begin() + std::ptrdiff_t(r.begin), p.begin() + std::ptrdiff_t(r.end));
}

// Grows [first, end) by the runs that reach the clear level within the
// hangover of it, one after another; an impulse louder than loudPower
// never joins.
void JoinNear(const std::vector<Run>& runs, const std::vector<double>& p, double loudPower, size_t hangover,
              size_t& first, size_t& end)
{
    auto joins = [&](const Run& r) { return r.clear && !(IsImpulse(r) && PeakPower(p, r) > loudPower); };
    for (size_t i = runs.size(); i-- > 0;) {
        const Run& r = runs[i];
        if (r.end > first)
            continue;
        if (first - r.end > hangover)
            break;
        if (!joins(r))
            continue;
        first = r.begin;
    }
    for (const Run& r : runs) {
        if (r.begin < end)
            continue;
        if (r.begin - end > hangover)
            break;
        if (!joins(r))
            continue;
        end = r.end;
    }
}

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Active speech level: the mean power of the frames within 15.9 dB of it.
double ActiveLevel(const std::vector<double>& p)
{
    const double margin = std::pow(10.0, 1.59);
    double level = 0.0;
    for (double v : p)
        level += v;
    level /= double(p.size());
    if (!(level > 0.0))
        return 0.0;
    for (int i = 0; i < 50; ++i) {
        double sum = 0.0;
        size_t count = 0;
        for (double v : p)
            if (v >= level / margin) {
                sum += v;
                ++count;
            }
        const double next = sum / double(count);
        if (std::fabs(next - level) <= 1e-9 * level)
            break;
        level = next;
    }
    return level;
}

}  // namespace

std::vector<double> CSpeechDetector::FramePowers(const float* x, size_t n)
{
    std::vector<double> p((n + kFrame - 1) / kFrame);
    for (size_t f = 0; f < p.size(); ++f) {
        size_t b = f * kFrame, e = std::min(n, b + kFrame);
        double sum = 0.0;
        for (size_t i = b; i < e; ++i)
            sum += double(x[i]) * double(x[i]);
        p[f] = sum / double(e - b);
    }
    return p;
}

size_t CSpeechDetector::HangoverFrames(double timeConstant)
{
    const size_t maxFrames = 200;  // 2 s
    if (!(timeConstant < 1.0))
        return maxFrames;
    if (!(timeConstant > 0.0))
        return 0;
    // Half-power time of a one-pole follower with this coefficient per sample.
    double samples = std::log(std::pow(10.0, -0.15)) / std::log(timeConstant);
    double frames = std::floor(samples / double(kFrame));
    return frames >= double(maxFrames) ? maxFrames : size_t(frames);
}

double CSpeechDetector::EdgeRatio(double factor)
{
    if (!(factor > 0.0))
        return 0.0;
    // (factor / 5)^(log 2 / (2 log 5)): 1/sqrt(2) at factor 1.
    return std::pow(std::min(factor, kMaxFactor) / kMaxFactor, std::log(2.0) / (2.0 * std::log(kMaxFactor)));
}

CSpeechDetector::Result CSpeechDetector::Detect(const float* x, size_t n, const std::vector<uint8_t>& silent,
                                                const Settings& s)
{
    Result r;
    const std::vector<double> p = FramePowers(x, n);
    const size_t m = p.size();
    r.noisePower = s.minNoisePower;
    r.keepEnd = m;
    auto isSilent = [&](size_t f) { return f < silent.size() && silent[f]; };

    // What is not digital silence; with nothing else found, that is kept.
    std::vector<double> rms(m), sound;
    size_t soundFirst = m, soundEnd = 0;
    for (size_t f = 0; f < m; ++f) {
        rms[f] = std::sqrt(p[f]);
        if (isSilent(f))
            continue;
        sound.push_back(rms[f]);
        soundFirst = std::min(soundFirst, f);
        soundEnd = f + 1;
    }
    if (sound.empty())
        return r;
    r.keepFirst = soundFirst;
    r.keepEnd = soundEnd;

    // Noise floor: the 10th percentile of the frames.
    std::sort(sound.begin(), sound.end());
    const double floorPower = sound[(sound.size() - 1) / 10] * sound[(sound.size() - 1) / 10];
    r.floorRms = std::sqrt(floorPower);
    const double floor = std::max(r.floorRms, std::sqrt(s.minNoisePower));
    r.clearRms = kClearRatio * floor;
    r.edgeRms = r.clearRms * EdgeRatio(s.factor);

    // Speech, the same at every factor: runs over the factor-1 edge level
    // that last 40 ms and reach the clear level, and the runs that reach it
    // within the hangover.
    const std::vector<Run> runs = Runs(rms, r.clearRms * EdgeRatio(1.0), r.clearRms);
    size_t first = runs.size(), last = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (!IsSpeech(runs[i]))
            continue;
        if (first == runs.size())
            first = i;
        last = i;
    }
    if (first == runs.size())
        return r;
    r.speechFound = true;
    r.firstFrame = runs[first].begin;
    r.endFrame = runs[last].end;
    // How loud the speech is, before anything joins it: the active level of
    // the frames of its speech runs.
    std::vector<double> speechRunPowers;
    for (size_t i = first; i <= last; ++i)
        if (IsSpeech(runs[i]))
            speechRunPowers.insert(speechRunPowers.end(), p.begin() + std::ptrdiff_t(runs[i].begin),
                                   p.begin() + std::ptrdiff_t(runs[i].end));
    const double loud = ActiveLevel(speechRunPowers);
    JoinNear(runs, p, loud, s.hangoverFrames, r.firstFrame, r.endFrame);

    // What the factor keeps: from the first to the last clear frame of the
    // speech, grown over the faint sound next to it down to the factor's
    // edge level, and by the runs that reach the clear level within the
    // hangover. Nothing between those clear frames is ever cut.
    if (s.factor > 0.0) {
        size_t kb = runs[first].firstClear, ke = runs[last].endClear;
        while (kb > 0 && rms[kb - 1] > r.edgeRms)
            --kb;
        while (ke < m && rms[ke] > r.edgeRms)
            ++ke;
        JoinNear(Runs(rms, r.edgeRms, r.clearRms), p, loud, s.hangoverFrames, kb, ke);
        r.keepFirst = kb;
        r.keepEnd = ke;
        for (const Run& run : runs) {
            if (!IsImpulse(run))
                continue;
            if (run.end <= kb)
                r.marginFirst = std::max(r.marginFirst, run.end);
            else if (run.begin >= ke)
                r.marginEnd = std::min(r.marginEnd, run.begin);
        }
    }

    // Noise: the silence around the speech, without its clicks; failing
    // that, every frame outside a clear run (pauses hold soft speech, so
    // they come second); failing that, the floor.
    std::vector<bool> inClear(m, false), inImpulse(m, false);
    for (const Run& run : runs)
        if (run.clear)
            for (size_t f = run.begin; f < run.end; ++f) {
                inClear[f] = true;
                inImpulse[f] = IsImpulse(run);
            }
    std::vector<double> around, quiet;
    for (size_t f = 0; f < m; ++f) {
        if (inClear[f])
            continue;
        quiet.push_back(p[f]);
        if (f < r.firstFrame || f >= r.endFrame)
            around.push_back(p[f]);
    }
    const double noise = around.size() >= 10 ? Median(around) : quiet.size() >= 10 ? Median(quiet) : floorPower;
    r.noisePower = std::max(noise, s.minNoisePower);

    // Level: the active level of the speech with the noise taken off each
    // frame, so that pauses full of noise do not count as speech; impulses
    // are no speech however loud, and take no part.
    double sum = 0.0;
    size_t count = 0;
    std::vector<double> speech, raw;
    for (size_t f = r.firstFrame; f < r.endFrame; ++f) {
        if (inImpulse[f])
            continue;
        sum += p[f];
        ++count;
        if (isSilent(f))
            continue;
        raw.push_back(p[f]);
        speech.push_back(std::max(p[f] - r.noisePower, 0.0));
    }
    r.speechPower = sum / double(count);
    r.levelPower = ActiveLevel(speech);
    if (!(r.levelPower > 0.0))
        r.levelPower = 0.1 * ActiveLevel(raw);  // speech no louder than the noise
    return r;
}
