// The exports that need no sound device, called as a client calls them, with
// the library's internals linked in so that the queues can be inspected.
#include "sonvox.h"

#include "Chunks.h"
#include "FakeEngine.h"
#include "SonvoxState.h"
#include "TestSupport.h"

#include <climits>
#include <cstring>

namespace {

[[maybe_unused]] auto* const kLogEnv = ::testing::AddGlobalTestEnvironment(new GlobalLogEnvironment);

std::vector<Bytes> Drain(CBlockQueue& q)
{
    std::vector<Bytes> out;
    while (Block b = q.PopFront())
        out.emplace_back(b.data.get(), b.data.get() + b.length);
    return out;
}

// What a queue should hold for a run of mu-law bytes: swapped pairs, cut into
// chunks, the last filled with 0xFF.
std::vector<Bytes> Chunked(Bytes run)
{
    SwapBytePairs(run.data(), run.size());
    std::vector<Bytes> out;
    for (size_t pos = 0; pos < run.size(); pos += 240) {
        Bytes c(240, 0xFF);
        std::copy(run.begin() + long(pos), run.begin() + long(std::min(run.size(), pos + 240)), c.begin());
        out.push_back(c);
    }
    return out;
}

std::vector<Bytes> Concat(std::initializer_list<std::vector<Bytes>> parts)
{
    std::vector<Bytes> all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Ramp(size_t n, uint8_t start)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(start + i);
    return b;
}

class ExportsTest : public ::testing::Test {
protected:
    fs::path dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    LogWatch log{GlobalLogEnvironment::Path()};

