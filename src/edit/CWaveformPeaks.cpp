#include "CWaveformPeaks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "IOperatorReport.h"
#include "MuLawTable.h"
#include "cMemoryMap.h"

namespace {

// The scratch file's reader speaks only to the log here: a file that cannot
// be drawn leaves the waveform empty, and the dialog says nothing more.
class SilentReport : public IOperatorReport {
public:
    void ShowMessage(const std::string&) override { }
    bool AskYesNo(const std::string&) override { return false; }
};

}  // namespace

void CWaveformPeaks::SetCodes(const std::vector<uint8_t>& codes)
{
    m_samples.resize(codes.size());
    for (size_t i = 0; i < codes.size(); ++i)
        m_samples[i] = MuLawTable::Decode(codes[i]);
}

bool CWaveformPeaks::Load(const std::string& path)
{
    std::vector<uint8_t> codes;
    SilentReport quiet;
    if (!cMemoryMap::ReadUnitWav(path.c_str(), cMemoryMap::kImageSize + 1, codes, quiet)) {
        m_samples.clear();
        return false;
    }
    SetCodes(codes);
    return true;
}

std::vector<SPeakColumn> CWaveformPeaks::Columns(int width) const
{
    std::vector<SPeakColumn> columns(size_t(std::max(width, 0)));
    const size_t n = m_samples.size();
    if (n == 0 || width <= 0)
        return columns;
    const int16_t* s = m_samples.data();
    for (int x = 0; x < width; ++x) {
        size_t begin = size_t(uint64_t(x) * n / uint64_t(width));
        size_t end = size_t(uint64_t(x + 1) * n / uint64_t(width));
        if (end <= begin)
            end = std::min(begin + 1, n);
        if (begin >= n)
            break;
        int16_t low = s[begin], high = s[begin];
        for (size_t i = begin + 1; i < end; ++i) {
            low = std::min(low, s[i]);
            high = std::max(high, s[i]);
        }
        columns[size_t(x)] = {low, high};
    }
    return columns;
}

std::vector<double> CWaveformPeaks::TimeMarks(double seconds, int width, int minGap)
{
    std::vector<double> marks;
    if (seconds <= 0 || width <= 0)
        return marks;
    static const double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30, 60, 120, 300, 600};
    double step = kSteps[std::size(kSteps) - 1];
    for (double candidate : kSteps) {
        if (candidate / seconds * width >= minGap) {
            step = candidate;
            break;
        }
    }
    // Counted in whole steps, so that 0.1 + 0.1 + 0.1 lands on 0.3.
    for (int k = 0; k * step <= seconds + 1e-9; ++k)
        marks.push_back(std::round(k * step * 10) / 10);
    return marks;
}

std::string CWaveformPeaks::Description(int slot, double seconds)
{
    char text[96];
    std::snprintf(text, sizeof text, "Waveform of message %d, %.1f seconds", slot + 1, seconds);
    return text;
}
