#include "CLevelcut.h"

#include "CConditioner.h"
#include "CLevelGain.h"
#include "CSpeechDetector.h"
#include "CWaveFile.h"
#include "MuLawTable.h"
#include "levelcut.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool InRange(double v, double lo, double hi)
{
    return lo <= v && v <= hi;
}  // false for NaN

double PowerDb(double power)
{
    return power > 0.0 ? 10.0 * std::log10(power / (32768.0 * 32768.0)) : -200.0;
}

}  // namespace

CLevelcut::CLevelcut()
    : m_initialTrim(LEVELCUT_DEFAULT_INITIAL_TRIM), m_threshold(LEVELCUT_DEFAULT_THRESHOLD),
      m_clipAmount(LEVELCUT_DEFAULT_CLIP_AMOUNT), m_timeConstant(LEVELCUT_DEFAULT_TIME_CONSTANT),
      m_threshFudge(LEVELCUT_DEFAULT_THRESH_FUDGE)
{
}

int CLevelcut::SetInitialTrim(int samples)
{
    m_initialTrim = samples;
    return samples >= 0 && samples <= LEVELCUT_MAX_INITIAL_TRIM ? LEVELCUT_OK : LEVELCUT_ERR_PARAMS;
}

int CLevelcut::SetThreshold(float threshold)
{
    m_threshold = threshold;
    return threshold > 0.0f && threshold <= LEVELCUT_MAX_THRESHOLD ? LEVELCUT_OK : LEVELCUT_ERR_PARAMS;
}

int CLevelcut::SetClipAmount(float amount)
{
    m_clipAmount = amount;
    return InRange(amount, 0.0, 1.0) ? LEVELCUT_OK : LEVELCUT_ERR_PARAMS;
}

int CLevelcut::SetTimeConstant(float timeConstant)
{
    m_timeConstant = timeConstant;
    return InRange(timeConstant, 0.5, 1.0) ? LEVELCUT_OK : LEVELCUT_ERR_PARAMS;
}

int CLevelcut::SetThreshFudge(float factor)
{
    m_threshFudge = factor;
    return InRange(factor, 0.0, 5.0) ? LEVELCUT_OK : LEVELCUT_ERR_PARAMS;
}

bool CLevelcut::SettingsValid() const
{
    return m_initialTrim >= 0 && m_initialTrim <= LEVELCUT_MAX_INITIAL_TRIM && m_threshold > 0.0f &&
           m_threshold <= LEVELCUT_MAX_THRESHOLD && InRange(m_clipAmount, 0.0, 1.0) &&
           InRange(m_timeConstant, 0.5, 1.0) && InRange(m_threshFudge, 0.0, 5.0);
}

void CLevelcut::ClearResults()
{
    m_snr = m_gain = m_clip = 0.0;
    m_report = Report();
}

