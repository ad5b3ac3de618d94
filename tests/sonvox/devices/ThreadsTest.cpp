// A client that breaks the one-thread rule: two threads recording, stopping,
// previewing and cancelling at once. The library must stay alive (serve the
// calls one at a time) and work normally afterwards.
#include "SonvoxLib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class SonvoxThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path.empty());
        capture = dir / "capture.wav";
        // Two seconds of a steady tone to record from.
        ASSERT_TRUE(Shell("sox -n -r 44100 -b 16 -c 1 '" + capture + "' synth 2 sine 440 vol 0.3"));
        setenv("SONVOX_CAPTURE_FILE", capture.c_str(), 1);
        setenv("SONVOX_PLAYBACK_FILE", (dir / "played.wav").c_str(), 1);
        ASSERT_EQ(lib.Load(dir.path), "");
        log = dir / "Audio.log";
        ASSERT_EQ(lib.Audio_Init(7, log.c_str(), 1), 1) << ReadText(log);
    }
    void TearDown() override
    {
        lib.Audio_Release();
        lib.Unload();
        unsetenv("SONVOX_CAPTURE_FILE");
        unsetenv("SONVOX_PLAYBACK_FILE");
    }

    TempDir dir;
    SonvoxLib lib;
    std::string capture, log;
};

TEST_F(SonvoxThreads, RecordAndStopFromTwoThreadsAtOnceAreServedInTurn)
{
    std::vector<uint8_t> mulaw(8000, 0x55);
    const std::string message = dir / "message.wav";
    ASSERT_TRUE(WriteWav(message, 7, 8000, 8, mulaw));

    std::atomic<bool> go{false};
    auto client = [&](int seed) {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < 40; ++i) {
            switch ((i + seed) % 4) {
            case 0:
                lib.Record();
                break;
            case 1:
                lib.Stop();
                break;
            case 2:
                lib.LoadPlay(message.c_str());
                lib.Preview();
                break;
            case 3:
                lib.PreviewCancel();
                break;
            }
            int peak = 0;
            lib.MeterGetPeak(&peak);
        }
    };
    std::thread a(client, 0), b(client, 1);
    go = true;
    a.join();
    b.join();

    // Still a working library: a clean recording saves and processes.
    lib.Stop();
    ASSERT_EQ(lib.Record(), 1) << ReadText(log);
    std::this_thread::sleep_for(600ms);
    ASSERT_EQ(lib.Stop(), 1);
    double gain = 0, clip = 0, snr = 0;
    const std::string out = dir / "TXTemp.wav";
    EXPECT_EQ(lib.Save(out.c_str(), 0.9998, 0.02, 1.0, 500, &gain, &clip, &snr), 1) << ReadText(log);
    WavData w;
    ASSERT_TRUE(ReadWav(out, w));
    EXPECT_EQ(w.tag, 7);
}

}  // namespace
