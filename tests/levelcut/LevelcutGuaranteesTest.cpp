// What the processing promises at every setting the Settings dialog takes:
// no speech is ever cut, mains hum goes and the voice stays, digital silence
// is trimmed, a trim longer than the recording changes nothing, and the one
// mu-law encoder of the program agrees with sox.
#include "CConditioner.h"
#include "CLevelcut.h"
#include "CSpeechFixture.h"
#include "SpeechFixtureSuite.h"
#include "MuLawTable.h"
#include "levelcut.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Amplitude of the component at hz (least squares over whole periods).
double Amplitude(const std::vector<float>& x, size_t b, size_t e, double hz)
{
    const double w = 2.0 * M_PI * hz / 8000.0;
    e = b + size_t(std::floor(double(e - b) * hz / 8000.0) * 8000.0 / hz);
    double c = 0.0, s = 0.0;
    for (size_t i = b; i < e; ++i) {
        c += x[i] * std::cos(w * double(i));
        s += x[i] * std::sin(w * double(i));
    }
    return 2.0 * std::hypot(c, s) / double(e - b);
}

class LevelcutGuarantees : public SpeechFixtureSuite<LevelcutGuarantees> { };

// A softer sentence after a pause, hum under the speech, digital silence
// around it, taps beside it and rumble under it: at every factor all of the speech stays, with silence before
// and after it, and (but for factor 0 in noise) not much more. The ending of
// a sentence 40 dB down lies under the noise: it is kept, with less after it.
TEST_F(LevelcutGuarantees, NoSpeechIsCutAtAnyFactor)
{
    struct Case {
        FixtureCase fc;
        double minTrailMs, maxLeadMs, maxTrailMs;
    };
    auto with = [](FixtureCase fc, double tapBeforeMs, double tapAfterMs, double rumbleDb) {
        fc.tapBeforeMs = tapBeforeMs;
        fc.tapAfterMs = tapAfterMs;
        fc.rumbleDb = rumbleDb;
        return fc;
    };
    const std::vector<Case> cases = {
        {with({"taps", 22050, 16, -12, 45}, 150, 250, -200), 50, 250, 250},
        {with({"rumble-20dB", 44100, 16, -12, 45}, 0, 0, -20), 50, 250, 250},
        {with({"rumble-tap-noise20", 22050, 16, -12, 20}, 200, 0, -25), 50, 250, 250},
        {{"second-20dB", 22050, 16, -12, 45, 0, 0, 0, true, 800, 800, -200, 50, -20}, 50, 250, 250},
        {{"second-25dB", 44100, 16, -12, 45, 0, 0, 0, true, 800, 800, -200, 50, -25}, 50, 250, 250},
        {{"second-30dB", 11025, 16, -12, 45, 0, 0, 0, true, 800, 800, -200, 50, -30}, 50, 250, 250},
        {{"second-40dB", 44100, 16, -12, 45, 0, 0, 0, true, 800, 800, -200, 50, -40}, 0, 250, 250},
        {{"hum50-20dB", 22050, 16, -12, 45, 0, 0, 0, true, 800, 800, -20, 50.3}, 50, 250, 250},
        {{"hum60-10dB", 44100, 16, -12, 45, 0, 0, 0, true, 800, 800, -10, 59.4}, 50, 250, 250},
        {{"hum61-20dB-noise20", 22050, 16, -12, 20, 0, 0, 0, true, 800, 800, -20, 61.1}, 50, 250, 250},
        {{"zeros", 22050, 16, -12, 200, 0, 0, 0, true, 1000, 1400}, 50, 160, 210},
    };
    for (const Case& c : cases) {
        const Fixture f = s_fx->Make(c.fc);
        ASSERT_FALSE(f.path.empty()) << c.fc.name;
        const std::string work = s_fx->Dir() + "/work.wav";
        for (float factor : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f, 5.0f}) {
            fs::copy_file(f.path, work, fs::copy_options::overwrite_existing);
            CLevelcut lc;
            ASSERT_EQ(lc.SetThreshFudge(factor), 0);
            ASSERT_EQ(lc.TrimFile(work.c_str()), 0);
            const CLevelcut::Report& r = lc.LastReport();
            const std::string at = c.fc.name + " factor " + std::to_string(factor);
            EXPECT_TRUE(r.speechFound) << at;
            const double lead = f.speechStartMs - r.keptStartMs, trail = r.keptEndMs - f.speechEndMs;
            EXPECT_GE(lead, 50.0) << at;
            EXPECT_GE(trail, c.minTrailMs) << at;
            if (factor > 0.0f || c.fc.snrDb > 100.0) {
                EXPECT_LE(lead, c.maxLeadMs) << at;
                EXPECT_LE(trail, c.maxTrailMs) << at;
            }
            if (c.fc.humDb > -200.0) {
                EXPECT_NEAR(r.humHz, c.fc.humHz, 0.01) << at;
            }
        }
    }
}

