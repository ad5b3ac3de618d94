// The building blocks: conditioning, framing and thresholds, gain.
#include "CConditioner.h"
#include "CLevelGain.h"
#include "CSpeechDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

double Db(double power)
{
    return 10.0 * std::log10(power);
}

double Power(const std::vector<float>& x, size_t b, size_t e)
{
    double s = 0.0;
    for (size_t i = b; i < e; ++i)
        s += double(x[i]) * x[i];
    return s / double(e - b);
}

std::vector<float> Tone(double hz, double amp, double seconds, double rate)
{
    std::vector<float> x(size_t(seconds * rate));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = float(amp * std::sin(2.0 * M_PI * hz * double(i) / rate));
    return x;
}

// An 8 kHz scene: Gaussian noise at noiseRms with tone bursts added.
struct Burst {
    double startMs, lengthMs, amp;
};
std::vector<float> Scene(double seconds, double noiseRms, const std::vector<Burst>& bursts)
{
    std::mt19937 gen(7);
    std::normal_distribution<float> nd(0.0f, 1.0f);
    std::vector<float> x(size_t(seconds * 8000));
    for (float& v : x)
        v = float(noiseRms) * nd(gen);
    for (const Burst& b : bursts) {
        size_t s = size_t(b.startMs * 8), e = std::min(x.size(), size_t((b.startMs + b.lengthMs) * 8));
        for (size_t i = s; i < e; ++i)
            x[i] += float(b.amp * std::sin(2.0 * M_PI * 440.0 * double(i) / 8000.0));
    }
    return x;
}

}  // namespace

TEST(LevelcutConditioner, SampleConversion)
{
    const uint8_t eight[] = {0, 128, 255};
    std::vector<float> x = CConditioner::ToFloat(eight, 3, 8);
    EXPECT_EQ(x, (std::vector<float>{-32768.0f, 0.0f, 32512.0f}));
    const uint8_t sixteen[] = {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0xAA};  // odd byte dropped
    x = CConditioner::ToFloat(sixteen, 7, 16);
    EXPECT_EQ(x, (std::vector<float>{-32768.0f, 32767.0f, 1.0f}));
}

TEST(LevelcutConditioner, ResamplingKeepsTheTelephoneBandAndRemovesTheRest)
{
    struct Case {
        double hz;
        unsigned rate;
        double minDb, maxDb;
    };
    const Case cases[] = {
        {1000, 44100, -0.1, 0.1}, {1000, 22050, -0.1, 0.1}, {1000, 11025, -0.1, 0.1},
        {3400, 44100, -0.5, 0.1}, {3400, 11025, -0.5, 0.1},  // the top of the voice band survives
        {5000, 44100, -300, -40}, {5000, 22050, -300, -40},  // above 4 kHz it must not alias back
    };
    for (const Case& c : cases) {
        std::vector<float> in = Tone(c.hz, 10000.0, 1.0, c.rate), out;
        ASSERT_TRUE(CConditioner::Resample(in, c.rate, out));
        EXPECT_NEAR(double(out.size()), 8000.0, 1.0);
        double change = Db(Power(out, 1000, 7000) / Power(in, 5000, in.size() - 5000));
        EXPECT_GE(change, c.minDb) << c.hz << " Hz from " << c.rate;
        EXPECT_LE(change, c.maxDb) << c.hz << " Hz from " << c.rate;
    }
}

TEST(LevelcutConditioner, TimingIsKeptThroughTheWholeChain)
{
    // A burst at 0.5 s must still start at 0.5 s: the trim points are
    // reported in input time.
    for (unsigned rate : {44100u, 22050u, 11025u}) {
        std::vector<uint8_t> pcm(rate * 2, 0);
        for (size_t i = rate / 2; i < rate; ++i) {
            int16_t v = int16_t(8000.0 * std::sin(2.0 * M_PI * 500.0 * double(i) / rate));
            pcm[2 * i] = uint8_t(v & 0xFF);
            pcm[2 * i + 1] = uint8_t((v >> 8) & 0xFF);
        }
        CConditioner::Signal sig;
        ASSERT_TRUE(CConditioner::Run(pcm.data(), pcm.size(), 16, rate, sig));
        const std::vector<float>& out = sig.x;
        size_t first = 0;
        while (first < out.size() && std::fabs(out[first]) < 1000.0f)
            ++first;
        EXPECT_NEAR(double(first) / 8.0, 500.0, 2.0) << rate;
    }
}

