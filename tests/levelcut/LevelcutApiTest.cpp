// The library as its callers bind it: the nine exports, their codes for
// every kind of bad input, and a file that is replaced whole or not at all.
#include "CSpeechFixture.h"
#include "SpeechFixtureSuite.h"
#include "CWaveFile.h"
#include "levelcut.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path)
{
    if (!fs::is_regular_file(path))
        return "(not a file)";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetDefaults()
{
    ASSERT_EQ(SetInitialTrim(LEVELCUT_DEFAULT_INITIAL_TRIM), 0);
    ASSERT_EQ(SetThreshold(LEVELCUT_DEFAULT_THRESHOLD), 0);
    ASSERT_EQ(SetClipAmount(LEVELCUT_DEFAULT_CLIP_AMOUNT), 0);
    ASSERT_EQ(SetTimeConstant(LEVELCUT_DEFAULT_TIME_CONSTANT), 0);
    ASSERT_EQ(SetThreshFudge(LEVELCUT_DEFAULT_THRESH_FUDGE), 0);
}

class LevelcutApi : public SpeechFixtureSuite<LevelcutApi> {
protected:
    void SetUp() override
    {
        SpeechFixtureSuite::SetUp();
        if (IsSkipped())
            return;
        SetDefaults();
        m_dir = s_fx->Dir() + "/api-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        if (!m_dir.empty()) {
            fs::permissions(m_dir, fs::perms::owner_all);
            fs::remove_all(m_dir);
        }
    }

    // A successful run first, so that a failure visibly clears the results.
    void PrimeResults()
    {
        Fixture f = s_fx->Make({"prime", 11025, 16, -12, 30});
        ASSERT_EQ(TrimFunc(f.path.c_str()), 0);
        ASSERT_NE(GetSNR(), 0.0);
    }

    std::string WriteWav(const std::string& name, uint16_t tag, uint32_t rate, uint16_t bits, uint16_t channels,
                         size_t bytes = 4000)
    {
        std::string path = m_dir + "/" + name;
        std::vector<uint8_t> data(bytes, 0x11);
        CWaveFile wf;
        EXPECT_TRUE(wf.OpenWrite(path.c_str(), tag, rate, bits, channels));
        if (bytes) {
            EXPECT_EQ(wf.Write(data.data(), unsigned(bytes)), bytes);
        }
        EXPECT_EQ(wf.CloseWrite(), 1);
        return path;
    }

    size_t FilesInDir() const { return size_t(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator())); }

    std::string m_dir;
};

TEST_F(LevelcutApi, ProcessesARecordingInPlace)
{
    Fixture f = s_fx->Make({"api-speech", 44100, 16, -12, 30});
    const std::string path = m_dir + "/TXTemp.wav";
    fs::copy_file(f.path, path);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);

    ASSERT_EQ(TrimFunc(path.c_str()), LEVELCUT_OK);
    EXPECT_GT(GetSNR(), 20.0);
    EXPECT_GT(GetGain(), 0.0);
    EXPECT_LT(GetGain(), 20.0);
    EXPECT_EQ(GetClip(), 0.0);

    const std::string bytes = Slurp(path);
    ASSERT_GT(bytes.size(), 44u);
    CWaveFile wf;
    ASSERT_TRUE(wf.OpenRead(path.c_str()));
    EXPECT_EQ(wf.FormatTag(), 7);
    EXPECT_EQ(wf.Channels(), 1);
    EXPECT_EQ(wf.SamplesPerSec(), 8000u);
    EXPECT_EQ(wf.AvgBytesPerSec(), 8000u);
    EXPECT_EQ(wf.BlockAlign(), 1);
    EXPECT_EQ(wf.BitsPerSample(), 8);
    EXPECT_EQ(bytes.size(), 44 + wf.DataSize() + (wf.DataSize() & 1));
    EXPECT_EQ(bytes.substr(36, 4), "data");
    // Trimmed from a file of 0.8 s + speech + 0.8 s.
    EXPECT_LT(wf.DurationMs(), f.durationMs - 1000.0);

    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesInDir(), 1u) << "a temporary file was left behind";
}

