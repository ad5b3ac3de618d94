// The meter against reference signals in the manner of the broadcast test
// set, made with sox and stored as the unit stores them (mu-law, 8 kHz), and
// Match Loudness on an image: the target reached without the true peak
// passing the ceiling once encoded, a message short of headroom named, and
// nothing but the audio changed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "CImageCommands.h"
#include "CImageHistory.h"
#include "CLoudnessMatch.h"
#include "CLoudnessMeter.h"
#include "RequireRealPart.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "cMemoryMap.h"

namespace {

// One stretch of a reference signal: seconds of a sine at a peak level.
struct Tone {
    double seconds;
    double peakDbfs;
    double hz = 1000;
};

std::string SoxMissing()
{
    return std::system("sox --version >/dev/null 2>&1") == 0 ? "" : "sox is not installed";
}

// The tones one after another, as a mu-law 8 kHz message.
std::vector<uint8_t> MakeMessage(const TempFolder& folder, const std::vector<Tone>& tones)
{
    std::string parts;
    for (size_t i = 0; i < tones.size(); ++i) {
        const std::string part = folder.File("part" + std::to_string(i) + ".wav");
        const std::string command = "sox -V1 -n -r 8000 -c 1 -e floating-point -b 32 '" + part + "' synth " +
                                    std::to_string(tones[i].seconds) + " sine " + std::to_string(tones[i].hz) +
                                    " vol " + std::to_string(std::pow(10.0, tones[i].peakDbfs / 20));
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        parts += " '" + part + "'";
    }
    const std::string out = folder.File("message.wav");
    const std::string command = "sox -V1" + parts + " -e mu-law -b 8 '" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint8_t> codes;
    QuietReport report;
    EXPECT_TRUE(cMemoryMap::ReadUnitWav(out.c_str(), cMemoryMap::kImageSize, codes, report));
    return codes;
}

void PutMessage(cMemoryMap& map, uint8_t slot, const std::vector<uint8_t>& codes)
{
    map.ClearSlot(slot);
    uint8_t* at = map.AllocateAtEnd(slot);
    std::copy(codes.begin(), codes.end(), at);
    map.SetLength(slot, uint32_t(codes.size()));
    map.SetName(slot, ("Message " + std::to_string(slot + 1)).c_str());
    map.SetPlayCount(slot, uint8_t(slot + 2));
    map.UpdateChecksum(slot);
}

}  // namespace

// A mono message carries the signal of one channel, so each stereo case's
// level is 3 dB higher in peak here: a 1 kHz sine of -20 dBFS peak (-23 dBFS
// RMS) reads -23 LUFS. The 8 kHz band carries 1 kHz tones whole; mu-law
// steps and the filters at this rate hold the readings within 0.2 LU and the
// true peak within 0.2 dB.
TEST(LoudnessMeter, ReadsTheReferenceSignals)
{
    REQUIRE_REAL_PART("sox", SoxMissing());
    struct Case {
        const char* what;
        std::vector<Tone> tones;
        double lufs;
        double truePeak;
    };
    const Case cases[] = {
        {"steady tone at -23", {{20, -20}}, -23.0, -20.0},
        {"steady tone at -33", {{20, -30}}, -33.0, -30.0},
        {"relative gate drops the quiet ends", {{10, -33}, {60, -20}, {10, -33}}, -23.0, -20.0},
        {"absolute and relative gates", {{10, -69}, {10, -33}, {60, -20}, {10, -33}, {10, -69}}, -23.0, -20.0},
        {"level steps average to -23", {{20, -23}, {20.1, -17}, {20, -23}}, -23.0, -17.0},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::vector<uint8_t> codes = MakeMessage(folder, c.tones);
        const SLoudness l = CLoudnessMeter::MeasureCodes(codes.data(), codes.size());
        ASSERT_TRUE(l.Measured()) << c.what;
        EXPECT_NEAR(l.lufs, c.lufs, 0.2) << c.what;
        EXPECT_NEAR(l.truePeak, c.truePeak, 0.2) << c.what;
        std::printf("%-40s %7.2f LUFS (stated %.1f)  %6.2f dBTP (stated %.1f)\n", c.what, l.lufs, c.lufs, l.truePeak,
                    c.truePeak);
    }
}

