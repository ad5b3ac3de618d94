#include "CWaveFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "RequireRealPart.h"
#include "SmallTmpfs.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

void put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void tag(Bytes& b, const char* t)
{
    b.insert(b.end(), t, t + 4);
}

// Builds a RIFF file from chunks; the RIFF size is right unless overridden.
struct RiffBuilder {
    Bytes body;
    RiffBuilder& chunk(const char* id, const Bytes& data, bool pad = true)
    {
        tag(body, id);
        put32(body, uint32_t(data.size()));
        body.insert(body.end(), data.begin(), data.end());
        if (pad && (data.size() & 1))
            body.push_back(0);
        return *this;
    }
    RiffBuilder& raw(const Bytes& b)
    {
        body.insert(body.end(), b.begin(), b.end());
        return *this;
    }
    Bytes build(long riffSizeDelta = 0) const
    {
        Bytes f;
        tag(f, "RIFF");
        put32(f, uint32_t(long(body.size()) + 4 + riffSizeDelta));
        tag(f, "WAVE");
        f.insert(f.end(), body.begin(), body.end());
        return f;
    }
};

Bytes fmtBlock(uint16_t tagv, uint16_t ch, uint32_t rate, uint16_t bits, int ext = -1, uint32_t avg = 0xFFFFFFFF)
{
    Bytes b;
    uint16_t align = uint16_t(ch * bits / 8);
    put16(b, tagv);
    put16(b, ch);
    put32(b, rate);
    put32(b, avg == 0xFFFFFFFF ? rate * align : avg);
    put16(b, align);
    put16(b, bits);
    if (ext >= 0)
        put16(b, uint16_t(ext));
    return b;
}

class WaveFileTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("wavefile-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const Bytes& b)
    {
        auto p = dir / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return p.string();
    }
    static Bytes slurp(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
};

}  // namespace

TEST_F(WaveFileTest, WritesTheDocumentedLayoutWithPadByte)
{
    CWaveFile w;
    auto path = (dir / "three.wav").string();
    ASSERT_TRUE(w.OpenWrite(path.c_str(), 7, 8000, 8, 1));
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(w.Write(data, 3), 3u);
    EXPECT_EQ(w.CloseWrite(), 1);
    Bytes f = slurp(path);
    ASSERT_EQ(f.size(), 48u);
    EXPECT_EQ(0, memcmp(f.data(), "RIFF", 4));
    EXPECT_EQ(f[4], 40);  // RIFF size 36 + 3 + pad
    EXPECT_EQ(0, memcmp(f.data() + 8, "WAVEfmt ", 8));
    EXPECT_EQ(f[16], 16);
    EXPECT_EQ(f[20], 7);
    EXPECT_EQ(f[24] | (f[25] << 8), 8000);
    EXPECT_EQ(f[28] | (f[29] << 8), 8000);
    EXPECT_EQ(f[32], 1);
    EXPECT_EQ(f[34], 8);
    EXPECT_EQ(0, memcmp(f.data() + 36, "data", 4));
    EXPECT_EQ(f[40], 3);
    EXPECT_EQ(f[44], 1);
    EXPECT_EQ(f[46], 3);
    EXPECT_EQ(f[47], 0);
}

TEST_F(WaveFileTest, SecondOpenWriteKeepsTheFirstFile)
{
    CWaveFile w;
    auto a = (dir / "a.wav").string(), b = (dir / "b.wav").string();
    ASSERT_TRUE(w.OpenWrite(a.c_str(), 1, 44100, 16, 1));
    EXPECT_TRUE(w.OpenWrite(b.c_str(), 7, 8000, 8, 1));
    EXPECT_FALSE(fs::exists(b));
    const int16_t s[2] = {1, -1};
    EXPECT_EQ(w.Write(s, 4), 4u);
    w.CloseWrite();
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(a.c_str()));
    EXPECT_EQ(r.SamplesPerSec(), 44100u);
    EXPECT_EQ(r.BitsPerSample(), 16);
    EXPECT_EQ(r.BlockAlign(), 2);
    EXPECT_EQ(r.DataSize(), 4u);
}

TEST_F(WaveFileTest, WriteRefusesWhenNotOpenOrEmpty)
{
    CWaveFile w;
    uint8_t d = 0;
    EXPECT_EQ(w.Write(&d, 1), 0u);
    EXPECT_FALSE(w.OpenWrite(nullptr, 7, 8000, 8, 1));
    EXPECT_FALSE(w.OpenWrite((dir / "no/such/dir.wav").string().c_str(), 7, 8000, 8, 1));
    EXPECT_EQ(w.CloseWrite(), 0);
}

