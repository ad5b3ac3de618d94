// The library through a real sound server, a private PulseAudio daemon or a
// private PipeWire session (see EveryServer), both with null
// sinks (tests/common/PulseServer.h), reached as a desktop reaches it,
// through PortAudio and ALSA's default device, with no file device. What a
// speaker plays is recorded from the sink's monitor; what the microphone
// hears is played into it with paplay.
#include "PulseServer.h"
#include "RequireRealPart.h"
#include "SonvoxLib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> s(bytes.size() / 2);
    std::copy(bytes.begin(), bytes.begin() + s.size() * 2, reinterpret_cast<uint8_t*>(s.data()));
    return s;
}

std::vector<int16_t> WavSamples(const std::string& path)
{
    WavData w;
    EXPECT_TRUE(ReadWav(path, w)) << path;
    return Samples(w.data);
}

long Onset(const std::vector<int16_t>& s, int level)
{
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(int(s[i])) > level)
            return long(i);
    return -1;
}

double Correlation(const int16_t* a, const int16_t* b, size_t n)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// How well a recording holds a known signal: where the signal starts in it,
// the correlation over the whole signal, and the worst of its windows that
// carry sound. A lost or repeated stretch moves the windows after it away
// from the offset, which their correlation shows.
struct Match {
    long offset = -1;
    double whole = 0;
    double worstWindow = 0;
    size_t windows = 0;
};

Match Find(const std::vector<int16_t>& heard, const std::vector<int16_t>& wanted, size_t window, long slack)
{
    Match m;
    const long wantedOnset = Onset(wanted, 2000), heardOnset = Onset(heard, 2000);
    if (wantedOnset < 0 || heardOnset < 0)
        return m;
    // The onsets give the offset roughly; correlation over the first
    // 200 ms of sound settles it.
    const size_t span = std::min<size_t>(wanted.size() - size_t(wantedOnset), window * 20);
    double best = -2;
    for (long o = heardOnset - wantedOnset - 400; o <= heardOnset - wantedOnset + 400; ++o) {
        if (o + wantedOnset < 0 || size_t(o + wantedOnset) + span > heard.size())
            continue;
        double c = Correlation(&heard[size_t(o + wantedOnset)], &wanted[size_t(wantedOnset)], span);
        if (c > best)
            best = c, m.offset = o;
    }
    if (m.offset < 0 || size_t(m.offset) + wanted.size() > heard.size()) {
        m.offset = -1;
        return m;
    }
    m.whole = Correlation(&heard[size_t(m.offset)], wanted.data(), wanted.size());
    std::vector<double> energy;
    for (size_t w = 0; w + window <= wanted.size(); w += window)
        energy.push_back(Correlation(&wanted[w], &wanted[w], window) > 0 ? [&] {
            double e = 0;
            for (size_t i = w; i < w + window; ++i) e += double(wanted[i]) * wanted[i];
            return e;
        }() : 0.0);
    const double loudest = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
    m.worstWindow = 1;
    for (size_t k = 0; k < energy.size(); ++k) {
        if (energy[k] < loudest * 0.05)
            continue;
        const long at = m.offset + long(k * window);
        double c = -1;
        for (long d = -slack; d <= slack; ++d)
            if (at + d >= 0 && size_t(at + d) + window <= heard.size())
                c = std::max(c, Correlation(&heard[size_t(at + d)], &wanted[k * window], window));
        m.worstWindow = std::min(m.worstWindow, c);
        ++m.windows;
    }
    return m;
}

// A low-pass ([1 2 1] / 4, twice): what a sound server's resampling leaves
// of a signal, so that its slight delay between samples does not count.
std::vector<int16_t> Smooth(std::vector<int16_t> s)
{
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<int16_t> out(s.size());
        for (size_t i = 1; i + 1 < s.size(); ++i)
            out[i] = int16_t((s[i - 1] + 2 * s[i] + s[i + 1]) / 4);
        s = std::move(out);
    }
    return s;
}

