// The library's recording, playback and processing through its exports, on the
// file device: capture comes from a WAV file, playback goes to one.
#include "Codec.h"
#include "SonvoxLib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <thread>

#include "WaitFor.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// 44.1 kHz 16-bit mono speech, made once for the whole run.
const std::string& SpeechFile()
{
    static std::string path;
    static TempDir dir;
    if (path.empty()) {
        std::string raw = dir / "raw.wav";
        path = dir / "speech.wav";
        Shell("espeak-ng -w '" + raw + "' 'one two three four five' 2>/dev/null && sox '" + raw +
              "' -r 44100 -b 16 -c 1 '" + path + "' pad 0.3 0.5");
    }
    return path;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> s(bytes.size() / 2);
    memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// 8000 bytes of mu-law covering every code, 1 s at 8 kHz.
std::vector<uint8_t> MuLawPattern(size_t length)
{
    std::vector<uint8_t> v(length);
    for (size_t i = 0; i < length; ++i)
        v[i] = uint8_t(i * 37 + i / 256);
    return v;
}

// What the output device must receive for a mu-law file: every byte decoded
// to 8-bit PCM, the last 240-byte chunk filled up with the code for zero.
std::vector<uint8_t> DecodedForPlayback(const std::vector<uint8_t>& mulaw)
{
    std::vector<uint8_t> padded = mulaw;
    padded.resize((mulaw.size() + 239) / 240 * 240, 0xFF);
    std::vector<uint8_t> pcm(padded.size());
    CodecOutput out;
    out.data = pcm.data();
    MuLawDecode(padded.data(), int(padded.size()), 8, 8000, out);
    return pcm;
}

class SonvoxEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_FALSE(SpeechFile().empty());
        capture = SpeechFile();
        playback = dir / "played.wav";
        log = dir / "Audio.log";
        setenv("SONVOX_CAPTURE_FILE", capture.c_str(), 1);
        setenv("SONVOX_PLAYBACK_FILE", playback.c_str(), 1);
        std::string error = lib.Load(dir.path);
        ASSERT_EQ(error, "");
    }
    void TearDown() override
    {
        lib.Unload();
        unsetenv("SONVOX_CAPTURE_FILE");
        unsetenv("SONVOX_PLAYBACK_FILE");
    }

    void Init() { ASSERT_EQ(lib.Audio_Init(7, log.c_str(), 1), 1) << ReadText(log); }

    // Records for about ms milliseconds; the meter peaks seen meanwhile.
    std::vector<int> RecordFor(int ms)
    {
        std::vector<int> peaks;
        EXPECT_EQ(lib.Record(), 1) << ReadText(log);
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            int peak = -1;
            while (int n = lib.MeterGetPeak(&peak)) {
                EXPECT_EQ(n, 1058);  // 24 ms at 44.1 kHz
                peaks.push_back(peak);
            }
            std::this_thread::sleep_for(15ms);
        }
        return peaks;
    }

    // A capture no longer than the initial trim is refused by the
    // processing: captures that may be that short are saved with trim 0.
    int SaveTo(const std::string& path, double tc = 0.9998, int trim = 500)
    {
        gain = clip = snr = -1;
        return lib.Save(path.c_str(), tc, 0.02, 1.0, trim, &gain, &clip, &snr);
    }

    void SetDebugFlag(const std::string& content)
    {
        Shell("printf '" + content + "' > '" + dir / "Levelcut.txt" + "'");
    }

    // The unprocessed capture, as the debug copy holds it.
    std::vector<uint8_t> DebugCapture()
    {
        WavData w;
        EXPECT_TRUE(ReadWav(dir / "Debug.wav", w));
        EXPECT_EQ(w.tag, 1);
        EXPECT_EQ(w.rate, 44100u);
        EXPECT_EQ(w.bits, 16);
        EXPECT_EQ(w.channels, 1);
        return w.data;
    }

    std::vector<uint8_t> SourceBytes()
    {
        WavData w;
        EXPECT_TRUE(ReadWav(capture, w));
        return w.data;
    }

    // Waits until the playback file stops growing; its data.
    std::vector<uint8_t> PlayedWhenSettled(std::chrono::milliseconds limit = 5000ms)
    {
        size_t last = SIZE_MAX;
        int still = 0;
        WaitFor(
            [&] {
                WavData w;
                size_t now = ReadWav(playback, w) ? w.data.size() : 0;
                still = (now == last && now > 0) ? still + 1 : 0;
                last = now;
                std::this_thread::sleep_for(40ms);
                return still >= 8;
            },
            static_cast<int>(limit.count()));
        WavData w;
        ReadWav(playback, w);
        return w.data;
    }

    TempDir dir;
    SonvoxLib lib;
    std::string capture, playback, log;
    double gain = 0, clip = 0, snr = 0;
};

