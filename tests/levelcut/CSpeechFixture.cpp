#include "CSpeechFixture.h"

#include "CWaveFile.h"
#include "MuLawTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>

const char* const CSpeechFixture::kText = "Five new messages are waiting at the front desk";

namespace {

// Second-order low-pass (Butterworth), used to keep the noise in the band
// that survives at 8 kHz.
void LowPass(std::vector<float>& x, double hz, double rate)
{
    const double w0 = 2.0 * M_PI * hz / rate, c = std::cos(w0), alpha = std::sin(w0) / (2.0 * M_SQRT1_2);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 - c) / 2.0 / a0, b1 = (1.0 - c) / a0, b2 = b0;
    const double a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (float& v : x) {
        double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = float(y);
    }
}

double Power(const float* x, size_t n)
{
    double s = 0.0;
    for (size_t i = 0; i < n; ++i)
        s += double(x[i]) * x[i];
    return n ? s / double(n) : 0.0;
}

}  // namespace

CSpeechFixture::CSpeechFixture()
{
    char tmpl[] = "/tmp/levelcut-test-XXXXXX";
    if (!mkdtemp(tmpl)) {
        m_error = "cannot create a temporary folder";
        return;
    }
    m_dir = tmpl;
    if (!Run("espeak-ng -w '" + m_dir + "/speech-22050.wav' '" + kText + "'"))
        m_error = "espeak-ng failed";
}

CSpeechFixture::~CSpeechFixture()
{
    std::error_code ec;
    if (!m_dir.empty())
        std::filesystem::remove_all(m_dir, ec);
}

bool CSpeechFixture::Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<float> CSpeechFixture::Hum(size_t samples, double rate, double hz, double db)
{
    struct Tone {
        int harmonic;
        double amp, phase;
    };
    const Tone tones[] = {{1, 1.0, 0.0}, {2, 0.2, 1.1}, {3, 0.5, 2.3},  {5, 0.3, 0.7},
                          {7, 0.2, 4.1}, {9, 0.1, 3.3}, {19, 0.05, 5.0}};
    double sum = 0.0;
    for (const Tone& t : tones)
        sum += t.amp * t.amp / 2.0;
    const double scale = 32768.0 * std::pow(10.0, db / 20.0) / std::sqrt(sum);
    std::vector<float> x(samples, 0.0f);
    for (const Tone& t : tones) {
        const double w = 2.0 * M_PI * hz * t.harmonic / rate;
        for (size_t i = 0; i < samples; ++i)
            x[i] += float(scale * t.amp * std::sin(w * double(i) + t.phase));
    }
    return x;
}

bool CSpeechFixture::ReadSamples(const std::string& path, std::vector<float>& x, unsigned& rate)
{
    CWaveFile wf;
    if (!wf.OpenRead(path.c_str()) || wf.Channels() != 1)
        return false;
    std::vector<uint8_t> raw(wf.BytesAvailable());
    if (!raw.empty() && wf.Read(raw.data(), unsigned(raw.size())) != raw.size())
        return false;
    rate = wf.SamplesPerSec();
    x.clear();
    if (wf.FormatTag() == 7) {
        for (uint8_t b : raw)
            x.push_back(MuLawTable::Decode(b));
    } else if (wf.FormatTag() == 1 && wf.BitsPerSample() == 16) {
        for (size_t i = 0; i + 1 < raw.size(); i += 2)
            x.push_back(float(int16_t(raw[i] | (raw[i + 1] << 8))));
    } else if (wf.FormatTag() == 1 && wf.BitsPerSample() == 8) {
        for (uint8_t b : raw)
            x.push_back(float((int(b) - 128) * 256));
    } else {
        return false;
    }
    return true;
}

bool CSpeechFixture::WritePcm16(const std::string& path, const std::vector<float>& x, unsigned rate)
{
    std::vector<uint8_t> raw(x.size() * 2);
    for (size_t i = 0; i < x.size(); ++i) {
        int v = int(std::lround(std::clamp(double(x[i]), -32768.0, 32767.0)));
        raw[2 * i] = uint8_t(v & 0xFF);
        raw[2 * i + 1] = uint8_t((v >> 8) & 0xFF);
    }
    CWaveFile wf;
    if (!wf.OpenWrite(path.c_str(), 1, rate, 16, 1))
        return false;
    bool ok = raw.empty() || wf.Write(raw.data(), unsigned(raw.size())) == raw.size();
    return wf.CloseWrite() == 1 && ok;
}

bool CSpeechFixture::CleanSpeech(unsigned rate, std::vector<float>& x)
{
    std::string src = m_dir + "/speech-22050.wav";
    std::string dst = m_dir + "/speech-" + std::to_string(rate) + ".wav";
    if (!std::filesystem::exists(dst) && !Run("sox -R '" + src + "' -r " + std::to_string(rate) + " '" + dst + "'"))
        return false;
    unsigned got = 0;
    return ReadSamples(dst, x, got) && got == rate;
}

bool CSpeechFixture::SoxSynth(unsigned rate, const std::string& args, std::vector<float>& x)
{
    const std::string path = m_dir + "/synth-" + std::to_string(++m_serial) + ".wav";
    unsigned got = 0;
    const bool ok = Run("sox -R -n -r " + std::to_string(rate) + " -b 16 -c 1 '" + path + "' " + args) &&
                    ReadSamples(path, x, got) && got == rate && !x.empty();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return ok;
}

