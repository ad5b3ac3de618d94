// The waveform's columns: every sample counted in exactly one column, a
// column's range the lowest and highest of its samples, short messages wider
// than their samples; the time marks' steps; the screen reader's text.
#include <gtest/gtest.h>

#include "CWaveformPeaks.h"
#include "MuLawTable.h"
#include "TempFolder.h"
#include "cMemoryMap.h"

namespace {

std::vector<uint8_t> Codes(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> codes;
    for (int16_t s : samples)
        codes.push_back(MuLawTable::Encode(s));
    return codes;
}

}  // namespace

TEST(WaveformPeaks, ColumnsHoldTheLowestAndHighestOfTheirSamples)
{
    struct Case {
        const char* what;
        std::vector<int16_t> samples;
        int width;
        std::vector<std::pair<int, int>> columns;  // low, high, decoded
    };
    auto d = [](int16_t s) { return int(MuLawTable::Decode(MuLawTable::Encode(s))); };
    const Case cases[] = {
        {"two samples a column", {0, 1000, -2000, 500}, 2, {{0, d(1000)}, {d(-2000), d(500)}}},
        {"uneven split", {100, 200, 300, -300, -200}, 2, {{d(100), d(200)}, {d(-300), d(300)}}},
        {"fewer samples than pixels",
         {1000, -1000},
         4,
         {{d(1000), d(1000)}, {d(1000), d(1000)}, {d(-1000), d(-1000)}, {d(-1000), d(-1000)}}},
        {"no samples", {}, 3, {{0, 0}, {0, 0}, {0, 0}}},
    };
    for (const Case& c : cases) {
        CWaveformPeaks peaks;
        peaks.SetCodes(Codes(c.samples));
        const std::vector<SPeakColumn> columns = peaks.Columns(c.width);
        ASSERT_EQ(columns.size(), c.columns.size()) << c.what;
        for (size_t i = 0; i < columns.size(); ++i) {
            EXPECT_EQ(columns[i].low, c.columns[i].first) << c.what << " column " << i;
            EXPECT_EQ(columns[i].high, c.columns[i].second) << c.what << " column " << i;
        }
    }
    EXPECT_TRUE(CWaveformPeaks().Columns(0).empty());
}

TEST(WaveformPeaks, TimeMarksTakeTheFirstStepThatLeavesRoom)
{
    struct Case {
        double seconds;
        int width, gap;
        std::vector<double> marks;
    };
    const Case cases[] = {
        {1.0, 500, 40, {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0}},
        {12.4, 400, 40, {0, 2, 4, 6, 8, 10, 12}},
        {515, 600, 50, {0, 60, 120, 180, 240, 300, 360, 420, 480}},
        {0, 400, 40, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CWaveformPeaks::TimeMarks(c.seconds, c.width, c.gap), c.marks) << c.seconds;
}

TEST(WaveformPeaks, ReadsTheScratchFileAndDescribesIt)
{
    TempFolder folder;
    const std::string path = folder.File("TXTemp.wav");
    std::vector<uint8_t> codes(99200, 0xFF);
    uint8_t header[44];
    cMemoryMap::BuildWavHeader(uint32_t(codes.size()), header);
    folder.Write("TXTemp.wav",
                 std::string(reinterpret_cast<char*>(header), 44) + std::string(codes.begin(), codes.end()));
    CWaveformPeaks peaks;
    ASSERT_TRUE(peaks.Load(path));
    EXPECT_EQ(peaks.Samples(), codes.size());
    EXPECT_EQ(CWaveformPeaks::Description(2, peaks.Seconds()), "Waveform of message 3, 12.4 seconds");
    EXPECT_FALSE(peaks.Load(folder.File("missing.wav")));
    EXPECT_EQ(peaks.Samples(), 0u);
}