TEST_F(SonvoxEngine, InitTwiceFailsAndInitReleaseCyclesWork)
{
    Init();
    // The recorder's worker reports its priority as it starts, into the log
    // of the very first start.
    EXPECT_TRUE(WaitFor([&] { return ReadText(log).find("Poll worker runs at") != std::string::npos; }, 3000));
    EXPECT_EQ(lib.Audio_Init(7, log.c_str(), 1), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lib.Audio_Release(), 1);
        EXPECT_EQ(lib.Audio_Init(7, log.c_str(), 1), 1);
    }
    EXPECT_EQ(lib.Audio_Release(), 1);
    EXPECT_EQ(lib.Audio_Release(), 1);
}

TEST_F(SonvoxEngine, InitFailsWhenTheLogCannotBeCreated)
{
    EXPECT_EQ(lib.Audio_Init(7, (dir / "no/such/folder/Audio.log").c_str(), 1), 0);
    EXPECT_EQ(lib.Record(), 0);
}

TEST_F(SonvoxEngine, RecordStopSaveGivesProcessedMessageAndExactCapture)
{
    SetDebugFlag("[Debug]\\r\\n1");
    Init();
    std::vector<int> peaks = RecordFor(2000);
    ASSERT_EQ(lib.Stop(), 1);

    std::string out = dir / "TXTemp.wav";
    ASSERT_EQ(SaveTo(out), 1) << ReadText(log);
    WavData w;
    ASSERT_TRUE(ReadWav(out, w));
    EXPECT_EQ(w.tag, 7);
    EXPECT_EQ(w.rate, 8000u);
    EXPECT_EQ(w.bits, 8);
    EXPECT_EQ(w.channels, 1);
    EXPECT_GT(w.data.size(), 4000u);
    EXPECT_NE(gain, 0.0);
    EXPECT_GT(snr, 0.0);
    EXPECT_GE(clip, 0.0);

    // The capture is the capture file from its start, without a gap, in
    // whole 24 ms buffers, and holds everything delivered before Stop.
    std::vector<uint8_t> captured = DebugCapture();
    std::vector<uint8_t> source = SourceBytes();
    source.resize(std::max(source.size(), captured.size()), 0);  // silence past its end
    ASSERT_GE(captured.size(), 2116u * 70);                      // at least 1.7 of the 2 seconds
    EXPECT_EQ(captured.size() % 2116, 0u);
    EXPECT_TRUE(std::equal(captured.begin(), captured.end(), source.begin()));

    // The meter saw the blocks in order, each with its own peak.
    ASSERT_GT(peaks.size(), 40u);
    ASSERT_LE(peaks.size() * 2116, captured.size());
    std::vector<int16_t> s = Samples(captured);
    for (size_t k = 0; k < peaks.size(); ++k) {
        int expected = 0;
        for (size_t i = k * 1058; i < (k + 1) * 1058; ++i)
            expected = std::max<int>(expected, s[i]);
        ASSERT_EQ(peaks[k], expected) << "block " << k;
    }
    EXPECT_GT(*std::max_element(peaks.begin(), peaks.end()), 3000);
}

TEST_F(SonvoxEngine, RecordWhileRecordingStartsAnew)
{
    SetDebugFlag("[Debug]\\r\\n1");
    Init();
    RecordFor(400);
    ASSERT_EQ(lib.Record(), 1);
    int peak = 0;
    ASSERT_TRUE(WaitFor([&] { return lib.MeterGetPeak(&peak) > 0; }, 3000));
    ASSERT_EQ(lib.Stop(), 1);
    ASSERT_EQ(SaveTo(dir / "TXTemp.wav", 0.9998, 0), 1) << ReadText(log);
    // Only the second recording, again from the start of the input.
    std::vector<uint8_t> captured = DebugCapture();
    std::vector<uint8_t> source = SourceBytes();
    ASSERT_GT(captured.size(), 0u);
    ASSERT_LT(captured.size(), source.size());
    EXPECT_TRUE(std::equal(captured.begin(), captured.end(), source.begin()));
}