int CLevelcut::Process(const uint8_t* pcm, size_t bytes, unsigned bits, unsigned rate, std::vector<uint8_t>& mulaw)
{
    ClearResults();
    mulaw.clear();
    if ((bits != 8 && bits != 16) || rate == 0)
        return LEVELCUT_ERR_INVALID_FMT;
    CConditioner::Signal sig;
    if (!CConditioner::Run(pcm, bytes, bits, rate, sig))
        return LEVELCUT_ERR_INVALID_FMT;
    const std::vector<float>& x = sig.x;

    // Drop the initial trim: the button click and the filters' settling. A
    // trim that leaves nothing is a setting that does not fit the recording.
    const size_t skip = size_t(m_initialTrim);
    if (skip > 0 && x.size() <= skip)
        return LEVELCUT_ERR_PARAMS;

    const size_t bytesPerSample = bits / 8;
    m_report.inputMs = double(bytes / bytesPerSample) * 1000.0 / rate;
    m_report.humHz = sig.humHz;
    const float* s = x.data() + skip;
    const size_t n = x.size() - skip;
    auto toMs = [skip](size_t i) { return double(skip + i) / 8.0; };

    // Frames are counted from the end of the trim; a frame that starts in
    // the trim is silent only if all of it was.
    const size_t frame = CSpeechDetector::kFrame;
    std::vector<uint8_t> silent((n + frame - 1) / frame, 0);
    for (size_t f = 0; f < silent.size(); ++f) {
        const size_t b = skip + f * frame, e = std::min(x.size(), b + frame);
        silent[f] = sig.silentFrame[b / frame] && sig.silentFrame[(e - 1) / frame];
    }

    CSpeechDetector::Settings ds;
    ds.factor = m_threshFudge;
    ds.hangoverFrames = CSpeechDetector::HangoverFrames(m_timeConstant);
    // Quantisation noise of the capture, as it lands in the 8 kHz band; and
    // what is left of hum taken out, which may stand over a noise-free floor.
    const double step = bits == 8 ? 256.0 : 1.0;
    ds.minNoisePower =
        std::max(step * step / 12.0 * std::min(1.0, double(CConditioner::kOutRate) / rate), sig.humPower * kHumLeft);
    const std::vector<float> band = CConditioner::SpeechBand(s, n);
    CSpeechDetector::Result d = CSpeechDetector::Detect(band.data(), n, silent, ds);

    size_t keepBegin = 0, keepEnd = n;
    const size_t kb = d.keepFirst * frame, ke = std::min(n, d.keepEnd * frame);
    if (ke > kb) {
        keepBegin = std::max(kb > kLeadMargin ? kb - kLeadMargin : 0, d.marginFirst * frame);
        keepEnd = std::min({n, ke + kTrailMargin, d.marginEnd == SIZE_MAX ? n : d.marginEnd * frame});
    }
    if (d.speechFound) {
        m_report.speechStartMs = toMs(d.firstFrame * frame);
        m_report.speechEndMs = toMs(std::min(n, d.endFrame * frame));
        double speech = std::max(d.speechPower - d.noisePower, d.noisePower * 1e-3);
        m_snr = 10.0 * std::log10(speech / d.noisePower);
        m_snr = std::clamp(m_snr, -98.0, 99.0);
    } else {
        m_snr = LEVELCUT_SNR_NO_SPEECH;
    }
    m_report.speechFound = d.speechFound;
    m_report.keptStartMs = toMs(keepBegin);
    m_report.keptEndMs = toMs(keepEnd);
    m_report.floorDb = PowerDb(d.floorRms * d.floorRms);
    m_report.clearDb = PowerDb(d.clearRms * d.clearRms);
    m_report.edgeDb = PowerDb(d.edgeRms * d.edgeRms);
    m_report.levelDb = PowerDb(d.speechFound ? d.levelPower : 0.0);

    const float* k = s + keepBegin;
    const size_t kn = keepEnd - keepBegin;
    double limit = CLevelGain::ClipLimitDb(k, kn, m_clipAmount);
    // Without speech there is nothing to level: no gain at all, not even a
    // cut for samples over full scale (they are clamped and counted).
    m_gain = d.speechFound ? CLevelGain::Choose(d.levelPower, limit) : 0.0;
    m_clip = double(CLevelGain::CountClips(k, kn, m_gain));

    const double lin = std::pow(10.0, m_gain / 20.0);
    const bool fadeIn = keepBegin > 0, fadeOut = keepEnd < n;
    mulaw.resize(kn);
    for (size_t i = 0; i < kn; ++i) {
        double v = double(k[i]) * lin;
        if (fadeIn && i < kFade)
            v *= double(i) / kFade;
        if (fadeOut && kn - 1 - i < kFade)
            v *= double(kn - 1 - i) / kFade;
        v = std::clamp(std::round(v), -CLevelGain::kFullScale, CLevelGain::kFullScale);
        mulaw[i] = MuLawTable::Encode(int16_t(v));
    }
    m_report.outputSamples = kn;
    return LEVELCUT_OK;
}

bool CLevelcut::WriteMuLawAtomically(const char* path, const std::vector<uint8_t>& mulaw)
{
    // CWaveFile replaces the file only once the new one is complete, keeping
    // its mode, owner and links.
    CWaveFile out;
    bool ok = out.OpenWrite(path, 7, CConditioner::kOutRate, 8, 1);
    if (ok && !mulaw.empty())
        ok = out.Write(mulaw.data(), unsigned(mulaw.size())) == mulaw.size();
    return out.CloseWrite() == 1 && ok;
}

int CLevelcut::TrimFile(const char* path)
{
    ClearResults();
    if (!path || !SettingsValid())
        return LEVELCUT_ERR_PARAMS;

    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || access(path, R_OK) != 0)
        return LEVELCUT_ERR_OPEN;

    CWaveFile in;
    if (!in.OpenRead(path))
        return LEVELCUT_ERR_INVALID_FMT;
    const unsigned rate = in.SamplesPerSec(), bits = in.BitsPerSample();
    if (in.FormatTag() != 1 || in.Channels() != 1 || (bits != 8 && bits != 16) ||
        (rate != 44100 && rate != 22050 && rate != 11025))
        return LEVELCUT_ERR_UNKNOWN_FMT;
    if (in.BlockAlign() != bits / 8 || in.AvgBytesPerSec() != rate * (bits / 8))
        return LEVELCUT_ERR_INVALID_FMT;

    // A capture cut short is processed as far as it goes; one longer than
    // any message could be is not loaded at all.
    if (uint64_t(in.BytesAvailable()) > uint64_t(kMaxSeconds) * rate * (bits / 8))
        return LEVELCUT_ERR_OPEN;
    std::vector<uint8_t> pcm(in.BytesAvailable());
    if (!pcm.empty() && in.Read(pcm.data(), unsigned(pcm.size())) != pcm.size())
        return LEVELCUT_ERR_INVALID_FMT;
    in.CloseRead();

    std::vector<uint8_t> mulaw;
    const int code = Process(pcm.data(), pcm.size(), bits, rate, mulaw);
    if (code != LEVELCUT_OK) {
        ClearResults();
        return code;
    }
    if (!WriteMuLawAtomically(path, mulaw)) {
        ClearResults();
        return LEVELCUT_ERR_OPEN;
    }
    return LEVELCUT_OK;
}