Fixture CSpeechFixture::Make(const FixtureCase& c)
{
    Fixture f;
    const double rate = c.rate;
    std::vector<float> speech;
    double reference = 0.0;  // power of the first sentence
    if (c.speech) {
        if (!CleanSpeech(c.rate, speech))
            return f;
        // Cut to the speech itself, so its true boundaries are known.
        float peak = 0.0f;
        for (float v : speech)
            peak = std::max(peak, std::fabs(v));
        float edge = peak * 0.003f;
        size_t b = 0, e = speech.size();
        while (b < e && std::fabs(speech[b]) <= edge)
            ++b;
        while (e > b && std::fabs(speech[e - 1]) <= edge)
            --e;
        speech.assign(speech.begin() + std::ptrdiff_t(b), speech.begin() + std::ptrdiff_t(e));
        float g = float(std::pow(10.0, c.peakDb / 20.0) * 32767.0 / peak);
        for (float& v : speech)
            v *= g;
        if (c.speechMs > 0.0)
            speech.resize(std::min(speech.size(), size_t(c.speechMs * rate / 1000.0)));
        f.firstEndMs = c.leadMs + double(speech.size()) * 1000.0 / rate;
        reference = Power(speech.data(), speech.size());
        if (c.secondDb > -200.0) {
            const float soft = float(std::pow(10.0, c.secondDb / 20.0));
            const size_t one = speech.size();
            speech.resize(one + size_t(c.pauseMs * rate / 1000.0), 0.0f);
            for (size_t i = 0; i < one; ++i)
                speech.push_back(speech[i] * soft);
        }
    } else {
        speech.assign(size_t(rate * 1.5), 0.0f);
    }

    const size_t lead = size_t(c.leadMs * rate / 1000.0), trail = size_t(c.trailMs * rate / 1000.0);
    std::vector<float> x(lead + speech.size() + trail, 0.0f);
    std::copy(speech.begin(), speech.end(), x.begin() + std::ptrdiff_t(lead));
    f.speechStartMs = c.leadMs;
    f.speechEndMs = double(lead + speech.size()) * 1000.0 / rate;
    f.durationMs = double(x.size()) * 1000.0 / rate;

    // Band-limited noise at the asked SNR (or, for noise alone, level).
    std::mt19937 gen(1234u + unsigned(m_serial));
    std::normal_distribution<float> nd(0.0f, 1.0f);
    std::vector<float> noise(x.size());
    for (float& v : noise)
        v = nd(gen);
    LowPass(noise, 3400.0, rate);
    LowPass(noise, 3400.0, rate);
    double want =
        c.speech ? reference / std::pow(10.0, c.snrDb / 10.0) : std::pow(10.0, c.snrDb / 10.0) * 32768.0 * 32768.0;
    double scale = std::sqrt(want / Power(noise.data(), noise.size()));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += float(noise[i] * scale) + float(c.dc);
    f.snrDb = c.snrDb;
    if (c.humDb > -200.0) {
        const std::vector<float> hum = Hum(x.size(), rate, c.humHz, c.humDb);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] += hum[i];
    }

    auto click = [&](double atMs) {
        long at = long(atMs * rate / 1000.0);
        for (long i = 0; i < long(rate * 0.003); ++i) {
            if (at + i < 0 || size_t(at + i) >= x.size())
                continue;
            double t = double(i) / rate;
            x[size_t(at + i)] += float(30000.0 * std::exp(-t / 0.0007) * std::cos(2.0 * M_PI * 1200.0 * t));
        }
    };
    if (c.clickBeforeMs > 0)
        click(f.speechStartMs - c.clickBeforeMs);
    if (c.clickAfterMs > 0)
        click(f.speechEndMs + c.clickAfterMs);

    if (c.rumbleDb > -200.0) {
        std::vector<float> rumble;
        const std::string hz = std::to_string(c.rumbleHz);
        if (!SoxSynth(c.rate,
                      "synth " + std::to_string(f.durationMs / 1000.0 + 0.1) + " brownnoise lowpass " + hz +
                          " lowpass " + hz,
                      rumble))
            return Fixture();
        rumble.resize(x.size(), 0.0f);
        const double scale =
            std::sqrt(std::pow(10.0, c.rumbleDb / 10.0) * 32768.0 * 32768.0 / Power(rumble.data(), rumble.size()));
        for (size_t i = 0; i < x.size(); ++i)
            x[i] += float(rumble[i] * scale);
    }
    if (c.tapBeforeMs > 0 || c.tapAfterMs > 0) {
        std::vector<float> tap;
        if (!SoxSynth(c.rate, "synth 0.005 square", tap))
            return Fixture();
        float peak = 0.0f;
        for (float v : tap)
            peak = std::max(peak, std::fabs(v));
        const double scale = std::pow(10.0, c.tapPeakDb / 20.0) * 32767.0 / peak;
        auto add = [&](double atMs) {
            const long at = long(atMs * rate / 1000.0);
            for (size_t i = 0; i < tap.size(); ++i)
                if (at + long(i) >= 0 && size_t(at) + i < x.size())
                    x[size_t(at) + i] += float(tap[i] * scale);
        };
        if (c.tapBeforeMs > 0)
            add(f.speechStartMs - c.tapBeforeMs);
        if (c.tapAfterMs > 0)
            add(f.speechEndMs + c.tapAfterMs);
    }

    std::string base = m_dir + "/" + c.name + "-" + std::to_string(++m_serial);
    f.path = base + ".wav";
    if (c.bits == 16) {
        if (!WritePcm16(f.path, x, c.rate))
            f.path.clear();
    } else {
        if (!WritePcm16(base + "-16.wav", x, c.rate) ||
            !Run("sox -R '" + base + "-16.wav' -b " + std::to_string(c.bits) + " '" + f.path + "'"))
            f.path.clear();
    }
    return f;
}