TEST_F(SonvoxEngine, StopEdgeCases)
{
    SetDebugFlag("[Debug]\\r\\n1");
    Init();
    // Stop before a buffer was delivered: nothing was recorded. On a machine
    // too busy for that, at least no part of a buffer may get in.
    ASSERT_EQ(lib.Record(), 1);
    int first = lib.Stop();
    if (first == 1) {
        ASSERT_EQ(SaveTo(dir / "early.wav", 0.9998, 0), 1);
        EXPECT_EQ(DebugCapture().size() % 2116, 0u);
    }
    // Nothing to save: Save fails and leaves nothing at the path.
    if (first == 0) {
        EXPECT_EQ(SaveTo(dir / "none.wav"), 0);
        EXPECT_FALSE(FileExists(dir / "none.wav"));
    }

    RecordFor(300);
    ASSERT_EQ(lib.Stop(), 1);
    ASSERT_EQ(SaveTo(dir / "a.wav"), 1);
    std::vector<uint8_t> once = DebugCapture();
    // A second Stop finds the device closed and builds the same capture.
    ASSERT_EQ(lib.Stop(), 1);
    ASSERT_EQ(SaveTo(dir / "b.wav"), 1);
    EXPECT_EQ(DebugCapture(), once);
    EXPECT_EQ(ReadFile(dir / "a.wav"), ReadFile(dir / "b.wav"));

    // A path that cannot be written: 0, nothing created, nothing left beside.
    EXPECT_EQ(SaveTo(dir / "missing/x.wav"), 0);
    EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST_F(SonvoxEngine, DebugFlagFileDecidesTheDebugCopy)
{
    Init();
    RecordFor(500);
    ASSERT_EQ(lib.Stop(), 1);

    // Missing: created with its 255-byte default, no copy.
    ASSERT_EQ(SaveTo(dir / "m.wav"), 1) << ReadText(log);
    std::vector<uint8_t> expected(255, 0);
    memcpy(expected.data(), "[Debug]\r\n0", 10);
    EXPECT_EQ(ReadFile(dir / "Levelcut.txt"), expected);
    EXPECT_FALSE(FileExists(dir / "Debug.wav"));

    struct Case {
        const char* content;
        bool copy;
    } cases[] = {
        {"[Debug]\\r\\n1", true},  {"[Debug]\\r\\n12abc", true}, {"[Other]\\r\\n0", false},
        {"[Debug]\\r\\nx", false}, {"[Debug]\\n1", false},  // one line break character: the digit is skipped
    };
    for (const Case& c : cases) {
        SetDebugFlag(c.content);
        unlink((dir / "Debug.wav").c_str());
        ASSERT_EQ(SaveTo(dir / "m.wav"), 1) << c.content;
        EXPECT_EQ(FileExists(dir / "Debug.wav"), c.copy) << c.content;
    }

    // An empty file is filled with the default.
    SetDebugFlag("");
    ASSERT_EQ(SaveTo(dir / "m.wav"), 1);
    EXPECT_EQ(ReadFile(dir / "Levelcut.txt"), expected);
}

TEST_F(SonvoxEngine, LevelcutFailureRemovesTheFileAndLogsWhy)
{
    Init();
    RecordFor(400);
    ASSERT_EQ(lib.Stop(), 1);
    std::string out = dir / "TXTemp.wav";
    EXPECT_EQ(SaveTo(out, 2.0), 0);  // time constant out of Levelcut's range
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(gain, 0.0);
    EXPECT_EQ(clip, 0.0);
    EXPECT_EQ(snr, 0.0);
    EXPECT_TRUE(std::regex_search(ReadText(log),
                                  std::regex("AudioAPI ln:[0-9]+ - TrimSilence failed\\. Invalid parameters\r\n")))
        << ReadText(log);
    // The capture is still there for a second try.
    EXPECT_EQ(SaveTo(out), 1);
}

TEST_F(SonvoxEngine, PreviewPlaysExactlyTheDecodedAudioInOrder)
{
    Init();
    std::vector<uint8_t> mulaw = MuLawPattern(8000 + 1234);
    std::string file = dir / "msg.wav";
    ASSERT_TRUE(WriteWav(file, 7, 8000, 8, mulaw));
    ASSERT_EQ(lib.LoadPlay(file.c_str()), 1);
    EXPECT_EQ(lib.GetDuration(), 1154u);
    ASSERT_EQ(lib.Preview(), 1);
    std::vector<uint8_t> played = PlayedWhenSettled();
    WavData w;
    ASSERT_TRUE(ReadWav(playback, w));
    EXPECT_EQ(w.tag, 1);
    EXPECT_EQ(w.rate, 8000u);
    EXPECT_EQ(w.bits, 8);
    EXPECT_EQ(played, DecodedForPlayback(mulaw));
}

TEST_F(SonvoxEngine, PreviewCancelStopsPlayback)
{
    Init();
    std::vector<uint8_t> mulaw = MuLawPattern(8000 * 6);
    std::string file = dir / "long.wav";
    ASSERT_TRUE(WriteWav(file, 7, 8000, 8, mulaw));
    ASSERT_EQ(lib.LoadPlay(file.c_str()), 1);
    ASSERT_EQ(lib.Preview(), 1);
    WavData w;
    ASSERT_TRUE(WaitFor([&] { return ReadWav(playback, w) && w.data.size() >= 4000; }, 5000));
    ASSERT_EQ(lib.PreviewCancel(), 1);
    // Output ends within 500 ms plus what the device held (20 chunks of 30 ms).
    std::this_thread::sleep_for(1100ms);
    ReadWav(playback, w);
    size_t settled = w.data.size();
    std::this_thread::sleep_for(300ms);
    ReadWav(playback, w);
    EXPECT_EQ(w.data.size(), settled);
    EXPECT_LT(settled, 8000u * 3);
    // The played part is the start of the message, in order.
    std::vector<uint8_t> expected = DecodedForPlayback(mulaw);
    EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), expected.begin()));
    // The queue is empty: another Preview plays nothing more.
    ASSERT_EQ(lib.Preview(), 1);
    std::this_thread::sleep_for(200ms);
    ReadWav(playback, w);
    EXPECT_EQ(w.data.size(), settled);
}

