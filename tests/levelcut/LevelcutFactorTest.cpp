// The threshold factor across its whole range, on speech in noise: a larger
// factor trims harder, but never loses the speech it was asked to keep, and a
// short word still counts as speech.
#include "CLevelcut.h"
#include "CSpeechFixture.h"
#include "SpeechFixtureSuite.h"
#include "CWaveFile.h"
#include "levelcut.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

class LevelcutFactor : public SpeechFixtureSuite<LevelcutFactor> { };

TEST_F(LevelcutFactor, EveryFactorKeepsTheSpeechAndLargerNeverKeepsMore)
{
    // 10 dB is where a factor scaling the noise-floor term used to climb over
    // the speech: its start and end went first, then all of it.
    for (double snr : {10.0, 20.0, 45.0}) {
        const Fixture f = s_fx->Make({"noisy", 22050, 16, -12, snr});
        ASSERT_FALSE(f.path.empty());
        const std::string work = s_fx->Dir() + "/factor.wav";
        double lastKeptMs = 1e9;
        for (int step = 0; step <= 20; ++step) {
            const float factor = 0.25f * float(step);
            CLevelcut lc;
            ASSERT_EQ(lc.SetThreshFudge(factor), 0);
            std::filesystem::copy_file(f.path, work, std::filesystem::copy_options::overwrite_existing);
            ASSERT_EQ(lc.TrimFile(work.c_str()), 0);
            const CLevelcut::Report& r = lc.LastReport();
            const std::string at = "SNR " + std::to_string(snr) + " factor " + std::to_string(factor);
            ASSERT_TRUE(r.speechFound) << at;
            // Onset and release are soft; everything else of the sentence stays.
            EXPECT_LE(r.keptStartMs, f.speechStartMs + 100.0) << at;
            EXPECT_GE(r.keptEndMs, f.speechEndMs - 100.0) << at;
            const double keptMs = r.keptEndMs - r.keptStartMs;
            EXPECT_LE(keptMs, lastKeptMs + 0.01) << at;
            lastKeptMs = keptMs;
            EXPECT_GT(lc.Snr(), snr - 3.0) << at;
        }
    }
}

TEST_F(LevelcutFactor, AShortWordCountsAsSpeech)
{
    // 0.2 s of a spoken word with a second of room noise either side.
    const std::string d = s_fx->Dir();
    const std::string script = "espeak-ng -w '" + d +
                               "/word-raw.wav' Go && "
                               "sox '" +
                               d + "/word-raw.wav' -r 22050 -b 16 '" + d +
                               "/word-cut.wav' "
                               "silence 1 0.01 1% reverse silence 1 0.01 1% reverse && "
                               "sox '" +
                               d + "/word-cut.wav' '" + d +
                               "/word-pad.wav' trim 0 0.2 pad 1 1 && "
                               "sox -n -r 22050 -b 16 -c 1 '" +
                               d +
                               "/room.wav' synth 2.2 whitenoise vol 0.01 && "
                               "sox -m '" +
                               d + "/word-pad.wav' '" + d + "/room.wav' '" + d + "/word.wav' >/dev/null 2>&1";
    ASSERT_EQ(std::system(script.c_str()), 0);
    const std::string path = d + "/word.wav";
    CLevelcut lc;
    ASSERT_EQ(lc.TrimFile(path.c_str()), 0);
    const CLevelcut::Report& r = lc.LastReport();
    ASSERT_TRUE(r.speechFound);
    EXPECT_NEAR(r.speechStartMs, 1000.0, 50.0);
    EXPECT_NEAR(r.speechEndMs, 1200.0, 50.0);
    EXPECT_GT(lc.Snr(), 20.0);
    CWaveFile out;
    ASSERT_TRUE(out.OpenRead(path.c_str()));
    EXPECT_GE(out.DurationMs(), 200u);
    EXPECT_LT(out.DurationMs(), 800u);
}

}  // namespace
