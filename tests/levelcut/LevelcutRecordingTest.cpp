// Whole recordings through the processor: synthetic speech with known
// boundaries, noise, offset and clicks, at every capture format.
#include "CLevelGain.h"
#include "CLevelcut.h"
#include "CSpeechFixture.h"
#include "SpeechFixtureSuite.h"
#include "CWaveFile.h"
#include "levelcut.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

struct Outcome {
    int code = -1;
    CLevelcut::Report report;
    double gain = 0, clip = 0, snr = 0;
    double speechDb = 0;  // output RMS over the true speech
    size_t samples = 0;
};

class LevelcutRecording : public SpeechFixtureSuite<LevelcutRecording> {
protected:
    // Makes the recording, processes it with lc and checks the file it leaves.
    static Outcome Process(CLevelcut& lc, const FixtureCase& c, Fixture* made = nullptr)
    {
        Outcome o;
        Fixture f = s_fx->Make(c);
        EXPECT_FALSE(f.path.empty()) << c.name;
        if (made)
            *made = f;
        o.code = lc.TrimFile(f.path.c_str());
        if (o.code != 0)
            return o;
        o.report = lc.LastReport();
        o.gain = lc.Gain();
        o.clip = lc.Clip();
        o.snr = lc.Snr();

        CWaveFile wf;
        EXPECT_TRUE(wf.OpenRead(f.path.c_str())) << c.name;
        EXPECT_EQ(wf.FormatTag(), 7);
        EXPECT_EQ(wf.Channels(), 1);
        EXPECT_EQ(wf.SamplesPerSec(), 8000u);
        EXPECT_EQ(wf.BitsPerSample(), 8);
        EXPECT_EQ(wf.DataSize(), o.report.outputSamples) << c.name;
        wf.CloseRead();
        std::vector<float> y;
        unsigned rate = 0;
        EXPECT_TRUE(CSpeechFixture::ReadSamples(f.path, y, rate));
        o.samples = y.size();
        EXPECT_NEAR(o.report.keptEndMs - o.report.keptStartMs, double(y.size()) / 8.0, 0.2) << c.name;

        long b = std::max(0L, long((f.speechStartMs - o.report.keptStartMs) * 8.0));
        long e = std::min(long(y.size()), long((f.speechEndMs - o.report.keptStartMs) * 8.0));
        double sum = 0.0;
        for (long i = b; i < e; ++i)
            sum += double(y[size_t(i)]) * y[size_t(i)];
        o.speechDb = e > b ? 10.0 * std::log10(sum / double(e - b) / (32768.0 * 32768.0)) : -200.0;
        return o;
    }
};

// A soft "f" to start, a stop consonant to end: neither may be cut, in any
// of the conditions an operator meets, and the message comes out trimmed
// and at one level.
TEST_F(LevelcutRecording, NormalRecordingsKeepEverySoundAndComeOutAlike)
{
    const std::vector<FixtureCase> cases = {
        {"quiet", 22050, 16, -12, 45},
        {"quiet-44k", 44100, 16, -12, 45},
        {"noise15", 44100, 16, -12, 15},
        {"dc-offset", 22050, 16, -12, 45, 4000.0},
        {"click-before", 44100, 16, -12, 45, 0.0, 500.0},
        {"8bit-11k", 11025, 8, -12, 45},
        {"mains-hum", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -40.0},
        {"short-pauses", 22050, 16, -12, 30, 0.0, 0.0, 0.0, true, 100.0, 100.0},
    };
    double referenceDb = 0.0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const FixtureCase& c = cases[i];
        CLevelcut lc;
        Fixture f;
        Outcome o = Process(lc, c, &f);
        ASSERT_EQ(o.code, 0) << c.name;
        const double lead = f.speechStartMs - o.report.keptStartMs;
        const double trail = o.report.keptEndMs - f.speechEndMs;
        EXPECT_GE(lead, 0.0) << c.name << ": the start of the speech was cut";
        EXPECT_GE(trail, 0.0) << c.name << ": the end of the speech was cut";
        EXPECT_LE(lead, 250.0) << c.name;
        EXPECT_LE(trail, 350.0) << c.name;
        EXPECT_LT(o.gain, 15.0) << c.name;
        EXPECT_GT(o.snr, 10.0) << c.name;
        EXPECT_LE(size_t(o.clip), CLevelGain::AllowedClips(o.samples, LEVELCUT_DEFAULT_CLIP_AMOUNT)) << c.name;
        if (i == 0)
            referenceDb = o.speechDb;
        EXPECT_NEAR(o.speechDb, referenceDb, 2.0) << c.name;
    }
}

TEST_F(LevelcutRecording, SnrEstimateMatchesTheMix)
{
    const std::vector<FixtureCase> cases = {
        {"snr10", 22050, 16, -12, 10}, {"snr15", 44100, 16, -12, 15}, {"snr20", 11025, 16, -12, 20},
        {"snr30", 22050, 16, -20, 30}, {"snr40", 44100, 16, -6, 40},
    };
    for (const FixtureCase& c : cases) {
        CLevelcut lc;
        Outcome o = Process(lc, c);
        ASSERT_EQ(o.code, 0) << c.name;
        EXPECT_NEAR(o.snr, c.snrDb, 2.0) << c.name;
    }
}