    void SetUp() override
    {
        State().playQueue.Clear();
        State().pageQueue.Clear();
        State().meterTap.ClearIfAny();
        Fake() = FakeEngine();
        log.Mark();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Wav(const std::string& name, const Bytes& data, uint16_t tag = 7, uint32_t rate = 8000,
                    uint16_t bits = 8, uint16_t ch = 1)
    {
        return WriteWav(dir / name, data, tag, rate, bits, ch);
    }
    std::string Raw(const std::string& name, const Bytes& b)
    {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
        return (dir / name).string();
    }
};

// A RIFF WAVE header with the given fields, followed by data.
Bytes RawWav(uint32_t avgBytes, uint32_t claimedData, const Bytes& data)
{
    Bytes f;
    auto put = [&f](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            f.push_back(uint8_t(v >> (8 * i)));
    };
    auto tag = [&f](const char* t) { f.insert(f.end(), t, t + 4); };
    tag("RIFF");
    put(36 + uint32_t(data.size()), 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(7, 2);
    put(1, 2);
    put(8000, 4);
    put(avgBytes, 4);
    put(1, 2);
    put(8, 2);
    tag("data");
    put(claimedData, 4);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

}  // namespace

TEST_F(ExportsTest, LoadPlayQueuesSwappedChunksOfEveryFile)
{
    const Bytes a = Ramp(300, 1), b = Ramp(500, 100);
    auto pa = Wav("a.wav", a), pb = Wav("b.wav", b);
    EXPECT_EQ(LoadPlay(pa.c_str()), 1);
    // A 300-byte file: two chunks, the second 60 bytes and 180 of 0xFF.
    auto chunks = Drain(State().playQueue);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks, Chunked(a));
    EXPECT_EQ(chunks[0][0], 2);
    EXPECT_EQ(chunks[0][1], 1);
    EXPECT_EQ(GetDuration(), 37u);  // 300 bytes at 8000 per second

    // Lists: white space around items, appended to what is queued already.
    EXPECT_EQ(LoadPlay((" " + pa + " *\t" + pb + " *").c_str()), 1);
    EXPECT_EQ(LoadPlay(pa.c_str()), 1);
    EXPECT_EQ(Drain(State().playQueue), Concat({Chunked(a), Chunked(b), Chunked(a)}));
    EXPECT_EQ(GetDuration(), 37u);
    EXPECT_TRUE(log.NewLines().empty());

    EXPECT_EQ(LoadPlay(""), 1);
    EXPECT_EQ(LoadPlay(nullptr), 0);
    EXPECT_TRUE(State().playQueue.IsEmpty());
}

TEST_F(ExportsTest, LoadPlayFailuresKeepWhatCouldBeQueued)
{
    const Bytes a = Ramp(300, 1);
    auto pa = Wav("a.wav", a);
    auto pcm = Wav("pcm.wav", Ramp(400, 0), 1);
    auto missing = (dir / "missing.wav").string();

    // A PCM file: 0, the mu-law file before it stays queued.
    EXPECT_EQ(LoadPlay((pa + "*" + pcm).c_str()), 0);
    EXPECT_EQ(Drain(State().playQueue), Chunked(a));
    ExpectOneReport(log, "AudioAPI", "Error file: " + pcm + " is not in MULAW format", "AudioAPI.cpp", "MULAW");

    // A missing file or an empty item (two '*' in a row) fail without a report.
    log.Mark();
    EXPECT_EQ(LoadPlay((missing + "*" + pa).c_str()), 0);
    EXPECT_EQ(LoadPlay((pa + "**" + pa).c_str()), 0);
    EXPECT_EQ(Drain(State().playQueue), Concat({Chunked(a), Chunked(a), Chunked(a)}));
    EXPECT_TRUE(log.NewLines().empty());

    // A data chunk that claims more than the file holds: what is there is
    // queued, the result says the file was not whole.
    auto cut = Raw("cut.wav", RawWav(8000, 1000, Ramp(600, 3)));
    EXPECT_EQ(LoadPlay(cut.c_str()), 0);
    EXPECT_EQ(Drain(State().playQueue), Chunked(Ramp(600, 3)));
    ExpectOneReport(log, "AudioAPI", "Error file: " + cut + " is truncated", "AudioAPI.cpp", "truncated");

    // An empty PCM file has nothing to play and is not an error.
    log.Mark();
    EXPECT_EQ(LoadPlay(Wav("empty.wav", {}, 1).c_str()), 1);
    EXPECT_TRUE(State().playQueue.IsEmpty());
}

TEST_F(ExportsTest, LoadPlayTakesAtMost480SecondsOfAFile)
{
    // At a claimed 1 byte per second, 480 seconds are 480 bytes.
    auto slow = Raw("slow.wav", RawWav(1, 1000, Ramp(1000, 0)));
    EXPECT_EQ(LoadPlay(slow.c_str()), 1);
    EXPECT_EQ(Drain(State().playQueue), Chunked(Ramp(480, 0)));
    EXPECT_EQ(GetDuration(), 1000000u);
    // A byte rate near 4 GB/s must not overflow the limit.
    auto fast = Raw("fast.wav", RawWav(0xFFFFFFFFu, 700, Ramp(700, 0)));
    EXPECT_EQ(LoadPlay(fast.c_str()), 1);
    EXPECT_EQ(Drain(State().playQueue), Chunked(Ramp(700, 0)));
}

TEST_F(ExportsTest, LoadPageAddsGapsAfterEachFile)
{
    const Bytes a = Ramp(300, 1), b = Ramp(240, 50);
    auto pa = Wav("a.wav", a), pb = Wav("b.wav", b);
    auto silence = [](size_t bytes) { return Chunked(Bytes(bytes, 0xF0)); };

    // A gap above 1500 ms becomes 100 ms (800 bytes).
    EXPECT_EQ(LoadPage((pa + "*" + pb).c_str(), 2000), 1);
    auto want = Concat({Chunked(a), silence(800), Chunked(b), silence(800)});
    EXPECT_EQ(GetBuffCount(), int(want.size()));
    EXPECT_EQ(Drain(State().pageQueue), want);

    EXPECT_EQ(LoadPage((pa + "*" + pb).c_str(), 1500), 1);
    EXPECT_EQ(Drain(State().pageQueue), Concat({Chunked(a), silence(12000), Chunked(b), silence(12000)}));

    EXPECT_EQ(LoadPage((pa + "*" + pb).c_str(), 0), 1);
    EXPECT_EQ(Drain(State().pageQueue), Concat({Chunked(a), Chunked(b)}));

    // Once a file has failed, no gap follows any file.
    auto missing = (dir / "missing.wav").string();
    EXPECT_EQ(LoadPage((missing + "*" + pb).c_str(), 2000), 0);
    EXPECT_EQ(Drain(State().pageQueue), Chunked(b));
    EXPECT_EQ(LoadPage((pa + "*" + missing + "*" + pb).c_str(), 30), 0);
    EXPECT_EQ(Drain(State().pageQueue), Concat({Chunked(a), silence(240), Chunked(b)}));
    EXPECT_EQ(LoadPage(nullptr, 30), 0);
    EXPECT_TRUE(State().playQueue.IsEmpty());
}

TEST_F(ExportsTest, SilenceLengths)
{
    auto chunksOf = [](CBlockQueue& q) {
        auto c = Drain(q);
        for (size_t i = 0; i + 1 < c.size(); ++i)
            EXPECT_EQ(c[i], Bytes(240, 0xF0));
        return c;
    };
    struct Case {
        int ms;
        int result;
        size_t chunks;
        size_t lastUsed;
    };
    // Whole seconds only: 8000 bytes are 33 full chunks and 80 bytes.
    const Case play[] = {{999, 0, 0, 0}, {1000, 1, 34, 80}, {1999, 1, 34, 80},  {2000, 1, 67, 160},
                         {0, 0, 0, 0},   {-1000, 0, 0, 0},  {INT_MAX, 0, 0, 0}, {INT_MIN, 0, 0, 0}};
    for (const auto& c : play) {
        SCOPED_TRACE(c.ms);
        log.Mark();
        EXPECT_EQ(LoadPlaySilence(c.ms), c.result);
        auto q = chunksOf(State().playQueue);
        ASSERT_EQ(q.size(), c.chunks);
        if (c.chunks) {
            EXPECT_EQ(std::count(q.back().begin(), q.back().end(), 0xF0), long(c.lastUsed));
            EXPECT_EQ(std::count(q.back().begin(), q.back().end(), 0xFF), long(240 - c.lastUsed));
            EXPECT_TRUE(log.NewLines().empty());
        } else {
            ExpectOneReport(log, "AudioAPI", "Invalid parameter", "AudioAPI.cpp", "Invalid parameter");
        }
        EXPECT_TRUE(State().pageQueue.IsEmpty());
    }

    struct PageCase {
        int ms;
        int result;
        size_t chunks;
        const char* report;
    };
    const PageCase page[] = {{30, 1, 1, nullptr},
                             {1, 1, 1, nullptr},
                             {1000, 1, 34, nullptr},
                             {0, 0, 0, "Invalid parameter secs = 0.0000"},
                             {-5, 0, 0, "Invalid parameter secs = -0.0050"},
                             {INT_MAX, 0, 0, "Invalid parameter secs = 2147483.7500"}};
    for (const auto& c : page) {
        SCOPED_TRACE(c.ms);
        log.Mark();
        EXPECT_EQ(LoadPageSilence(c.ms), c.result);
        EXPECT_EQ(chunksOf(State().pageQueue).size(), c.chunks);
        if (c.report) {
            ExpectOneReport(log, "AudioAPI", c.report, "AudioAPI.cpp", "secs = %.4f");
        } else {
            EXPECT_TRUE(log.NewLines().empty());
        }
        EXPECT_TRUE(State().playQueue.IsEmpty());
    }
}

TEST_F(ExportsTest, GetBuffAndSilentBuff)
{
    uint8_t buf[240];
    memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(GetBuff(buf), 0);
    EXPECT_EQ(Bytes(buf, buf + 240), Bytes(240, 0xAA));

    ASSERT_EQ(LoadPageSilence(30), 1);
    EXPECT_EQ(GetBuff(nullptr), 0);
    EXPECT_EQ(GetBuffCount(), 1);
    EXPECT_EQ(GetBuff(buf), 240);
    EXPECT_EQ(GetBuffCount(), 0);

    ASSERT_EQ(LoadPageSilence(1000), 1);
    EXPECT_EQ(PageCancel(), 1);
    EXPECT_EQ(GetBuffCount(), 0);

    memset(buf, 0, sizeof buf);
    EXPECT_EQ(GetSilentBuff(buf), 240);
    EXPECT_EQ(Bytes(buf, buf + 240), Bytes(240, 0xF0));
    EXPECT_EQ(GetSilentBuff(nullptr), 0);
}

TEST_F(ExportsTest, MeterGetPeakTakesTheOldestBlock)
{
    auto push = [](std::initializer_list<int16_t> s, bool oddTail = false) {
        Bytes b;
        for (int16_t v : s) {
            b.push_back(uint8_t(uint16_t(v)));
            b.push_back(uint8_t(uint16_t(v) >> 8));
        }
        if (oddTail)
            b.push_back(0x7F);
        State().meterTap.PushCopy(b.data(), int(b.size()));
    };
    int peak = -1;
    EXPECT_EQ(MeterGetPeak(&peak), 0);
    EXPECT_EQ(peak, -1);

    push({-5, 3, 2});
    push({-100, -1});
    push({32767, -32768}, true);
    EXPECT_EQ(MeterGetPeak(nullptr), 0);  // nothing taken
    EXPECT_EQ(MeterGetPeak(&peak), 3);
    EXPECT_EQ(peak, 3);
    EXPECT_EQ(MeterGetPeak(&peak), 2);
    EXPECT_EQ(peak, 0);                 // only negative samples
    EXPECT_EQ(MeterGetPeak(&peak), 2);  // the odd byte is not a sample
    EXPECT_EQ(peak, 32767);
    peak = -1;
    EXPECT_EQ(MeterGetPeak(&peak), 0);
    EXPECT_EQ(peak, -1);

    // A recording that ended by itself (the microphone lost) is -1, blocks
    // waiting or not, until the device side says otherwise.
    push({7});
    Fake().inputLost = true;
    EXPECT_EQ(MeterGetPeak(&peak), -1);
    EXPECT_EQ(peak, -1);
    Fake().inputLost = false;
    EXPECT_EQ(MeterGetPeak(&peak), 1);
    EXPECT_EQ(peak, 7);
}

TEST_F(ExportsTest, IsValidFileAcceptsOnlyUnitAudio)
{
    const Bytes audio = Ramp(800, 0);
    struct Case {
        const char* name;
        uint16_t tag;
        uint32_t rate;
        uint16_t bits;
        uint16_t ch;
        int valid;
    };
    const Case cases[] = {
        {"ok.wav", 7, 8000, 8, 1, 1},  {"rate.wav", 7, 11025, 8, 1, 0}, {"stereo.wav", 7, 8000, 8, 2, 0},
        {"pcm.wav", 1, 8000, 8, 1, 0}, {"wide.wav", 7, 8000, 16, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsValidFile(Wav(c.name, audio, c.tag, c.rate, c.bits, c.ch).c_str()), c.valid);
    }
    // The file last opened is the one GetDuration reports.
    EXPECT_EQ(IsValidFile((dir / "ok.wav").string().c_str()), 1);
    EXPECT_EQ(GetDuration(), 100u);
    EXPECT_EQ(IsValidFile((dir / "missing.wav").string().c_str()), 0);
    EXPECT_EQ(IsValidFile(Raw("junk.wav", Bytes(100, 'R')).c_str()), 0);
    EXPECT_EQ(IsValidFile(nullptr), 0);
    EXPECT_EQ(GetDuration(), 100u);
    EXPECT_EQ(IsValidFile((dir / "stereo.wav").string().c_str()), 0);
    EXPECT_EQ(GetDuration(), 50u);
}

TEST_F(ExportsTest, DeviceExportsCheckTheirArgumentsAndKeepTheQueues)
{
    // Save with a missing result pointer touches nothing.
    double gain = 7, clip = 7, snr = 7;
    EXPECT_EQ(Save((dir / "s.wav").string().c_str(), 0.1, 0.2, 0.3, 4, &gain, nullptr, &snr), 0);
    EXPECT_EQ(gain, 7);
    EXPECT_EQ(snr, 7);
    EXPECT_EQ(Fake().saveCalls, 0);
    // Without a path the results are zeroed and nothing is written.
    EXPECT_EQ(Save(nullptr, 0.1, 0.2, 0.3, 4, &gain, &clip, &snr), 0);
    EXPECT_EQ(gain + clip + snr, 0);
    EXPECT_EQ(Fake().saveCalls, 0);
    EXPECT_EQ(Save((dir / "s.wav").string().c_str(), 0.1, 0.2, 0.3, 4, &gain, &clip, &snr), 1);
    EXPECT_EQ(gain, 1.5);

    // Preview of an empty queue succeeds and plays nothing.
    EXPECT_EQ(Preview(), 1);
    EXPECT_EQ(Fake().previewCalls, 0);
    ASSERT_EQ(LoadPlaySilence(1000), 1);
    Fake().previewResult = 0;
    EXPECT_EQ(Preview(), 0);
    EXPECT_EQ(Fake().previewCalls, 1);
    EXPECT_EQ(PreviewCancel(), 1);
    EXPECT_EQ(Fake().cancelCalls, 1);
    EXPECT_TRUE(State().playQueue.IsEmpty());

    // Stop cancels playback and empties the meter tap while it is enabled.
    uint8_t pcm[4] = {};
    State().meterTap.SetEnabled(1);
    State().meterTap.PushCopy(pcm, 4);
    ASSERT_EQ(LoadPlaySilence(1000), 1);
    Fake().stopResult = 0;
    EXPECT_EQ(Stop(), 0);
    EXPECT_TRUE(State().playQueue.IsEmpty());
    EXPECT_EQ(State().meterTap.Count(), 0);
    State().meterTap.SetEnabled(0);
    State().meterTap.PushCopy(pcm, 4);
    Fake().stopResult = 1;
    EXPECT_EQ(Stop(), 1);
    EXPECT_EQ(State().meterTap.Count(), 1);

    SetNormValue(1, 2, 3, 4);
    NormUpdate();
    EXPECT_TRUE(log.NewLines().empty());
    // Without a Qt application the codec report goes to the log.
    EXPECT_EQ(GetCoderInfor(), 1);
    const auto lines = log.NewLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.front().find(" ACM version: "), std::string::npos) << lines.front();
}