// Hum of either mains, anywhere in the tolerance, under speech-band tones
// that sit between its harmonics: the hum goes, the tones stay.
TEST_F(LevelcutGuarantees, HumIsRemovedAndTheVoiceBandKept)
{
    struct Case {
        double hz, humDb;
    };
    const Case cases[] = {{50.0, -20.0}, {50.9, -10.0}, {49.1, -30.0}, {60.0, -20.0}, {58.9, -10.0}, {61.1, -30.0}};
    const int harmonics[] = {1, 2, 3, 5, 7, 9, 19};
    for (const Case& c : cases) {
        const size_t n = 3 * 8000;
        std::vector<float> x = CSpeechFixture::Hum(n, 8000.0, c.hz, c.humDb);
        std::mt19937 gen(11);
        std::normal_distribution<float> noise(0.0f, 10.0f);  // -70 dBFS
        std::vector<double> tones;
        for (double h : {6.5, 20.5, 40.5, 60.5})
            tones.push_back(h * c.hz);
        for (size_t i = 0; i < n; ++i) {
            x[i] += noise(gen);
            for (double hz : tones)
                x[i] += float(150.0 * std::sin(2.0 * M_PI * hz * double(i) / 8000.0));
        }
        const std::vector<float> in = x;
        const std::string at = std::to_string(c.hz) + " Hz at " + std::to_string(c.humDb) + " dBFS";
        ASSERT_NEAR(CConditioner::RemoveHum(x, std::vector<uint8_t>(n / 80, 0)).hz, c.hz, 0.01) << at;
        for (int h : harmonics) {
            const double down =
                20.0 * std::log10(Amplitude(x, 4000, n - 4000, h * c.hz) / Amplitude(in, 4000, n - 4000, h * c.hz));
            EXPECT_LT(down, -30.0) << at << ", harmonic " << h;
        }
        for (double hz : tones) {
            const double change = 20.0 * std::log10(Amplitude(x, 0, n, hz) / Amplitude(in, 0, n, hz));
            EXPECT_NEAR(change, 0.0, 0.5) << at << ", tone " << hz;
        }
    }
}