TEST(LevelcutConditioner, HighPassRemovesOffsetAndHumButKeepsVoice)
{
    std::vector<float> dc(8000, 3000.0f);
    CConditioner::HighPass(dc);
    EXPECT_LT(std::sqrt(Power(dc, 800, 8000)), 5.0);  // settled after 100 ms
    std::vector<float> hum = Tone(30, 10000, 1.0, 8000), voice = Tone(300, 10000, 1.0, 8000);
    std::vector<float> humIn = hum, voiceIn = voice;
    CConditioner::HighPass(hum);
    CConditioner::HighPass(voice);
    EXPECT_LT(Db(Power(hum, 2000, 8000) / Power(humIn, 2000, 8000)), -15.0);
    EXPECT_NEAR(Db(Power(voice, 2000, 8000) / Power(voiceIn, 2000, 8000)), 0.0, 0.3);
}

TEST(LevelcutSpeechDetector, FramesAreTenMillisecondsWithAPartialLastFrame)
{
    std::vector<float> x(85, 2.0f);
    x[84] = 4.0f;
    std::vector<double> p = CSpeechDetector::FramePowers(x.data(), x.size());
    ASSERT_EQ(p.size(), 2u);
    EXPECT_DOUBLE_EQ(p[0], 4.0);
    EXPECT_DOUBLE_EQ(p[1], (4 * 4.0 + 16.0) / 5.0);
    EXPECT_TRUE(CSpeechDetector::FramePowers(x.data(), 0).empty());
}

TEST(LevelcutSpeechDetector, HangoverGrowsWithTheTimeConstant)
{
    EXPECT_EQ(CSpeechDetector::HangoverFrames(0.5), 0u);
    EXPECT_EQ(CSpeechDetector::HangoverFrames(0.9998), 21u);  // 216 ms
    EXPECT_EQ(CSpeechDetector::HangoverFrames(0.9999), 43u);
    EXPECT_EQ(CSpeechDetector::HangoverFrames(1.0), 200u);
    size_t last = 0;
    for (double tc = 0.5; tc <= 1.0; tc += 0.00005) {
        size_t h = CSpeechDetector::HangoverFrames(tc);
        ASSERT_GE(h, last) << tc;
        last = h;
    }
}