TEST_F(WaveFileTest, ReadsTheVariantsOfValidFiles)
{
    Bytes audio(16000, 0x55);
    struct Case {
        const char* name;
        Bytes file;
    };
    std::vector<Case> cases = {
        {"plain", RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", audio).build()},
        {"fmt18", RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0)).chunk("data", audio).build()},
        {"fact", RiffBuilder()
                     .chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0))
                     .chunk("fact", Bytes{0x80, 0x3e, 0, 0})
                     .chunk("data", audio)
                     .build()},
        {"dataFirst", RiffBuilder().chunk("data", audio).chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0)).build()},
        {"oddList", RiffBuilder()
                        .chunk("fmt ", fmtBlock(7, 1, 8000, 8))
                        .chunk("LIST", Bytes{1, 2, 3})
                        .chunk("data", audio)
                        .build()},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = write(std::string(c.name) + ".wav", c.file);
        CWaveFile r;
        ASSERT_TRUE(r.OpenRead(p.c_str()));
        EXPECT_EQ(r.FormatTag(), 7);
        EXPECT_EQ(r.DataSize(), 16000u);
        EXPECT_EQ(r.DurationMs(), 2000u);
        Bytes got(20000);
        EXPECT_EQ(r.Read(got.data(), 20000), 16000u);
        got.resize(16000);
        EXPECT_EQ(got, audio);
        EXPECT_EQ(r.Read(got.data(), 10), 0u);
    }
}

TEST_F(WaveFileTest, DurationIsTruncated)
{
    auto p =
        write("d.wav", RiffBuilder().chunk("fmt ", fmtBlock(1, 1, 8000, 8)).chunk("data", Bytes(8001, 0x80)).build());
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(p.c_str()));
    EXPECT_EQ(r.DurationMs(), 1000u);
    EXPECT_EQ(r.FormatBlock().size(), 18u);
}

TEST_F(WaveFileTest, RefusesWhatIsNotARiffWave)
{
    Bytes notRiff = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(10)).build();
    memcpy(notRiff.data(), "RIFX", 4);
    Bytes avi = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(10)).build();
    memcpy(avi.data() + 8, "AVI ", 4);
    Bytes noData = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).build();
    Bytes noFmt = RiffBuilder().chunk("data", Bytes(10)).build();
    Bytes zeroAvg = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0, 0)).chunk("data", Bytes(10)).build();
    for (auto* b : {&notRiff, &avi, &noData, &noFmt, &zeroAvg}) {
        auto p = write("bad.wav", *b);
        CWaveFile r;
        EXPECT_FALSE(r.OpenRead(p.c_str()));
        EXPECT_FALSE(r.IsReadOpen());
    }
    CWaveFile r;
    EXPECT_FALSE(r.OpenRead((dir / "missing.wav").string().c_str()));
    EXPECT_FALSE(r.OpenRead(dir.string().c_str()));
}

TEST_F(WaveFileTest, FailedOpenKeepsThePreviousDuration)
{
    auto good = write("g.wav", RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(4000)).build());
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(good.c_str()));
    r.CloseRead();
    EXPECT_FALSE(r.OpenRead((dir / "missing.wav").string().c_str()));
    EXPECT_EQ(r.DurationMs(), 500u);
}

TEST_F(WaveFileTest, TruncatedDataFailsTheReadThatReachesTheEnd)
{
    Bytes f = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(1000, 1)).build();
    f.resize(f.size() - 400);
    auto p = write("t.wav", f);
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(p.c_str()));
    EXPECT_EQ(r.DataSize(), 1000u);
    EXPECT_EQ(r.BytesAvailable(), 600u);
    Bytes buf(1000);
    EXPECT_EQ(r.Read(buf.data(), 500), 500u);
    EXPECT_EQ(r.Read(buf.data(), 500), 0u);
}

