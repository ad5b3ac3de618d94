// What the waveform of Edit Message draws, without a window: the lowest and
// highest sample of each pixel column, the time marks in seconds that fit a
// width, and the text a screen reader says. The samples are the scratch
// WAV's, as the unit plays them (mu-law decoded), full scale 32767.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SPeakColumn {
    int16_t low = 0;
    int16_t high = 0;
};

class CWaveformPeaks {
public:
    static constexpr unsigned kRate = 8000;

    // Decodes mu-law codes once; columns are computed for any width after.
    void SetCodes(const std::vector<uint8_t>& codes);
    // The scratch WAV (mu-law 8 kHz mono); false (and no samples) when it
    // cannot be read.
    bool Load(const std::string& path);

    size_t Samples() const { return m_samples.size(); }
    double Seconds() const { return double(m_samples.size()) / kRate; }
    const std::vector<int16_t>& SampleData() const { return m_samples; }

    // One column per pixel: column x covers samples [x*n/width, (x+1)*n/width);
    // a column narrower than a sample shows that sample.
    std::vector<SPeakColumn> Columns(int width) const;

    // The seconds at which marks stand: a step of 1, 2, 5, 10, ... seconds
    // (or 0.1, 0.2, 0.5 for short messages) that leaves at least minGap
    // pixels between marks.
    static std::vector<double> TimeMarks(double seconds, int width, int minGap);
    // "Waveform of message 3, 12.4 seconds"
    static std::string Description(int slot, double seconds);

private:
    std::vector<int16_t> m_samples;
};