TEST_F(LevelcutApi, EveryBadFileHasItsCodeAndIsLeftAlone)
{
    PrimeResults();
    std::ofstream(m_dir + "/notes.wav") << "these are not the sounds you are looking for";
    std::ofstream(m_dir + "/short.wav") << "RIFF";
    fs::create_directories(m_dir + "/folder.wav");
    // Over 20 minutes at 11025 Hz, 8 bit: a sparse file, so it costs nothing.
    const std::string longPath = WriteWav("long.wav", 1, 11025, 8, 1, 0);
    {
        const uint32_t size = 11025u * (20 * 60 + 1);
        std::fstream f(longPath, std::ios::in | std::ios::out | std::ios::binary);
        const uint32_t riff = 36 + size;
        const char r[4] = {char(riff), char(riff >> 8), char(riff >> 16), char(riff >> 24)};
        const char d[4] = {char(size), char(size >> 8), char(size >> 16), char(size >> 24)};
        f.seekp(4);
        f.write(r, 4);
        f.seekp(40);
        f.write(d, 4);
        f.close();
        fs::resize_file(longPath, 44 + size);
    }
    struct Case {
        std::string name;
        std::string path;
        int code;
    };
    const std::vector<Case> cases = {
        {"missing", m_dir + "/missing.wav", LEVELCUT_ERR_OPEN},
        {"empty path", "", LEVELCUT_ERR_OPEN},
        {"a folder", m_dir + "/folder.wav", LEVELCUT_ERR_OPEN},
        {"not a WAV file", m_dir + "/notes.wav", LEVELCUT_ERR_INVALID_FMT},
        {"cut-off header", m_dir + "/short.wav", LEVELCUT_ERR_INVALID_FMT},
        {"stereo", WriteWav("stereo.wav", 1, 22050, 16, 2), LEVELCUT_ERR_UNKNOWN_FMT},
        {"48 kHz", WriteWav("48k.wav", 1, 48000, 16, 1), LEVELCUT_ERR_UNKNOWN_FMT},
        {"8 kHz PCM", WriteWav("8k.wav", 1, 8000, 16, 1), LEVELCUT_ERR_UNKNOWN_FMT},
        {"24-bit", WriteWav("24bit.wav", 1, 44100, 24, 1), LEVELCUT_ERR_UNKNOWN_FMT},
        {"already mu-law", WriteWav("mulaw.wav", 7, 8000, 8, 1), LEVELCUT_ERR_UNKNOWN_FMT},
        {"float", WriteWav("float.wav", 3, 44100, 32, 1), LEVELCUT_ERR_UNKNOWN_FMT},
        {"longer than 20 minutes", longPath, LEVELCUT_ERR_OPEN},
    };
    EXPECT_EQ(LEVELCUT_ERR_OPEN, INT_MIN);
    for (const Case& c : cases) {
        const std::string before = Slurp(c.path);
        EXPECT_EQ(TrimFunc(c.path.c_str()), c.code) << c.name;
        EXPECT_EQ(GetSNR(), 0.0) << c.name;
        EXPECT_EQ(GetGain(), 0.0) << c.name;
        EXPECT_EQ(GetClip(), 0.0) << c.name;
        EXPECT_EQ(Slurp(c.path), before) << c.name;
    }
    EXPECT_EQ(TrimFunc(nullptr), LEVELCUT_ERR_PARAMS);
    EXPECT_EQ(FilesInDir(), 10u) << "a temporary file was left behind";
}