TEST_F(WaveFileTest, HostileSizesNeverReadOutsideOrAllocateBeyondTheFile)
{
    // Claimed sizes far beyond the file: a 4 GB data chunk, a chunk that runs
    // past the end, the largest extension size, an absurd byte rate.
    Bytes dataHdr;
    tag(dataHdr, "data");
    put32(dataHdr, 0xFFFFFFF0u);
    dataHdr.insert(dataHdr.end(), 100, 7);
    Bytes huge = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).raw(dataHdr).build();
    {
        auto p = write("huge.wav", huge);
        CWaveFile r;
        ASSERT_TRUE(r.OpenRead(p.c_str()));
        EXPECT_EQ(r.DataSize(), 0xFFFFFFF0u);
        EXPECT_LE(r.BytesAvailable(), 104u);
    }
    Bytes runaway = RiffBuilder()
                        .raw({'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0x7F})
                        .chunk("fmt ", fmtBlock(7, 1, 8000, 8))
                        .chunk("data", Bytes(8))
                        .build();
    Bytes bigExt = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 65535)).chunk("data", Bytes(8)).build(0x7FFFFFF);
    Bytes absurdRate =
        RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0, 0xFFFFFFFE)).chunk("data", Bytes(8)).build();
    Bytes riffHuge = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(8)).build(0x7FFFFFFF);
    for (auto* b : {&runaway, &bigExt, &absurdRate, &riffHuge}) {
        auto p = write("h.wav", *b);
        CWaveFile r;
        if (r.OpenRead(p.c_str())) {
            EXPECT_LE(r.BytesAvailable(), b->size());
            EXPECT_LE(r.FormatBlock().size(), b->size());
            Bytes buf(16);
            r.Read(buf.data(), 16);
        }
    }
    // Random garbage after a valid header: every open must end, safely.
    std::mt19937 rng(1234);
    for (int i = 0; i < 300; ++i) {
        Bytes f = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(40, 1)).build();
        int flips = 1 + int(rng() % 8);
        for (int k = 0; k < flips; ++k)
            f[rng() % f.size()] = uint8_t(rng());
        f.resize(f.size() - rng() % 20);
        auto p = write("r.wav", f);
        CWaveFile r;
        if (r.OpenRead(p.c_str())) {
            EXPECT_LE(r.FormatBlock().size(), f.size());
            Bytes buf(64);
            while (r.Read(buf.data(), 64) != 0) { }
        }
    }
}

TEST_F(WaveFileTest, DurationCountsTheBytesPresentNotTheClaim)
{
    // A data chunk claiming 0xFFFFFFF0 bytes in a 1,000-byte file lasts as
    // long as the 956 bytes that are there, at any byte rate (4 GB claimed at
    // 1 byte per second would be 4e12 ms).
    Bytes dataHdr;
    tag(dataHdr, "data");
    put32(dataHdr, 0xFFFFFFF0u);
    dataHdr.insert(dataHdr.end(), 956, 0xFF);
    auto lying = write("lying.wav", RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0)).raw(dataHdr).build());
    ASSERT_EQ(fs::file_size(lying), 1002u);
    auto slow = write("slow.wav", RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 0, 1)).raw(dataHdr).build());
    Bytes shortBody = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8)).chunk("data", Bytes(16000, 1)).build();
    shortBody.resize(shortBody.size() - 8000);
    auto cut = write("cut.wav", shortBody);
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(lying.c_str()));
    EXPECT_EQ(r.DataSize(), 0xFFFFFFF0u);
    EXPECT_EQ(r.DurationMs(), 119u);  // 956 bytes at 8000 a second
    ASSERT_TRUE(r.OpenRead(slow.c_str()));
    EXPECT_EQ(r.AvgBytesPerSec(), 1u);
    EXPECT_EQ(r.DurationMs(), 956000u);
    ASSERT_TRUE(r.OpenRead(cut.c_str()));
    EXPECT_EQ(r.DurationMs(), 1000u);
}

TEST_F(WaveFileTest, ExtensionBytesAreKeptInTheFormatBlock)
{
    Bytes fmt = fmtBlock(0xFFFE, 1, 8000, 16, 6);
    for (uint8_t b : {9, 8, 7, 6, 5, 4})
        fmt.push_back(b);
    auto p = write("ext.wav", RiffBuilder().chunk("fmt ", fmt).chunk("data", Bytes(4)).build());
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(p.c_str()));
    EXPECT_EQ(r.ExtensionSize(), 6);
    ASSERT_EQ(r.FormatBlock().size(), 24u);
    EXPECT_EQ(r.FormatBlock()[18], 9);
    EXPECT_EQ(r.FormatBlock()[23], 4);
    // An extension that runs past the end of the file is refused.
    Bytes cut = RiffBuilder().chunk("fmt ", fmtBlock(7, 1, 8000, 8, 200)).build();
    auto q = write("cut.wav", cut);
    EXPECT_FALSE(r.OpenRead(q.c_str()));
}