TEST_F(SonvoxEngine, OutputThatCannotOpenKeepsTheQueue)
{
    std::string bad = dir / "no/such/folder/out.wav";
    setenv("SONVOX_PLAYBACK_FILE", bad.c_str(), 1);
    Init();
    // An empty queue posts nothing: no device is tried.
    EXPECT_EQ(lib.Preview(), 1);

    std::vector<uint8_t> mulaw = MuLawPattern(2400);
    std::string file = dir / "msg.wav";
    ASSERT_TRUE(WriteWav(file, 7, 8000, 8, mulaw));
    ASSERT_EQ(lib.LoadPlay(file.c_str()), 1);
    ASSERT_EQ(lib.Preview(), 1);
    std::regex both(
        "play ln:[0-9]+ - waveOutOpen failed\\.\r\n[^\r]* play ln:[0-9]+ - Unable to open output device\r\n");
    ASSERT_TRUE(WaitFor([&] { return std::regex_search(ReadText(log), both); }, 3000)) << ReadText(log);
    // Requests are handled in order, so had the first Preview tried the
    // device there would be two reports by now.
    std::string text = ReadText(log);
    size_t count = 0;
    for (size_t at = text.find("Unable to open output device"); at != std::string::npos;
         at = text.find("Unable to open output device", at + 1))
        ++count;
    EXPECT_EQ(count, 1u);

    // The chunks are still queued: with a working device they play.
    setenv("SONVOX_PLAYBACK_FILE", playback.c_str(), 1);
    ASSERT_EQ(lib.Preview(), 1);
    EXPECT_EQ(PlayedWhenSettled(), DecodedForPlayback(mulaw));
}

TEST_F(SonvoxEngine, ReleaseDuringPlaybackAndRecordingEndsEverything)
{
    Init();
    std::vector<uint8_t> mulaw = MuLawPattern(8000 * 30);
    std::string file = dir / "long.wav";
    ASSERT_TRUE(WriteWav(file, 7, 8000, 8, mulaw));
    ASSERT_EQ(lib.LoadPlay(file.c_str()), 1);
    ASSERT_EQ(lib.Preview(), 1);
    WavData w;
    ASSERT_TRUE(WaitFor([&] { return ReadWav(playback, w) && w.data.size() > 0; }, 5000));
    EXPECT_EQ(lib.Audio_Release(), 1);
    // The thread is gone with its device: the file no longer grows.
    ReadWav(playback, w);
    size_t settled = w.data.size();
    std::this_thread::sleep_for(200ms);
    ReadWav(playback, w);
    EXPECT_EQ(w.data.size(), settled);

    Init();
    ASSERT_EQ(lib.Record(), 1);
    EXPECT_EQ(lib.Audio_Release(), 1);
    EXPECT_EQ(lib.Record(), 0);
}

}  // namespace