// 2 kHz at 8 kHz from a phase of 45 degrees: every sample lies 3 dB under
// the wave's peak, which only the true peak sees.
TEST(LoudnessMeter, TruePeakSeesBetweenTheSamples)
{
    std::vector<float> wave(16000);
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] = float(0.5 * std::sin(M_PI / 4 + 2 * M_PI * 2000 * double(i) / 8000));
    const std::vector<uint8_t> codes = CLoudnessMatch::Encode(wave, 0);
    const SLoudness l = CLoudnessMeter::MeasureCodes(codes.data(), codes.size());
    EXPECT_NEAR(l.truePeak, -6.0, 0.3);
}

TEST(LoudnessMeter, TextsForEmptyShortAndSilentMessages)
{
    const std::vector<uint8_t> silence(8000, 0xFF);
    const std::vector<uint8_t> blip(1000, 0xA0);
    struct Case {
        SLoudness loudness;
        const char* lufs;
        const char* peak;
    };
    SLoudness measured;
    measured.state = SLoudness::State::kMeasured;
    measured.lufs = -19.84;
    measured.truePeak = -2.06;
    const Case cases[] = {
        {SLoudness{}, "", ""},
        {CLoudnessMeter::MeasureCodes(silence.data(), silence.size()), "silent", "-inf dBTP"},
        {CLoudnessMeter::MeasureCodes(blip.data(), blip.size()), "too short", nullptr},
        {measured, "-19.8 LUFS", "-2.1 dBTP"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CLoudnessMeter::LoudnessText(c.loudness), c.lufs);
        if (c.peak) {
            EXPECT_EQ(CLoudnessMeter::PeakText(c.loudness), c.peak);
        }
    }
}

