// libsonvox through a real sound server, as on a desktop: a private
// PulseAudio daemon with null sinks, reached through PortAudio and ALSA.
// - Preview to the first sound at the speaker: a message that is loud from
//   its first sample; the speaker's monitor is recorded to a file whose
//   growth is watched, so each recorded sample has the time it arrived.
// - Record to the first captured sample: when the capture begins, measured
//   from when Record returned (the operator sees "Stop" then). Negative or
//   zero: nothing said after "Stop" appeared is lost.
// - CPU while recording: the process's user and system time over the time
//   recorded, in % of one core.
// Figures are printed against their aims; the machine's load goes with them.
#include "PulseServer.h"
#include "SonvoxLib.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string Load()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Time from Preview to the first loud sample arriving from the speaker's
// monitor (which itself adds its 10 ms of latency).
double PreviewToSound(PulseServer& server, SonvoxLib& lib, const std::string& message, const std::string& raw)
{
    const pid_t recorder = server.RecordSink("out1", 8000, raw);
    if (recorder < 0)
        return -1;
    lib.PreviewCancel();
    lib.LoadPlay(message.c_str());
    std::vector<std::pair<Clock::time_point, long>> growth;
    const Clock::time_point t0 = Clock::now();
    lib.Preview();
    long last = FileSize(raw);
    growth.emplace_back(t0, last);
    while (Clock::now() - t0 < 2s) {
        const long now = FileSize(raw);
        if (now != last)
            growth.emplace_back(Clock::now(), last = now);
        std::this_thread::sleep_for(200us);
    }
    const std::vector<int16_t> heard = server.StopRecording(recorder, raw);
    lib.PreviewCancel();
    size_t onset = 0;
    while (onset < heard.size() && std::abs(int(heard[onset])) < 4000)
        ++onset;
    if (onset == heard.size())
        return -1;
    for (const auto& [when, size] : growth)
        if (size > long(onset * 2))
            return Ms(when - t0);
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 10;
    PulseServer server;
    const std::string why = server.Start();
    if (!why.empty()) {
        fprintf(stderr, "bench_soundserver: no sound server: %s\n", why.c_str());
        return 1;
    }
    server.Use();
    TempDir dir;
    const std::string message = dir / "msg.wav", tone = dir / "tone.wav";
    // Loud from the first sample: a square wave, mu-law at 8 kHz.
    std::vector<uint8_t> square(8000);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 8) % 2 ? 0x8F : 0x0F;
    if (!WriteWav(message, 7, 8000, 8, square) || !Shell("sox -n -r 44100 -b 16 -c 1 '" + tone + "' synth " +
                                                         std::to_string(seconds + 4) + " sine 440 vol 0.5")) {
        fprintf(stderr, "bench_soundserver: cannot make the test sounds\n");
        return 1;
    }
    Shell("printf '[Debug]\\r\\n1' > '" + dir / "Levelcut.txt" + "'");
    SonvoxLib lib;
    const std::string error = lib.Load(dir.path);
    if (!error.empty() || !lib.Audio_Init(0, (dir / "Audio.log").c_str(), 1)) {
        fprintf(stderr, "bench_soundserver: cannot start the library: %s\n%s", error.c_str(),
                ReadText(dir / "Audio.log").c_str());
        return 1;
    }
    printf("load average before: %s\n", Load().c_str());

    std::vector<double> preview;
    for (int i = 0; i < 10; ++i) {
        const double ms = PreviewToSound(server, lib, message, dir / "out1.raw");
        if (ms >= 0)
            preview.push_back(ms);
    }
    std::sort(preview.begin(), preview.end());
    if (preview.empty()) {
        printf("preview: no sound arrived at the speaker\n");
    } else {
        printf(
            "Preview to first sound at the speaker: median %.1f ms, worst %.1f ms of %zu (aim < 100 ms: ratio %.2f)\n",
            Median(preview), preview.back(), preview.size(), Median(preview) / 100.0);
    }

    // The microphone's null sink is idle before each recording and starts as
    // slowly as a null sink does (up to its 2 s block); it hears a tone from
    // the moment Record returned.
    std::vector<double> firstSample, waited;
    double cpuPercent = 0;
    for (int i = 0; i < 6; ++i) {
        const bool timed = i == 5;
        std::this_thread::sleep_for(1000ms);
        const Clock::time_point call = Clock::now();
        if (!lib.Record()) {
            printf("Record failed: %s\n", ReadText(dir / "Audio.log").c_str());
            return 1;
        }
        const Clock::time_point back = Clock::now();
        const pid_t feed = server.Feed(tone);
        const double cpu0 = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(timed ? seconds : 2));
        int peak;
        while (lib.MeterGetPeak(&peak)) { }
        const double cpu1 = CpuSeconds();
        const Clock::time_point stop = Clock::now();
        lib.Stop();
        server.End(feed);
        double gain, clip, snr;
        lib.Save((dir / "saved.wav").c_str(), 0.9998, 0.02, 1.0, 500, &gain, &clip, &snr);
        WavData captured;
        if (!ReadWav(dir / "Debug.wav", captured))
            continue;
        const double capturedMs = double(captured.data.size()) / 2.0 / 44.1;
        // The capture ends at Stop, less what the sound system had not yet
        // delivered: it began at the latest that long before Stop.
        firstSample.push_back(Ms(stop - back) - capturedMs);
        waited.push_back(Ms(back - call));
        if (timed)
            cpuPercent = (cpu1 - cpu0) / std::chrono::duration<double>(stop - back).count() * 100.0;
    }
    std::sort(firstSample.begin(), firstSample.end());
    std::sort(waited.begin(), waited.end());
    if (!firstSample.empty()) {
        printf("Record returned after: median %.0f ms, worst %.0f ms (the device starting)\n", Median(waited),
               waited.back());
        printf("first captured sample, from Record's return, at the latest: median %+.0f ms, worst %+.0f ms of %zu "
               "(aim <= 0; an upper bound: the end that Stop drops counts against it)\n",
               Median(firstSample), firstSample.back(), firstSample.size());
    }
    printf("CPU while recording %d s: %.2f %% of one core (aim < 2 %%: ratio %.2f)\n", seconds, cpuPercent,
           cpuPercent / 2.0);
    printf("load average after: %s\n", Load().c_str());
    const std::string log = ReadText(dir / "Audio.log");
    const size_t lost = log.find("Sound lost");
    if (lost != std::string::npos)
        printf("%s\n", log.substr(lost, log.find('\r', lost) - lost).c_str());
    lib.Audio_Release();
    return 0;
}