double Rms(const std::vector<int16_t>& s)
{
    double e = 0;
    for (int16_t v : s)
        e += double(v) * v;
    return s.empty() ? 0 : std::sqrt(e / double(s.size()));
}

class SoundServer : public ::testing::TestWithParam<PulseServer::Kind> {
protected:
    void SetUp() override
    {
        const std::string why = server.Start();
        REQUIRE_REAL_PART(PulseServer::Name(GetParam()),
                          PulseServer::Program(GetParam()).empty() ? why : std::string());
        ASSERT_EQ(why, "");
        server.Use();
        ASSERT_FALSE(dir.path.empty());
        ASSERT_EQ(lib.Load(dir.path), "");
        log = dir / "Audio.log";
    }
    void TearDown() override
    {
        lib.Unload();
        server.Stop();
        unsetenv("SONVOX_INPUT_DEVICE");
        unsetenv("SONVOX_OUTPUT_DEVICE");
    }

    // Speech at rate, 16-bit mono (mu-law when rate is 8000), made once.
    std::string Speech(unsigned rate)
    {
        const std::string path = dir / ("speech" + std::to_string(rate) + ".wav");
        if (!FileExists(path)) {
            const std::string raw = dir / "espeak.wav";
            const std::string encoding = rate == 8000 ? " -e mu-law -b 8" : " -e signed -b 16";
            EXPECT_TRUE(Shell("espeak-ng -w '" + raw + "' 'Please leave by the nearest exit' 2>/dev/null && sox '" +
                              raw + "' -r " + std::to_string(rate) + encoding + " -c 1 '" + path + "'"));
        }
        return path;
    }

    // A 600 Hz tone of eight seconds, 16-bit mono at 44.1 kHz.
    std::string Tone()
    {
        const std::string path = dir / "tone.wav";
        EXPECT_TRUE(Shell("sox -n -r 44100 -b 16 -c 1 '" + path + "' synth 8 sine 600 vol 0.5"));
        return path;
    }

    // The message as the speaker should play it: 16-bit at 8 kHz.
    std::vector<int16_t> Decoded(const std::string& mulaw)
    {
        const std::string pcm = dir / "decoded.wav";
        EXPECT_TRUE(Shell("sox '" + mulaw + "' -e signed -b 16 '" + pcm + "'"));
        return WavSamples(pcm);
    }

    void Init() { ASSERT_EQ(lib.Audio_Init(0, log.c_str(), 1), 1) << ReadText(log); }

    // Previews a message and returns what each sink played meanwhile.
    std::vector<std::vector<int16_t>> PreviewHeardAt(const std::string& message, const std::vector<std::string>& sinks)
    {
        std::vector<pid_t> recorders;
        for (const std::string& sink : sinks) {
            recorders.push_back(server.RecordSink(sink, 8000, dir / (sink + ".raw")));
            EXPECT_GT(recorders.back(), 0) << sink;
        }
        EXPECT_EQ(lib.LoadPlay(message.c_str()), 1);
        const unsigned ms = lib.GetDuration();
        EXPECT_GT(ms, 1000u);
        EXPECT_EQ(lib.Preview(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms) + 1500ms);
        std::vector<std::vector<int16_t>> heard;
        for (size_t i = 0; i < sinks.size(); ++i)
            heard.push_back(server.StopRecording(recorders[i], dir / (sinks[i] + ".raw")));
        lib.PreviewCancel();
        return heard;
    }

    // Records while a WAV file is played into a sink, starting 100 ms after
    // Record returned; the raw capture (the debug copy that Save leaves).
    std::vector<int16_t> RecordWhileFeeding(const std::string& wav, const std::string& sink = "feed")
    {
        Shell("printf '[Debug]\\r\\n1' > '" + dir / "Levelcut.txt" + "'");
        EXPECT_EQ(lib.Record(), 1) << ReadText(log);
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(server.Wait(server.Feed(wav, sink)), 0);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(lib.Stop(), 1) << ReadText(log);
        EXPECT_EQ(lib.Save(saved.c_str(), 0.9998, 0.02, 1.0, 500, &gain, &clip, &snr), 1) << ReadText(log);
        return WavSamples(dir / "Debug.wav");
    }