TEST(LevelcutSpeechDetector, Scenes)
{
    struct Case {
        const char* name;
        double noiseRms;
        std::vector<Burst> bursts;
        double factor;
        size_t hangover;
        bool found;
        double startMs, endMs;  // expected speech region, ±20 ms
    };
    const Case cases[] = {
        {"tone in quiet", 3, {{500, 1000, 3000}}, 1.0, 21, true, 500, 1500},
        {"tone in noise", 300, {{500, 1000, 6000}}, 1.0, 21, true, 500, 1500},
        {"click alone", 3, {{500, 20, 20000}}, 1.0, 21, false, 0, 0},
        {"noise alone", 300, {}, 1.0, 21, false, 0, 0},
        {"click before speech, beyond hangover", 3, {{300, 20, 20000}, {800, 700, 3000}}, 1.0, 21, true, 800, 1500},
        // A click louder than the speech is no part of it, however near.
        {"loud click before speech, within hangover",
         3,
         {{600, 20, 20000}, {800, 700, 3000}},
         1.0,
         21,
         true,
         800,
         1500},
        {"loud click after speech, within hangover",
         3,
         {{500, 700, 3000}, {1300, 20, 20000}},
         1.0,
         21,
         true,
         500,
         1200},
        {"loud clicks either side, at factor 5",
         3,
         {{350, 20, 30000}, {500, 700, 3000}, {1350, 10, 30000}},
         5.0,
         21,
         true,
         500,
         1200},
        {"soft sound before speech, within hangover", 3, {{600, 20, 600}, {800, 700, 3000}}, 1.0, 21, true, 600, 1500},
        {"soft release after speech", 3, {{500, 700, 3000}, {1300, 20, 600}}, 1.0, 21, true, 500, 1320},
        {"factor 0 keeps all that is not silence", 3, {{500, 1000, 3000}}, 0.0, 21, true, 0, 2000},
        {"factor 5 still finds normal speech", 3, {{500, 1000, 3000}}, 5.0, 21, true, 500, 1500},
        {"soft speech in a quiet recording", 3, {{500, 1000, 150}}, 1.0, 21, true, 500, 1500},
        {"much softer speech a second later, factor 5",
         30,
         {{300, 500, 6000}, {1300, 400, 150}},
         5.0,
         21,
         true,
         300,
         1700},
    };
    for (const Case& c : cases) {
        std::vector<float> x = Scene(2.0, c.noiseRms, c.bursts);
        CSpeechDetector::Settings s;
        s.factor = c.factor;
        s.hangoverFrames = c.hangover;
        CSpeechDetector::Result r = CSpeechDetector::Detect(x.data(), x.size(), {}, s);
        ASSERT_EQ(r.speechFound, c.found) << c.name;
        if (!c.found)
            continue;
        EXPECT_NEAR(double(r.keepFirst) * 10.0, c.startMs, 20.0) << c.name;
        EXPECT_NEAR(double(r.keepEnd) * 10.0, c.endMs, 20.0) << c.name;
    }
}

// A click beside the speech, however loud, sets neither the level nor the
// margins: the margins stop short of it, and the level is the speech's.
TEST(LevelcutSpeechDetector, ClicksStayOutOfTheLevelAndTheMargins)
{
    const std::vector<Burst> speech = {{800, 700, 3000}};
    std::vector<float> x = Scene(2.0, 3, speech);
    const CSpeechDetector::Result alone = CSpeechDetector::Detect(x.data(), x.size(), {}, CSpeechDetector::Settings());
    ASSERT_TRUE(alone.speechFound);
    EXPECT_EQ(alone.marginFirst, 0u);
    EXPECT_EQ(alone.marginEnd, SIZE_MAX);
    for (double clickMs : {650.0, 700.0, 1600.0}) {
        std::vector<Burst> b = speech;
        b.push_back({clickMs, 10, 32000});
        x = Scene(2.0, 3, b);
        const CSpeechDetector::Result r = CSpeechDetector::Detect(x.data(), x.size(), {}, CSpeechDetector::Settings());
        ASSERT_TRUE(r.speechFound) << clickMs;
        EXPECT_NEAR(Db(r.levelPower / alone.levelPower), 0.0, 0.1) << clickMs;
        EXPECT_NEAR(Db(r.speechPower / alone.speechPower), 0.0, 0.1) << clickMs;
        EXPECT_EQ(r.keepFirst, alone.keepFirst) << clickMs;
        EXPECT_EQ(r.keepEnd, alone.keepEnd) << clickMs;
        if (clickMs < 800) {
            EXPECT_NEAR(double(r.marginFirst) * 10.0, clickMs + 10, 10.0) << clickMs;
        } else {
            EXPECT_NEAR(double(r.marginEnd) * 10.0, clickMs, 10.0) << clickMs;
        }
    }
}