TEST_F(LevelcutRecording, PoorRecordingsAreFlagged)
{
    // What the edit dialog warns about: gain above 20 dB or SNR below 0.
    struct Case {
        FixtureCase fc;
        int speech;
    };  // 1 found, 0 not, -1 either
    const std::vector<Case> cases = {
        {{"whisper", 22050, 16, -36, 35}, 1},
        // Barely over the 8-bit steps: found or not, it must be flagged.
        {{"whisper-8bit", 11025, 8, -34, 35}, -1},
        {{"noise-only", 22050, 16, -12, -45, 0.0, 0.0, 0.0, false}, 0},
        {{"silence-only", 44100, 16, -12, -200, 0.0, 0.0, 0.0, false}, 0},
    };
    for (const Case& c : cases) {
        CLevelcut lc;
        Fixture f;
        Outcome o = Process(lc, c.fc, &f);
        ASSERT_EQ(o.code, 0) << c.fc.name;
        EXPECT_TRUE(o.gain > 20.0 || o.snr < 0.0) << c.fc.name << " gain " << o.gain << " snr " << o.snr;
        if (c.speech >= 0) {
            EXPECT_EQ(o.report.speechFound, c.speech == 1) << c.fc.name;
        }
        if (o.report.speechFound) {
            EXPECT_GE(f.speechStartMs - o.report.keptStartMs, 0.0) << c.fc.name;
            EXPECT_GE(o.report.keptEndMs - f.speechEndMs, 0.0) << c.fc.name;
        } else {
            // Nothing found: nothing trimmed but the initial trim, and no gain.
            EXPECT_EQ(o.snr, LEVELCUT_SNR_NO_SPEECH);
            EXPECT_EQ(o.gain, 0.0);
            EXPECT_NEAR(o.report.keptStartMs, LEVELCUT_DEFAULT_INITIAL_TRIM / 8.0, 0.2);
            EXPECT_NEAR(o.report.keptEndMs, f.durationMs, 0.5);
        }
    }
}

TEST_F(LevelcutRecording, LargerTimeConstantNeverShortensTheMessage)
{
    // A soft tap 300 ms after the speech, far softer than the speech (as a
    // stop consonant's release would be): only a long hangover takes it in.
    FixtureCase c{"soft-tap-after", 22050, 16, -12, 45};
    c.tapAfterMs = 300.0;
    c.tapPeakDb = -30.0;
    double lastMs = 0.0;
    for (float tc : {0.5f, 0.9f, 0.99f, 0.999f, 0.9998f, 0.9999f, 1.0f}) {
        CLevelcut lc;
        ASSERT_EQ(lc.SetTimeConstant(tc), 0);
        Fixture f;
        Outcome o = Process(lc, c, &f);
        ASSERT_EQ(o.code, 0) << tc;
        double ms = o.report.keptEndMs - o.report.keptStartMs;
        EXPECT_GE(ms, lastMs - 0.01) << tc;
        lastMs = ms;
        EXPECT_GE(o.report.keptEndMs, f.speechEndMs) << tc;
        bool knockKept = o.report.keptEndMs > f.speechEndMs + 300.0;
        EXPECT_EQ(knockKept, tc >= 0.9999f) << tc;
    }
}