// A trim that leaves no audio is refused like a bad setting, and the file
// stays as it was, byte for byte.
TEST_F(LevelcutGuarantees, TrimLongerThanTheRecordingChangesNothing)
{
    struct Case {
        unsigned rate, bits;
        size_t samples;
        int trim;
        int code;
    };
    const Case cases[] = {
        {22050, 16, 0, 500, LEVELCUT_ERR_PARAMS},
        {22050, 16, 1000, 500, LEVELCUT_ERR_PARAMS},    // 363 samples at 8 kHz
        {11025, 8, 2756, 2000, LEVELCUT_ERR_PARAMS},    // exactly 2000 at 8 kHz
        {44100, 16, 11100, 2000, LEVELCUT_OK},          // 14 samples left
        {44100, 16, 44100, 2001, LEVELCUT_ERR_PARAMS},  // out of range
        {22050, 16, 0, 0, LEVELCUT_OK},                 // no trim: an empty message
    };
    for (const Case& c : cases) {
        const std::string path = s_fx->Dir() + "/short.wav";
        std::vector<float> x(c.samples);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = float(3000.0 * std::sin(0.05 * double(i)));
        ASSERT_TRUE(CSpeechFixture::WritePcm16(path, x, c.rate));
        if (c.bits == 8) {
            ASSERT_EQ(std::system(
                          ("sox -D '" + path + "' -b 8 '" + path + ".8.wav' && mv '" + path + ".8.wav' '" + path + "'")
                              .c_str()),
                      0);
        }
        const std::string before = Slurp(path);
        CLevelcut lc;
        lc.SetInitialTrim(c.trim);
        const std::string at = std::to_string(c.samples) + " samples, trim " + std::to_string(c.trim);
        EXPECT_EQ(lc.TrimFile(path.c_str()), c.code) << at;
        if (c.code != LEVELCUT_OK) {
            EXPECT_EQ(Slurp(path), before) << at;
            EXPECT_EQ(lc.Snr(), 0.0) << at;
        }
    }
}

// Every 16-bit value, encoded by the program's table and by sox: the same
// code, but within two table entries (16 values) of one of sox's decision
// levels, where they may be one step apart. The table's full scale is 32256, sox's 32124, so sox is
// given each value on its own scale.
TEST_F(LevelcutGuarantees, MuLawEncoderAgreesWithSox)
{
    const std::string raw = s_fx->Dir() + "/sweep.raw", codes = s_fx->Dir() + "/sweep.ul";
    const std::string all = s_fx->Dir() + "/codes.ul", decoded = s_fx->Dir() + "/codes.raw";
    std::vector<int16_t> scaled(65536);
    for (int v = -32768; v < 32768; ++v)
        scaled[size_t(v + 32768)] = int16_t(std::lround(v * 32124.0 / 32256.0));
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(scaled.data()), 65536 * 2);
    std::string every(256, '\0');
    for (int c = 0; c < 256; ++c)
        every[size_t(c)] = char(c);
    std::ofstream(all, std::ios::binary) << every;
    const std::string sox = "sox -D -t raw -r 8000 -c 1 ";
    ASSERT_EQ(std::system((sox + "-e signed -b 16 '" + raw + "' -t raw -e mu-law -b 8 '" + codes + "'").c_str()), 0);
    ASSERT_EQ(std::system((sox + "-e mu-law -b 8 '" + all + "' -t raw -e signed -b 16 '" + decoded + "'").c_str()), 0);
    const std::string soxCodes = Slurp(codes), soxValues = Slurp(decoded);
    ASSERT_EQ(soxCodes.size(), 65536u);
    ASSERT_EQ(soxValues.size(), 512u);

    auto soxDecode = [&](uint8_t c) {
        return int16_t(uint8_t(soxValues[2 * c]) | (uint8_t(soxValues[2 * c + 1]) << 8));
    };
    for (int c = 0; c < 256; ++c)
        EXPECT_NEAR(soxDecode(uint8_t(c)) * 32256.0 / 32124.0, MuLawTable::Decode(uint8_t(c)), 1.0) << c;

    // Position on the quantiser from the most negative code up; both zeros
    // (0x7F and 0xFF) are one position.
    auto step = [](uint8_t c) { return c < 0x80 ? int(c) : 382 - int(c); };
    size_t differ = 0;
    for (int v = -32768; v < 32768; ++v) {
        const size_t i = size_t(v + 32768);
        const uint8_t ours = MuLawTable::Encode(int16_t(v)), theirs = uint8_t(soxCodes[i]);
        if (ours == theirs)
            continue;
        ++differ;
        ASSERT_EQ(std::abs(step(ours) - step(theirs)), 1) << v;
        const bool nearDecision = soxCodes[std::max<size_t>(i, 16) - 16] != soxCodes[std::min<size_t>(i + 16, 65535)];
        ASSERT_TRUE(nearDecision) << v;
    }
    EXPECT_LT(differ, 65536u / 50u);
}

}  // namespace