// Two messages 30 dB apart both reach the target; a loud square-ish message
// whose peaks leave no room is brought as close as the ceiling lets it and
// named; the others (empty, silent) stay as they were.
TEST(LoudnessMatch, BringsMessagesThirtyDbApartToTheTargetWithoutClipping)
{
    REQUIRE_REAL_PART("sox", SoxMissing());
    TempFolder folder;
    cMemoryMap map;
    FillImage(map, {});
    PutMessage(map, 0, MakeMessage(folder, {{3, -8}}));
    PutMessage(map, 1, MakeMessage(folder, {{3, -38}}));
    // A quiet tone under short bursts near full scale: no room to reach -20.
    std::vector<Tone> bursty;
    for (int i = 0; i < 6; ++i) {
        bursty.push_back({0.495, -40});
        bursty.push_back({0.005, -0.5});
    }
    PutMessage(map, 3, MakeMessage(folder, bursty));
    PutMessage(map, 4, std::vector<uint8_t>(8000, 0xFF));
    map.StoreTableInImage();
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        map.ClearSectorNeeded(s);

    std::vector<uint8_t> table(map.GetTable(), map.GetTable() + cMemoryMap::kTableSize);
    struct Entry {
        uint32_t start, length;
        std::string name;
        uint8_t count;
        bool operator==(const Entry& o) const
        {
            return start == o.start && length == o.length && name == o.name && count == o.count;
        }
    };
    auto entries = [&] {
        std::vector<Entry> e;
        for (uint8_t s = 0; s < cMemoryMap::kSlotCount; ++s)
            e.push_back({map.GetStart(s), map.GetLength(s), map.GetName(s), map.GetPlayCount(s)});
        return e;
    };
    const std::vector<Entry> entriesBefore = entries();
    CImageHistory history;
    history.Reset(map, false);
    const std::vector<uint8_t> imageBefore(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize);

    QuietReport report;
    std::vector<SMatchOutcome> outcomes;
    const CCommandResult result = CImageCommands(map, report).MatchLoudness(-20.0, 0xFF, outcomes);
    ASSERT_TRUE(result.done);
    ASSERT_EQ(outcomes.size(), 8u);

    for (uint8_t slot : {0, 1}) {
        const SLoudness after = CLoudnessMeter::MeasureSlot(map, slot);
        EXPECT_EQ(outcomes[slot].kind, SMatchOutcome::Kind::kMatched) << int(slot);
        EXPECT_NEAR(after.lufs, -20.0, CLoudnessMatch::kTolerance) << int(slot);
        EXPECT_LE(after.truePeak, CLoudnessMatch::kPeakCeiling) << int(slot);
    }
    EXPECT_NEAR(outcomes[1].gainDb - outcomes[0].gainDb, 30.0, 0.5);

    const SLoudness limited = CLoudnessMeter::MeasureSlot(map, 3);
    EXPECT_EQ(outcomes[3].kind, SMatchOutcome::Kind::kLimited);
    EXPECT_LE(limited.truePeak, CLoudnessMatch::kPeakCeiling);
    EXPECT_LT(limited.lufs, -20.0 - CLoudnessMatch::kTolerance);
    // As close as it can: the peak sits just under the ceiling.
    EXPECT_GT(limited.truePeak, CLoudnessMatch::kPeakCeiling - 0.3);
    char expected[80];
    std::snprintf(expected, sizeof expected, "Message 4 reaches %.1f LUFS: louder would clip", limited.lufs);
    EXPECT_EQ(CLoudnessMatch::Describe(outcomes[3]), expected);

    EXPECT_EQ(outcomes[2].kind, SMatchOutcome::Kind::kEmpty);
    EXPECT_EQ(outcomes[4].kind, SMatchOutcome::Kind::kSkipped);
    EXPECT_EQ(CLoudnessMatch::Describe(outcomes[4]), "Message 5 is silent: left as it is");

    // Only the audio and the checksums of the matched slots changed; their
    // sectors are marked for the next write, the silent one's are not.
    EXPECT_TRUE(entries() == entriesBefore);
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        EXPECT_EQ(bool(result.change.entries & (1u << slot)), outcomes[slot].Changed()) << int(slot);
    }
    auto sectorOf = [&](uint8_t slot) {
        uint8_t s = 1;
        while (cMemoryMap::GetSectorEnd(s) <= map.GetStart(slot))
            ++s;
        return s;
    };
    EXPECT_TRUE(map.IsSectorNeeded(sectorOf(0)));
    EXPECT_TRUE(map.IsSectorNeeded(sectorOf(3)));
    EXPECT_FALSE(map.IsSectorNeeded(sectorOf(4) + 1));

    // One step puts every message back.
    ASSERT_TRUE(history.Record(map, result.change, false, true));
    bool changed = true;
    ASSERT_TRUE(history.Undo(map, changed));
    EXPECT_EQ(0, std::memcmp(map.GetImageBuffer(), imageBefore.data(), imageBefore.size()));
    EXPECT_EQ(0, std::memcmp(map.GetTable(), table.data(), table.size()));
}

// A message already at the target is left byte for byte; a lower target
// makes a message quieter, which never clips.
TEST(LoudnessMatch, AtTheTargetNothingMovesAndQuieterAlwaysFits)
{
    REQUIRE_REAL_PART("sox", SoxMissing());
    TempFolder folder;
    const std::vector<uint8_t> original = MakeMessage(folder, {{2, -17}});
    std::vector<uint8_t> codes = original;
    const double level = CLoudnessMeter::MeasureCodes(codes.data(), codes.size()).lufs;
    SMatchOutcome same = CLoudnessMatch::MatchCodes(codes, level);
    EXPECT_EQ(same.kind, SMatchOutcome::Kind::kUnchanged);
    EXPECT_EQ(codes, original);

    SMatchOutcome quieter = CLoudnessMatch::MatchCodes(codes, -40.0);
    EXPECT_EQ(quieter.kind, SMatchOutcome::Kind::kMatched);
    EXPECT_NEAR(CLoudnessMeter::MeasureCodes(codes.data(), codes.size()).lufs, -40.0, CLoudnessMatch::kTolerance);
}
