// The file-backed sound device on its own: pacing, order, reset, overrun and
// format conversion of the capture, and appending of the playback.
#include "SonvoxLib.h"
#include "WaitFor.h"
#include "devices/CCaptureSource.h"
#include "devices/CFileDevice.h"
#include "devices/CWaveAppender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Returned {
    std::mutex lock;
    std::vector<SoundBuffer*> buffers;
    size_t Count()
    {
        std::lock_guard<std::mutex> lk(lock);
        return buffers.size();
    }
};

void Collect(void* context, SoundBuffer* b)
{
    auto* r = static_cast<Returned*>(context);
    std::lock_guard<std::mutex> lk(r->lock);
    r->buffers.push_back(b);
}

bool WaitCount(Returned& r, size_t n)
{
    return WaitFor([&] { return r.Count() >= n; }, 5000);
}

struct Buffers {
    Buffers(int count, uint32_t length) : storage(size_t(count) * length), headers(size_t(count))
    {
        for (int i = 0; i < count; ++i) {
            headers[size_t(i)].data = storage.data() + size_t(i) * length;
            headers[size_t(i)].bufferLength = length;
        }
    }
    std::vector<uint8_t> storage;
    std::vector<SoundBuffer> headers;
};

class FileDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture = dir / "stereo.wav";
        // Stereo, 22.05 kHz: the device must mix and convert it.
        ASSERT_TRUE(Shell("sox -n -r 22050 -c 2 -b 16 '" + capture + "' synth 2 sine 300 sine 500 vol 0.5"));
    }
    TempDir dir;
    std::string capture;
    const SoundFormat format{11025, 8, 1};
};

TEST_F(FileDevice, CaptureDeliversTheConvertedFileInOrderAndResetReturnsEverything)
{
    CCaptureSource source;
    std::string error;
    ASSERT_TRUE(source.Load(capture, format, error)) << error;
    EXPECT_NEAR(double(source.Frames()), 2 * 11025.0, 64);

    CFileDevice dev(SoundDirection::Input, capture);
    Returned r;
    ASSERT_EQ(dev.Open(format, Collect, &r), kSoundOk);
    Buffers b(8, 264);
    for (SoundBuffer& h : b.headers) {
        ASSERT_EQ(dev.Queue(&h), kSoundNotPrepared);
        ASSERT_EQ(dev.Prepare(&h), kSoundOk);
        ASSERT_EQ(dev.Queue(&h), kSoundOk);
        EXPECT_EQ(dev.Unprepare(&h), kSoundStillQueued);
    }
    ASSERT_EQ(dev.Start(), kSoundOk);
    ASSERT_TRUE(WaitCount(r, 3));
    ASSERT_EQ(dev.Reset(), kSoundOk);
    ASSERT_EQ(r.Count(), 8u);

    // Full buffers first, in the order queued, then what the reset returned.
    std::vector<uint8_t> got;
    for (size_t i = 0; i < r.buffers.size(); ++i) {
        SoundBuffer* h = r.buffers[i];
        EXPECT_EQ(h, &b.headers[i]);
        EXPECT_TRUE(h->flags & kBufferDone);
        EXPECT_FALSE(h->flags & kBufferQueued);
        if (i < 3) {
            EXPECT_EQ(h->bytesRecorded, 264u);
        }
        got.insert(got.end(), h->data, h->data + h->bytesRecorded);
    }
    ASSERT_LE(got.size(), source.Data().size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), source.Data().begin()));
    EXPECT_EQ(dev.Close(), kSoundOk);
    EXPECT_FALSE(dev.IsOpen());
}

TEST_F(FileDevice, CaptureWithoutBuffersKeepsARingAndThenLosesAudio)
{
    CCaptureSource source;
    std::string error;
    ASSERT_TRUE(source.Load(capture, format, error));
    CFileDevice dev(SoundDirection::Input, capture);
    Returned r;
    ASSERT_EQ(dev.Open(format, Collect, &r), kSoundOk);
    Buffers b(3, 264);
    for (SoundBuffer& h : b.headers)
        dev.Prepare(&h);
    dev.Queue(&b.headers[0]);
    dev.Start();
    ASSERT_TRUE(WaitCount(r, 1));
    std::this_thread::sleep_for(80ms);  // well within the device's ring
    dev.Queue(&b.headers[1]);
    ASSERT_TRUE(WaitCount(r, 2));
    std::this_thread::sleep_for(600ms);  // far past it
    dev.Queue(&b.headers[2]);
    ASSERT_TRUE(WaitCount(r, 3));
    const uint8_t* src = source.Data().data();
    EXPECT_EQ(memcmp(b.headers[0].data, src, 264), 0);
    EXPECT_EQ(memcmp(b.headers[1].data, src + 264, 264), 0);
    EXPECT_NE(memcmp(b.headers[2].data, src + 528, 264), 0);
    dev.Close();
}