    // Milliseconds until the log holds text (added after before), or -1
    // when it did not within timeoutMs.
    long WaitForLog(const std::string& before, const std::string& text, long timeoutMs)
    {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const long ms =
                long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                         .count());
            const std::string log = ReadText(this->log);
            if (log.size() > before.size() && log.find(text, before.size()) != std::string::npos)
                return ms;
            if (ms > timeoutMs)
                return -1;
            std::this_thread::sleep_for(5ms);
        }
    }

    PulseServer server{GetParam()};
    TempDir dir;
    SonvoxLib lib;
    std::string log;
    std::string saved = dir / "TXTemp.wav";
    double gain = 0, clip = 0, snr = 0;
};

// A speaker whose sink rewinds (as a sound card's does: it renders ahead and
// re-renders to let a new stream in sooner) plays the message whole too, from
// its first sample: the sink "Feed" of the test server rewinds.
TEST_P(SoundServer, PreviewIsWholeOnASpeakerThatRewinds)
{
    setenv("SONVOX_OUTPUT_DEVICE", "Feed", 1);
    Init();
    const std::string message = Speech(8000);
    for (int run = 0; run < 2; ++run) {
        auto heard = PreviewHeardAt(message, {"feed"});
        Match m = Find(Smooth(heard[0]), Smooth(Decoded(message)), 160, 2);
        ASSERT_GE(m.offset, 0) << "the message was not heard whole, run " << run;
        EXPECT_GT(m.whole, 0.9) << run;
        EXPECT_GT(m.worstWindow, 0.7) << "a dropout or a jump in the message, run " << run << "\n" << ReadText(log);
    }
}

// The tests that hold on both servers.
class EveryServer : public SoundServer { };

TEST_P(EveryServer, PreviewPlaysTheWholeMessageOnTheDefaultSpeaker)
{
    Init();
    const std::string message = Speech(8000);
    auto heard = PreviewHeardAt(message, {"out1", "out2"});
    EXPECT_LT(Rms(heard[1]), 5.0) << "the other speaker played too";
    // The samples arrive as they are, at their own level, not pinned at full
    // scale (as 8-bit samples taken for signed ones once were on PipeWire).
    const auto pinned = std::count(heard[0].begin(), heard[0].end(), int16_t(-32768));
    EXPECT_LT(double(pinned), 0.01 * double(heard[0].size()));
    const double level = Rms(heard[0]) / Rms(Decoded(message));
    EXPECT_GT(level, 0.2);
    EXPECT_LT(level, 2.0);
    if (GetParam() == PulseServer::kPipeWire)
        return;  // PipeWire's ALSA path still drops parts here and there: the whole message is PulseAudio's check
    Match m = Find(Smooth(heard[0]), Smooth(Decoded(message)), 160, 2);
    ASSERT_GE(m.offset, 0) << "the message was not heard whole";
    EXPECT_GT(m.whole, 0.9);
    EXPECT_GT(m.windows, 30u);
    EXPECT_GT(m.worstWindow, 0.7) << "a dropout or a jump in the message\n" << ReadText(log);
}

TEST_P(EveryServer, RecordKeepsTheSentenceFromItsFirstSample)
{
    Init();
    const std::string sentence = Speech(44100);
    std::vector<int16_t> captured = RecordWhileFeeding(sentence);
    const std::vector<int16_t> wanted = WavSamples(sentence);
    Match m = Find(captured, wanted, 441, 0);
    ASSERT_GE(m.offset, 0) << "the sentence is not all in the capture";
    // Silence before the sentence: its start is in, not cut.
    EXPECT_LT(Rms(std::vector<int16_t>(captured.begin(), captured.begin() + m.offset)), 5.0);
    EXPECT_GT(m.whole, 0.99);
    EXPECT_GT(m.worstWindow, 0.98) << "a gap or a jump in the capture";

    // Save trims and levels it: the speech, without the silence around it.
    WavData out;
    ASSERT_TRUE(ReadWav(saved, out));
    EXPECT_EQ(out.tag, 7);
    const long speechStart = Onset(wanted, 300),
               speechEnd = long(wanted.size()) - Onset(std::vector<int16_t>(wanted.rbegin(), wanted.rend()), 300);
    const double speechMs = double(speechEnd - speechStart) / 44.1;
    const double savedMs = double(out.data.size()) / 8.0;
    EXPECT_GT(savedMs, speechMs * 0.9);
    EXPECT_LT(savedMs, speechMs + 600.0);
    EXPECT_GT(snr, 0.0);
}

