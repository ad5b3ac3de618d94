// One run through the PortAudio backend, on ALSA's null device set up in a
// private home folder: start-up, a short recording and a preview.
#include "SonvoxLib.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Sends stderr to a file while alive.
class CaptureStderr {
public:
    explicit CaptureStderr(const std::string& path)
    {
        fflush(stderr);
        m_saved = dup(2);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        close(fd);
    }
    ~CaptureStderr()
    {
        fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
    }

private:
    int m_saved;
};

TEST(SonvoxPortAudio, RecordsAndPlaysOnTheNullDevice)
{
    TempDir dir;
    ASSERT_TRUE(Shell("printf 'pcm.!default { type null }\\nctl.!default { type hw card 0 }\\n' > '" +
                      dir / ".asoundrc" + "'"));
    setenv("HOME", dir.path.c_str(), 1);
    unsetenv("SONVOX_CAPTURE_FILE");
    unsetenv("SONVOX_PLAYBACK_FILE");
    SonvoxLib lib;
    ASSERT_EQ(lib.Load(dir.path), "");
    std::string log = dir / "Audio.log";
    std::string err = dir / "stderr.txt";

    int started;
    {
        CaptureStderr quiet(err);
        started = lib.Audio_Init(0, log.c_str(), 1);
    }
    if (!started)
        GTEST_SKIP() << "PortAudio finds no usable input device even on ALSA's null device: " << ReadText(log);
    // ALSA's and the sound servers' start-up complaints stay off the terminal.
    EXPECT_EQ(ReadText(err), "");

    {
        CaptureStderr quiet(err);
        ASSERT_EQ(lib.Record(), 1) << ReadText(log);
        std::this_thread::sleep_for(300ms);
        int peak = -1;
        lib.MeterGetPeak(&peak);
        EXPECT_EQ(lib.Stop(), 1) << ReadText(log);
    }
    EXPECT_EQ(ReadText(err), "");

    std::string msg = dir / "msg.wav";
    ASSERT_TRUE(WriteWav(msg, 7, 8000, 8, std::vector<uint8_t>(2400, 0xF0)));
    ASSERT_EQ(lib.LoadPlay(msg.c_str()), 1);
    ASSERT_EQ(lib.Preview(), 1);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(lib.PreviewCancel(), 1);
    EXPECT_EQ(lib.Audio_Release(), 1);
    EXPECT_EQ(ReadText(log).find("Unable to open output device"), std::string::npos) << ReadText(log);
}

}  // namespace
