#include "CConditioner.h"

#include <cmath>
#include <soxr.h>

std::vector<float> CConditioner::ToFloat(const uint8_t* data, size_t bytes, unsigned bits)
{
    std::vector<float> x;
    if (bits == 8) {
        x.resize(bytes);
        for (size_t i = 0; i < bytes; ++i) x[i] = float((int(data[i]) - 128) * 256);
    } else {
        size_t n = bytes / 2;   // an odd last byte is not a sample
        x.resize(n);
        for (size_t i = 0; i < n; ++i)
            x[i] = float(int16_t(uint16_t(data[2 * i] | (data[2 * i + 1] << 8))));
    }
    return x;
}

void CConditioner::RemoveMean(std::vector<float>& x)
{
    if (x.empty()) return;
    double sum = 0.0;
    for (float v : x) sum += v;
    float mean = float(sum / double(x.size()));
    for (float& v : x) v -= mean;
}

bool CConditioner::Resample(const std::vector<float>& in, unsigned inRate, std::vector<float>& out)
{
    out.clear();
    if (in.empty()) return true;
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
    soxr_error_t err = soxr_oneshot(inRate, kOutRate, 1, in.data(), in.size(), nullptr,
                                    out.data(), out.size(), &odone, &io, &q, nullptr);
    if (err) {
        out.clear();
        return false;
    }
    out.resize(odone);
    return true;
}

void CConditioner::HighPass(std::vector<float>& x)
{
    // Second-order Butterworth high-pass.
    const double w0 = 2.0 * M_PI * kHighPassHz / kOutRate;
    const double c = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * M_SQRT1_2);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 + c) / 2.0 / a0, b1 = -(1.0 + c) / a0, b2 = b0;
    const double a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (float& v : x) {
        double in = v;
        double y = b0 * in + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1; x1 = in;
        y2 = y1; y1 = y;
        v = float(y);
    }
}

bool CConditioner::Run(const uint8_t* data, size_t bytes, unsigned bits, unsigned rate, std::vector<float>& out)
{
    std::vector<float> x = ToFloat(data, bytes, bits);
    RemoveMean(x);
    if (!Resample(x, rate, out)) return false;
    HighPass(out);
    return true;
}