TEST_F(WaveFileTest, SecondWriteIsRefusedAndLeavesTheFileWhole)
{
    CWaveFile w;
    auto path = (dir / "once.wav").string();
    ASSERT_TRUE(w.OpenWrite(path.c_str(), 7, 8000, 8, 1));
    const uint8_t a[4] = {1, 2, 3, 4};
    EXPECT_EQ(w.Write(a, 4), 4u);
    EXPECT_EQ(w.Write(a, 4), 0u);
    w.CloseWrite();
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(path.c_str()));
    EXPECT_EQ(r.DataSize(), 4u);
    EXPECT_EQ(fs::file_size(path), 48u);
    // The object can write a new file after CloseWrite.
    auto next = (dir / "next.wav").string();
    ASSERT_TRUE(w.OpenWrite(next.c_str(), 1, 8000, 16, 1));
    EXPECT_EQ(w.Write(a, 4), 4u);
    EXPECT_EQ(w.CloseWrite(), 1);
}

TEST_F(WaveFileTest, SpecialFilesAreRefusedWithoutBlocking)
{
    auto fifo = (dir / "pipe.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CWaveFile r;
    EXPECT_FALSE(r.OpenRead(fifo.c_str()));
    EXPECT_FALSE(r.OpenRead("/dev/zero"));
    EXPECT_FALSE(r.OpenRead(nullptr));
    // Writing: a FIFO with nobody reading would hold open() for ever, and a
    // device is no WAV file.
    CWaveFile w;
    EXPECT_FALSE(w.OpenWrite(fifo.c_str(), 7, 8000, 8, 1));
    EXPECT_FALSE(w.OpenWrite("/dev/null", 7, 8000, 8, 1));
    auto path = (dir / "after.wav").string();
    EXPECT_TRUE(w.OpenWrite(path.c_str(), 7, 8000, 8, 1));
    EXPECT_EQ(w.CloseWrite(), 1);
}

// RIFF pads odd chunks; a file may still end right after an odd data chunk.
TEST_F(WaveFileTest, OddDataChunkWithoutPadAtTheEnd)
{
    Bytes audio(3001, 0x33);
    auto p = write("odd.wav", RiffBuilder()
                                  .chunk("fmt ", fmtBlock(7, 1, 8000, 8))
                                  .chunk("LIST", Bytes(262241, 'L'))
                                  .chunk("data", audio, false)
                                  .build());
    CWaveFile r;
    ASSERT_TRUE(r.OpenRead(p.c_str()));
    Bytes got(4000);
    EXPECT_EQ(r.Read(got.data(), 4000), 3001u);
    got.resize(3001);
    EXPECT_EQ(got, audio);
}

// Some writers leave out the pad byte after an odd chunk in the middle of the
// file too; the chunk id right after the data tells. The unit image's import
// takes such a file, so playing it must work as well.
TEST_F(WaveFileTest, OddChunkWithoutPadInTheMiddle)
{
    Bytes audio(800, 0x21);
    for (const bool pad : {true, false}) {
        auto p = write(pad ? "padded.wav" : "unpadded.wav", RiffBuilder()
                                                                .chunk("fmt ", fmtBlock(7, 1, 8000, 8))
                                                                .chunk("note", Bytes(7, 'n'), pad)
                                                                .chunk("data", audio)
                                                                .build());
        CWaveFile r;
        ASSERT_TRUE(r.OpenRead(p.c_str())) << pad;
        Bytes got(1000);
        EXPECT_EQ(r.Read(got.data(), 1000), 800u) << pad;
        got.resize(800);
        EXPECT_EQ(got, audio) << pad;
    }
}

// The writer of the recorder and of Levelcut replaces its file only once it
// is complete: on a full disk the old file stays byte for byte.
TEST(WaveFileWrite, AFullDiskKeepsTheOldFile)
{
    SmallTmpfs disk;
    REQUIRE_REAL_PART("a tmpfs", disk.Missing());
    const std::string old(100000, 'o');
    const std::vector<uint8_t> audio(60000, 0x55);
    disk.Write("old.wav", old);
    disk.Fill();
    CWaveFile wav;
    const bool written = wav.OpenWrite(disk.File("old.wav").c_str(), 1, 44100, 16, 1) &&
                         wav.Write(audio.data(), unsigned(audio.size())) == audio.size();
    EXPECT_FALSE(wav.CloseWrite() == 1 && written);
    EXPECT_EQ(wav.WriteError(), written ? ENOSPC : 0);
    EXPECT_TRUE(disk.Read("old.wav") == old);
}