TEST(LevelcutConditioner, SpeechBandDropsRumbleAndKeepsTheVoice)
{
    struct Case {
        double hz, minDb, maxDb;
    };
    const Case cases[] = {{60, -300, -60},  {100, -300, -60},  {150, -300, -40}, {200, -300, -20},
                          {700, -1.0, 0.1}, {1000, -0.3, 0.1}, {3400, -0.1, 0.1}};
    for (const Case& c : cases) {
        const std::vector<float> in = Tone(c.hz, 10000, 1.0, 8000);
        const std::vector<float> out = CConditioner::SpeechBand(in.data(), in.size());
        const double change = Db(Power(out, 2000, 8000) / Power(in, 2000, 8000));
        EXPECT_GE(change, c.minDb) << c.hz;
        EXPECT_LE(change, c.maxDb) << c.hz;
    }
    std::vector<float> gap = Tone(150, 10000, 1.0, 8000);
    std::fill(gap.begin() + 4000, gap.begin() + 4800, 0.0f);
    const std::vector<float> out = CConditioner::SpeechBand(gap.data(), gap.size());
    EXPECT_EQ(Power(out, 4000, 4800), 0.0) << "digital silence stays silent";
}

TEST(LevelcutSpeechDetector, LevelsRideOverTheNoiseFloorAndNoiseIsMeasured)
{
    for (double noiseRms : {3.0, 100.0, 1000.0}) {
        std::vector<float> x = Scene(2.0, noiseRms, {{500, 1000, 10000}});
        CSpeechDetector::Result r = CSpeechDetector::Detect(x.data(), x.size(), {}, CSpeechDetector::Settings());
        EXPECT_NEAR(r.floorRms / noiseRms, 1.0, 0.15) << noiseRms;
        EXPECT_DOUBLE_EQ(r.clearRms, 2.0 * r.floorRms);
        EXPECT_NEAR(r.edgeRms, r.clearRms / std::sqrt(2.0), 1e-9 * r.clearRms);
        EXPECT_NEAR(Db(r.noisePower / (noiseRms * noiseRms)), 0.0, 0.5) << noiseRms;
    }
}

TEST(LevelcutGain, ClipLimitAllowsExactlyTheClipAmount)
{
    std::vector<float> x(10000, 1000.0f);
    for (size_t i : {100u, 2000u, 5000u})
        x[i] = 16000.0f;
    // 0.02 % of 10000 samples is 2: the third spike must not clip.
    struct Case {
        double percent;
        double limitDb;
        size_t clipsAtLimit;
    };
    const Case cases[] = {
        {0.0, 20.0 * std::log10(32767.0 / 16000.0), 0},
        {0.02, 20.0 * std::log10(32767.0 / 16000.0), 0},
        {0.03, 20.0 * std::log10(32767.0 / 1000.0), 3},
        {1.0, 20.0 * std::log10(32767.0 / 1000.0), 3},
    };
    for (const Case& c : cases) {
        double limit = CLevelGain::ClipLimitDb(x.data(), x.size(), c.percent);
        EXPECT_NEAR(limit, c.limitDb, 1e-3) << c.percent;
        size_t clips = CLevelGain::CountClips(x.data(), x.size(), limit);
        EXPECT_EQ(clips, c.clipsAtLimit) << c.percent;
        EXPECT_LE(clips, CLevelGain::AllowedClips(x.size(), c.percent)) << c.percent;
    }
    std::vector<float> silent(100, 0.0f);
    EXPECT_TRUE(std::isinf(CLevelGain::ClipLimitDb(silent.data(), silent.size(), 0.0)));
}

TEST(LevelcutGain, ChoiceBringsSpeechToTheTargetWithinLimits)
{
    auto power = [](double dbfs) { return std::pow(10.0, dbfs / 10.0) * 32768.0 * 32768.0; };
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_NEAR(CLevelGain::Choose(power(-30.0), inf), CLevelGain::kTargetDb + 30.0, 1e-9);
    EXPECT_NEAR(CLevelGain::Choose(power(-30.0), 5.0), 5.0, 1e-9);
    EXPECT_NEAR(CLevelGain::Choose(power(-100.0), inf), CLevelGain::kMaxGainDb, 1e-9);
    EXPECT_NEAR(CLevelGain::Choose(power(0.0), inf), CLevelGain::kTargetDb, 1e-9);
    EXPECT_EQ(CLevelGain::Choose(0.0, inf), 0.0);    // no speech: no gain
    EXPECT_EQ(CLevelGain::Choose(0.0, -3.0), -3.0);  // unless it would clip
}