// The devices named in the environment are the ones used; a name that is
// not there falls back to the default device, and the log says so once.
TEST_P(SoundServer, ChosenDevicesAreTheOnesUsed)
{
    struct Case {
        const char* speaker;
        const char* microphone;
        int heardAt;                        // index of the sink that plays
        bool speechHeard;                   // the microphone that hears the speech, not the tone
        std::vector<std::string> logLines;  // each expected once in the log
    } cases[] = {
        {"Speaker Two", "Second Microphone", 1, false, {"Sound output device: Speaker Two"}},
        {"System default", "", 0, true, {}},
        {"Gone Speaker",
         "Gone Microphone",
         0,
         true,
         {"Sound output device \"Gone Speaker\" not found: the system default is used",
          "Sound input device \"Gone Microphone\" not found: the system default is used"}},
    };
    const std::string message = Speech(8000);
    const std::vector<int16_t> decoded = Smooth(Decoded(message));
    const std::string speech = Speech(44100), tone = Tone();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speaker);
        setenv("SONVOX_OUTPUT_DEVICE", c.speaker, 1);
        setenv("SONVOX_INPUT_DEVICE", c.microphone, 1);
        const std::string before = ReadText(log);
        Init();
        auto heard = PreviewHeardAt(message, {"out1", "out2"});
        EXPECT_GT(Find(Smooth(heard[size_t(c.heardAt)]), decoded, 160, 2).whole, 0.9) << ReadText(log);
        EXPECT_LT(Rms(heard[size_t(1 - c.heardAt)]), 5.0);

        // Speech into one microphone, a tone into the other at the same time.
        const pid_t toneFeed = server.Feed(tone, "feed2");
        std::vector<int16_t> captured = RecordWhileFeeding(speech);
        server.End(toneFeed);
        EXPECT_GT(Rms(captured), 500.0);
        EXPECT_EQ(Find(captured, WavSamples(speech), 441, 0).whole > 0.9, c.speechHeard);

        const std::string added = ReadText(log).substr(before.size());
        for (const std::string& line : c.logLines) {
            const size_t at = added.find(line);
            EXPECT_NE(at, std::string::npos) << added;
            EXPECT_EQ(added.find(line, at + 1), std::string::npos) << added;
        }
        EXPECT_EQ(lib.Audio_Release(), 1);
    }
}