TEST_F(LevelcutRecording, ClipCountFollowsTheClipAmount)
{
    // A quiet message of two sentences with a loud knock in the pause
    // between them: the knock is kept, and decides how far the gain may go.
    const FixtureCase c{"knock-quiet", 22050, 16, -30, 40, 0.0, 0.0, 0.0, true, 800, 800, -200, 50, 0, 600};
    const Fixture f = s_fx->Make(c);
    ASSERT_FALSE(f.path.empty());
    std::vector<float> x;
    unsigned rate = 0;
    ASSERT_TRUE(CSpeechFixture::ReadSamples(f.path, x, rate));
    const size_t at = size_t((f.firstEndMs + 300.0) * rate / 1000.0);
    for (size_t i = 0; i < size_t(rate * 0.003); ++i)
        x[at + i] += float(30000.0 * std::exp(-double(i) / rate / 0.0007) * std::cos(2.0 * M_PI * 1200.0 * i / rate));
    const std::string knocked = s_fx->Dir() + "/knock-quiet.wav";
    ASSERT_TRUE(CSpeechFixture::WritePcm16(knocked, x, rate));
    const std::string work = s_fx->Dir() + "/knock-work.wav";
    double gainNoClip = 0.0;
    for (float amount : {0.0f, 0.02f, 0.2f, 1.0f}) {
        CLevelcut lc;
        ASSERT_EQ(lc.SetClipAmount(amount), 0);
        std::filesystem::copy_file(knocked, work, std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(lc.TrimFile(work.c_str()), 0) << amount;
        Outcome o;
        o.gain = lc.Gain();
        o.clip = lc.Clip();
        o.samples = lc.LastReport().outputSamples;
        EXPECT_LE(size_t(o.clip), CLevelGain::AllowedClips(o.samples, amount)) << amount;
        if (amount == 0.0f) {
            EXPECT_EQ(o.clip, 0.0);
            gainNoClip = o.gain;
        } else {
            EXPECT_GE(o.gain, gainNoClip) << amount;
        }
        if (amount == 1.0f) {
            EXPECT_GT(o.clip, 0.0);
        }
    }
}

// Taps on the microphone (5 ms, near full scale) beside the speech, and
// rumble under the voice band: the message is trimmed as a clean one is,
// comes out at the same level, and rumble alone is no speech.
TEST_F(LevelcutRecording, TapsAndRumbleStayOutOfTheSpeechAndTheLevel)
{
    struct Case {
        FixtureCase fc;
        double tapBefore, tapAfter, rumbleDb;
    };
    const std::vector<Case> cases = {
        {{"clean", 22050, 16, -12, 45}, 0, 0, -200},
        {{"tap-100-before", 44100, 16, -12, 45}, 100, 0, -200},
        {{"tap-150-before", 22050, 16, -12, 45}, 150, 0, -200},
        {{"tap-200-after", 22050, 16, -12, 45}, 0, 200, -200},
        {{"taps-both-8bit", 11025, 8, -12, 45}, 180, 120, -200},
        {{"tap-quiet-speech", 22050, 16, -30, 40}, 200, 0, -200},
        {{"rumble-30dB", 22050, 16, -12, 45}, 0, 0, -30},
        {{"rumble-20dB", 44100, 16, -12, 45}, 0, 0, -20},
        {{"rumble-and-tap", 22050, 16, -12, 45}, 150, 0, -25},
    };
    double referenceDb = 0.0;
    for (size_t i = 0; i < cases.size(); ++i) {
        FixtureCase fc = cases[i].fc;
        fc.tapBeforeMs = cases[i].tapBefore;
        fc.tapAfterMs = cases[i].tapAfter;
        fc.rumbleDb = cases[i].rumbleDb;
        CLevelcut lc;
        Fixture f;
        const Outcome o = Process(lc, fc, &f);
        ASSERT_EQ(o.code, 0) << fc.name;
        ASSERT_TRUE(o.report.speechFound) << fc.name;
        const double lead = f.speechStartMs - o.report.keptStartMs;
        const double trail = o.report.keptEndMs - f.speechEndMs;
        EXPECT_GE(lead, 0.0) << fc.name << ": the start of the speech was cut";
        EXPECT_GE(trail, 0.0) << fc.name << ": the end of the speech was cut";
        EXPECT_LE(lead, 250.0) << fc.name;
        EXPECT_LE(trail, 350.0) << fc.name;
        if (fc.tapBeforeMs > 0) {
            EXPECT_LT(lead, fc.tapBeforeMs - 5.0) << fc.name << ": the tap was kept";
        }
        if (fc.tapAfterMs > 0) {
            EXPECT_LT(trail, fc.tapAfterMs) << fc.name << ": the tap was kept";
        }
        if (i == 0)
            referenceDb = o.speechDb;
        EXPECT_NEAR(o.speechDb, referenceDb, fc.rumbleDb > -25.0 ? 2.5 : 1.5) << fc.name;
    }

    // Rumble alone, and taps in silence: no speech, so no gain at all.
    FixtureCase rumble{"rumble-alone", 22050, 16, -12, -60, 0.0, 0.0, 0.0, false};
    rumble.rumbleDb = -20.0;
    FixtureCase taps{"taps-alone", 44100, 16, -12, -60, 0.0, 0.0, 0.0, false};
    taps.tapBeforeMs = 300.0;
    taps.tapAfterMs = 300.0;
    taps.tapPeakDb = 0.0;
    for (const FixtureCase& fc : {rumble, taps}) {
        CLevelcut lc;
        const Outcome o = Process(lc, fc);
        ASSERT_EQ(o.code, 0) << fc.name;
        EXPECT_FALSE(o.report.speechFound) << fc.name;
        EXPECT_EQ(o.gain, 0.0) << fc.name;
        EXPECT_EQ(o.snr, LEVELCUT_SNR_NO_SPEECH) << fc.name;
    }
}

TEST_F(LevelcutRecording, InitialTrimDropsTheStartOfTheCapture)
{
    for (int trim : {0, 500, 2000}) {
        CLevelcut lc;
        ASSERT_EQ(lc.SetInitialTrim(trim), 0);
        Outcome o = Process(lc, {"silence-trim", 22050, 16, -12, -200, 0.0, 0.0, 0.0, false});
        ASSERT_EQ(o.code, 0);
        EXPECT_NEAR(o.report.keptStartMs, trim / 8.0, 0.2) << trim;
    }
}

}  // namespace
