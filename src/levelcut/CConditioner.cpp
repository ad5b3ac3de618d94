#include "CConditioner.h"

#include "CHumRemover.h"
#include "CSpeechDetector.h"

#include <algorithm>
#include <cmath>
#include <soxr.h>

std::vector<float> CConditioner::ToFloat(const uint8_t* data, size_t bytes, unsigned bits)
{
    std::vector<float> x;
    if (bits == 8) {
        x.resize(bytes);
        for (size_t i = 0; i < bytes; ++i)
            x[i] = float((int(data[i]) - 128) * 256);
    } else {
        size_t n = bytes / 2;  // an odd last byte is not a sample
        x.resize(n);
        for (size_t i = 0; i < n; ++i)
            x[i] = float(int16_t(uint16_t(data[2 * i] | (data[2 * i + 1] << 8))));
    }
    return x;
}

void CConditioner::RemoveMean(std::vector<float>& x)
{
    double sum = 0.0;
    size_t count = 0;
    for (float v : x) {
        if (v == 0.0f)
            continue;
        sum += v;
        ++count;
    }
    if (count == 0)
        return;
    // Exact zeros stay zero: they are digital silence, not a level.
    float mean = float(sum / double(count));
    for (float& v : x)
        if (v != 0.0f)
            v -= mean;
}

bool CConditioner::Resample(const std::vector<float>& in, unsigned inRate, std::vector<float>& out)
{
    out.clear();
    if (in.empty())
        return true;
    if (inRate == kOutRate) {
        out = in;
        return true;
    }
    size_t olen = size_t(double(in.size()) * kOutRate / inRate + 0.5);
    out.resize(olen + 1);
    size_t odone = 0;
    // The default one-shot quality rolls off audibly under 4 kHz; HQ keeps
    // the band flat up to where the 8 kHz rate allows.
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t err = soxr_oneshot(inRate, kOutRate, 1, in.data(), in.size(), nullptr, out.data(), out.size(), &odone,
                                    &io, &q, nullptr);
    if (err) {
        out.clear();
        return false;
    }
    out.resize(odone);
    return true;
}

void CConditioner::HighPass(std::vector<float>& x, double hz)
{
    // Second-order Butterworth high-pass.
    const double w0 = 2.0 * M_PI * hz / kOutRate;
    const double c = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * M_SQRT1_2);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 + c) / 2.0 / a0, b1 = -(1.0 + c) / a0, b2 = b0;
    const double a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (float& v : x) {
        double in = v;
        double y = b0 * in + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = in;
        y2 = y1;
        y1 = y;
        v = float(y);
    }
}

std::vector<float> CConditioner::SpeechBand(const float* x, size_t n)
{
    std::vector<float> band(x, x + n);
    for (int i = 0; i < 4; ++i)
        HighPass(band, kSpeechBandHz);
    for (size_t i = 0; i < n; ++i)
        if (x[i] == 0.0f)
            band[i] = 0.0f;  // filter ringing into digital silence is no sound
    return band;
}

std::vector<uint8_t> CConditioner::SilentFrames(const std::vector<float>& in, unsigned inRate, size_t outSamples)
{
    const size_t frame = CSpeechDetector::kFrame;
    std::vector<uint8_t> silent((outSamples + frame - 1) / frame, 0);
    // Count of non-zero capture samples before each one.
    std::vector<size_t> sound(in.size() + 1, 0);
    for (size_t i = 0; i < in.size(); ++i)
        sound[i + 1] = sound[i] + (in[i] != 0.0f ? 1 : 0);
    const double ratio = double(inRate) / kOutRate;
    for (size_t f = 0; f < silent.size(); ++f) {
        const size_t e8 = std::min(outSamples, (f + 1) * frame);
        const size_t b = std::min(in.size(), size_t(std::floor(double(f * frame) * ratio)));
        const size_t e = std::min(in.size(), size_t(std::ceil(double(e8) * ratio)));
        silent[f] = e > b && sound[e] == sound[b];
    }
    return silent;
}

CHumRemover::Hum CConditioner::RemoveHum(std::vector<float>& x, const std::vector<uint8_t>& silentFrame)
{
    const std::vector<double> p = CSpeechDetector::FramePowers(x.data(), x.size());
    std::vector<double> sound;
    for (size_t f = 0; f < p.size(); ++f)
        if (!silentFrame[f])
            sound.push_back(p[f]);
    if (sound.empty())
        return CHumRemover::Hum();
    std::nth_element(sound.begin(), sound.begin() + std::ptrdiff_t(sound.size() / 2), sound.end());
    const double median = sound[sound.size() / 2];

    // The quieter half of the frames is the background the hum is found in.
    std::vector<uint8_t> background(p.size(), 0);
    for (size_t f = 0; f < p.size(); ++f)
        background[f] = !silentFrame[f] && p[f] <= median;
    CHumRemover::Hum hum = CHumRemover::Find(x, background);
    if (hum.hz != 0.0)
        hum.power = CHumRemover::Remove(x, hum.period, silentFrame);
    return hum;
}

bool CConditioner::Run(const uint8_t* data, size_t bytes, unsigned bits, unsigned rate, Signal& out)
{
    std::vector<float> in = ToFloat(data, bytes, bits);
    RemoveMean(in);
    if (!Resample(in, rate, out.x))
        return false;
    out.silentFrame = SilentFrames(in, rate, out.x.size());
    const CHumRemover::Hum hum = RemoveHum(out.x, out.silentFrame);
    out.humHz = hum.hz;
    out.humPower = hum.power;
    HighPass(out.x);
    const size_t frame = CSpeechDetector::kFrame;
    for (size_t f = 0; f < out.silentFrame.size(); ++f) {
        if (!out.silentFrame[f])
            continue;
        std::fill(out.x.begin() + std::ptrdiff_t(f * frame),
                  out.x.begin() + std::ptrdiff_t(std::min(out.x.size(), (f + 1) * frame)), 0.0f);
    }
    return true;
}