// The sound server goes away during a recording: the library ends the
// recording by itself, says so in the log and through the meter, and Stop
// keeps what was recorded up to then.
TEST_P(SoundServer, LostMicrophoneEndsTheRecordingAndKeepsWhatWasRecorded)
{
    struct Case {
        const char* name;
        std::function<void()> lose;
    };
    // A source unloaded: the server moves the recording to its fallback
    // source and the stream goes on, with another microphone's sound.
    const Case cases[] = {
        {"sound server killed", [this] { server.Stop(); }},
        {"source unloaded", [this] { EXPECT_TRUE(server.Run("pactl unload-module module-remap-source")); }},
    };
    const std::string tone = Tone();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A server of its own for each case: the last one took its down.
        server.Stop();
        ASSERT_EQ(server.Start(), "");
        server.Use();
        Init();
        const pid_t feed = server.Feed(tone);
        std::this_thread::sleep_for(300ms);
        ASSERT_EQ(lib.Record(), 1) << ReadText(log);
        std::this_thread::sleep_for(1500ms);
        server.End(feed);
        const std::string before = ReadText(log);
        const auto lostAt = std::chrono::steady_clock::now();
        c.lose();
        // The meter tells the client, as it polls it, until it stops the
        // recording.
        int peak = 0, got = 0;
        for (int i = 0; i < 1000 && (got = lib.MeterGetPeak(&peak)) >= 0; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(got, -1);
        const long meterMs = long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lostAt).count());
        const long logMs = WaitForLog(before, "Sound input device lost: System default", 1000);
        EXPECT_GE(logMs, 0) << ReadText(log);
        std::printf("[ measured ] %s: %ld ms from the loss to the meter's -1, the log line by then: %s\n", c.name,
                    meterMs, logMs == 0 ? "yes" : "no");

        Shell("printf '[Debug]\\r\\n1' > '" + dir / "Levelcut.txt" + "'");
        EXPECT_EQ(lib.Stop(), 1) << "what was recorded is kept\n" << ReadText(log);
        EXPECT_EQ(lib.MeterGetPeak(&peak), 0) << "Stop ends the loss";
        EXPECT_EQ(lib.Save(saved.c_str(), 0.9998, 0.02, 1.0, 500, &gain, &clip, &snr), 1) << ReadText(log);
        const std::vector<int16_t> captured = WavSamples(dir / "Debug.wav");
        EXPECT_GT(double(captured.size()) / 44100.0, 1.2) << "the recording up to the loss";
        EXPECT_GT(Rms(captured), 1000.0) << "the tone is in it";
        const std::string added = ReadText(log).substr(before.size());
        EXPECT_EQ(added.find("Sound input device lost"), added.rfind("Sound input device lost")) << added;
        // PortAudio's own complaints reach the log (passed on from standard
        // error by a thread of their own, so perhaps a moment later).
        if (std::string(c.name) == "sound server killed")
            EXPECT_GE(WaitForLog(before, "PortAudio: Expression", 5000), 0) << ReadText(log);
        EXPECT_EQ(lib.Audio_Release(), 1);
    }
}

// The sound server goes away while a message plays: the log says so, the
// playback thread gives up the message rather than wait for the speaker, and
// PreviewLost tells the client (which says "The speaker stopped playing.")
// until it cancels.
TEST_P(SoundServer, LostSpeakerIsReported)
{
    Init();
    const std::string message = Speech(8000);
    ASSERT_EQ(lib.LoadPlay((message + "*" + message + "*" + message + "*" + message).c_str()), 1);
    ASSERT_EQ(lib.Preview(), 1);
    std::this_thread::sleep_for(1000ms);
    EXPECT_EQ(lib.PreviewLost(), 0) << "a speaker that plays is not lost";
    const std::string before = ReadText(log);
    const auto lostAt = std::chrono::steady_clock::now();
    server.Stop();
    const long logMs = WaitForLog(before, "Sound output device lost: System default", 10000);
    EXPECT_GE(logMs, 0) << ReadText(log);
    // The client's preview timer polls every 50 ms.
    while (!lib.PreviewLost() && std::chrono::steady_clock::now() - lostAt < 10s)
        std::this_thread::sleep_for(50ms);
    const long clientMs =
        long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lostAt).count());
    EXPECT_EQ(lib.PreviewLost(), 1);
    std::printf("[ measured ] speaker: %ld ms from the loss to the log line, %ld ms to PreviewLost\n", logMs, clientMs);
    lib.PreviewCancel();
    EXPECT_EQ(lib.PreviewLost(), 0) << "PreviewCancel ends the loss";
    EXPECT_EQ(lib.Audio_Release(), 1);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Servers, SoundServer, ::testing::Values(PulseServer::kPulseAudio),
                         [](const auto& info) { return std::string(PulseServer::Name(info.param)); });
INSTANTIATE_TEST_SUITE_P(Servers, EveryServer, ::testing::Values(PulseServer::kPulseAudio, PulseServer::kPipeWire),
                         [](const auto& info) { return std::string(PulseServer::Name(info.param)); });