TEST_F(FileDevice, PlaybackAppendsWhatStartedAndResetDropsTheRest)
{
    std::string out = dir / "out.wav";
    const SoundFormat pcm8k{8000, 8, 1};
    CFileDevice dev(SoundDirection::Output, out);
    Returned r;
    ASSERT_EQ(dev.Open(pcm8k, Collect, &r), kSoundOk);
    Buffers b(3, 240);
    for (size_t i = 0; i < b.storage.size(); ++i)
        b.storage[i] = uint8_t(i);
    for (SoundBuffer& h : b.headers) {
        dev.Prepare(&h);
        ASSERT_EQ(dev.Queue(&h), kSoundOk);
    }
    ASSERT_TRUE(WaitCount(r, 3));  // 90 ms of audio
    WavData w;
    ASSERT_TRUE(ReadWav(out, w));
    EXPECT_EQ(w.data, b.storage);

    // Twenty more, reset at once: what had started playing is heard, the
    // rest is dropped.
    Buffers more(20, 240);
    memset(more.storage.data(), 7, more.storage.size());
    for (SoundBuffer& h : more.headers) {
        dev.Prepare(&h);
        dev.Queue(&h);
    }
    dev.Reset();
    EXPECT_EQ(r.Count(), 23u);
    ASSERT_TRUE(ReadWav(out, w));
    EXPECT_GE(w.data.size(), 720u + 240u);
    EXPECT_LT(w.data.size(), 720u + 20 * 240u);
    dev.Close();
}

TEST_F(FileDevice, AppenderContinuesItsOwnFormatAndReplacesAnother)
{
    std::string out = dir / "a.wav";
    const std::vector<uint8_t> a{1, 2, 3}, c{9, 9};
    CWaveAppender w;
    ASSERT_TRUE(w.Open(out, SoundFormat{8000, 8, 1}));
    ASSERT_TRUE(w.Append(a.data(), 3));
    w.Close();
    ASSERT_TRUE(w.Open(out, SoundFormat{8000, 8, 1}));
    ASSERT_TRUE(w.Append(a.data(), 3));
    w.Close();
    WavData d;
    ASSERT_TRUE(ReadWav(out, d));
    EXPECT_EQ(d.data, (std::vector<uint8_t>{1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(ReadFile(out).size(), 44u + 6u);

    ASSERT_TRUE(w.Open(out, SoundFormat{11025, 16, 1}));
    ASSERT_TRUE(w.Append(c.data(), 2));
    w.Close();
    ASSERT_TRUE(ReadWav(out, d));
    EXPECT_EQ(d.rate, 11025u);
    EXPECT_EQ(d.data, c);

    // A FIFO or a device is neither continued nor replaced, and nothing waits
    // on it: opened for reading and writing, a FIFO would hold the first read.
    const std::string fifo = dir / "fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(w.Open(fifo, SoundFormat{8000, 8, 1}));
    EXPECT_FALSE(w.Open("/dev/null", SoundFormat{8000, 8, 1}));
    EXPECT_FALSE(w.Append(a.data(), 3));
}

TEST(FileDeviceMissing, NoPathMeansNoDeviceAndAnUnreadableCaptureFailsToOpen)
{
    CFileDevice none(SoundDirection::Input, "");
    uint32_t flags = 1;
    EXPECT_EQ(none.Capabilities(flags), kSoundNoDevice);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(none.Open(SoundFormat{}, Collect, nullptr), kSoundNoDevice);

    TempDir dir;
    std::string junk = dir / "junk.wav";
    Shell("echo nothing > '" + junk + "'");
    CFileDevice bad(SoundDirection::Input, junk);
    EXPECT_EQ(bad.QueryFormat(SoundFormat{}), kSoundOk);
    EXPECT_EQ(bad.Open(SoundFormat{}, Collect, nullptr), kSoundBackendError);
    EXPECT_NE(bad.ErrorText(kSoundBackendError).find("junk.wav"), std::string::npos);
    EXPECT_EQ(bad.QueryFormat(SoundFormat{44100, 12, 1}), kSoundBadFormat);
}

}  // namespace