TEST_F(LevelcutApi, SettingsOutOfRangeAreRefused)
{
    // 1 s: longer than the largest initial trim.
    const std::string path = WriteWav("ok.wav", 1, 22050, 16, 1, 44100);
    struct Case {
        std::string name;
        int (*apply)();
    };
    const std::vector<Case> bad = {
        {"trim -1", [] { return SetInitialTrim(-1); }},
        {"trim over 2000", [] { return SetInitialTrim(LEVELCUT_MAX_INITIAL_TRIM + 1); }},
        {"threshold 0", [] { return SetThreshold(0.0f); }},
        {"threshold negative", [] { return SetThreshold(-184.0f); }},
        {"threshold NaN", [] { return SetThreshold(NAN); }},
        {"threshold over full scale", [] { return SetThreshold(40000.0f); }},
        {"clip -0.1", [] { return SetClipAmount(-0.1f); }},
        {"clip 1.01", [] { return SetClipAmount(1.01f); }},
        {"clip NaN", [] { return SetClipAmount(NAN); }},
        {"time constant 0.49", [] { return SetTimeConstant(0.49f); }},
        {"time constant 1.01", [] { return SetTimeConstant(1.01f); }},
        {"time constant infinite", [] { return SetTimeConstant(INFINITY); }},
        {"factor -0.01", [] { return SetThreshFudge(-0.01f); }},
        {"factor 5.01", [] { return SetThreshFudge(5.01f); }},
    };
    for (const Case& c : bad) {
        SetDefaults();
        PrimeResults();
        const std::string before = Slurp(path);
        EXPECT_EQ(c.apply(), LEVELCUT_ERR_PARAMS) << c.name;
        EXPECT_EQ(TrimFunc(path.c_str()), LEVELCUT_ERR_PARAMS) << c.name;
        EXPECT_EQ(GetSNR(), 0.0) << c.name;
        EXPECT_EQ(Slurp(path), before) << c.name;
    }
    // The ends of every range are allowed.
    SetDefaults();
    EXPECT_EQ(SetInitialTrim(0), 0);
    EXPECT_EQ(SetInitialTrim(2000), 0);
    EXPECT_EQ(SetClipAmount(0.0f), 0);
    EXPECT_EQ(SetClipAmount(1.0f), 0);
    EXPECT_EQ(SetTimeConstant(0.5f), 0);
    EXPECT_EQ(SetTimeConstant(1.0f), 0);
    EXPECT_EQ(SetThreshFudge(0.0f), 0);
    EXPECT_EQ(SetThreshFudge(5.0f), 0);
    EXPECT_EQ(SetThreshold(0.01f), 0);
    EXPECT_EQ(TrimFunc(path.c_str()), LEVELCUT_OK);
}

// Shorter than the initial trim: see the guarantees test.
TEST_F(LevelcutApi, EmptyCaptureWithoutTrimGivesAnEmptyMessage)
{
    struct Case {
        std::string name;
        size_t bytes;
    };
    for (const Case& c : std::vector<Case>{{"no data", 0}, {"one odd byte", 1}}) {
        ASSERT_EQ(SetInitialTrim(0), 0);
        const std::string path = WriteWav("short.wav", 1, 22050, 16, 1, c.bytes);
        ASSERT_EQ(TrimFunc(path.c_str()), LEVELCUT_OK) << c.name;
        EXPECT_EQ(GetSNR(), LEVELCUT_SNR_NO_SPEECH) << c.name;
        EXPECT_EQ(GetGain(), 0.0) << c.name;
        CWaveFile wf;
        ASSERT_TRUE(wf.OpenRead(path.c_str())) << c.name;
        EXPECT_EQ(wf.FormatTag(), 7) << c.name;
        EXPECT_EQ(wf.DataSize(), 0u) << c.name;
    }
}

TEST_F(LevelcutApi, CaptureCutShortIsProcessedAsFarAsItGoes)
{
    // The header claims 2 s of 22050 Hz audio; only 1 s is there.
    const std::string path = WriteWav("cut.wav", 1, 22050, 16, 1, 88200);
    fs::resize_file(path, 44 + 44100);
    ASSERT_EQ(TrimFunc(path.c_str()), LEVELCUT_OK);
    CWaveFile wf;
    ASSERT_TRUE(wf.OpenRead(path.c_str()));
    EXPECT_NEAR(double(wf.DataSize()), 8000.0 - LEVELCUT_DEFAULT_INITIAL_TRIM, 2.0);
}

TEST_F(LevelcutApi, UnwritableFolderLeavesTheRecording)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    const std::string path = WriteWav("locked.wav", 1, 22050, 16, 1);
    const std::string before = Slurp(path);
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(TrimFunc(path.c_str()), LEVELCUT_ERR_OPEN);
    EXPECT_EQ(GetSNR(), 0.0);
    fs::permissions(m_dir, fs::perms::owner_all);
    EXPECT_EQ(Slurp(path), before);
    EXPECT_EQ(FilesInDir(), 1u);
}

}  // namespace
