// Preview start latency (Preview to the first sample at the output device)
// and recording continuity (samples captured / samples due) while every core
// is kept busy, on the file device. Figures are printed against the aims:
// latency under 150 ms, continuity 1.000.
#include "SonvoxLib.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>
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
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

class Load {
public:
    explicit Load(unsigned threads)
    {
        for (unsigned i = 0; i < threads; ++i)
            m_threads.emplace_back([this] {
                volatile unsigned long x = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    x = x * 3 + 1;
            });
    }
    ~Load()
    {
        m_stop = true;
        for (auto& t : m_threads)
            t.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// Median and worst of n preview starts.
void PreviewLatency(SonvoxLib& lib, const std::string& message, const std::string& played, const char* label)
{
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) {
        lib.PreviewCancel();
        std::this_thread::sleep_for(300ms);
        long before = FileSize(played);
        lib.LoadPlay(message.c_str());
        Clock::time_point t0 = Clock::now();
        lib.Preview();
        while (FileSize(played) <= before && Clock::now() - t0 < 5s)
            std::this_thread::sleep_for(100us);
        ms.push_back(Ms(Clock::now() - t0));
    }
    lib.PreviewCancel();
    std::sort(ms.begin(), ms.end());
    printf("preview start latency, %s: median %.1f ms, worst %.1f ms (aim < 150 ms: ratio %.3f)\n", label,
           ms[ms.size() / 2], ms.back(), ms.back() / 150.0);
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    TempDir dir;
    std::string source = dir / "source.wav", played = dir / "played.wav", message = dir / "msg.wav";
    // A sweep never repeats itself, so a lost buffer shows in the content.
    if (!Shell("sox -n -r 44100 -b 16 -c 1 '" + source + "' synth " + std::to_string(seconds + 5) +
               " sine 200-3000 vol 0.5")) {
        fprintf(stderr, "bench_audio: sox is needed to make the capture file\n");
        return 1;
    }
    if (!WriteWav(message, 7, 8000, 8, std::vector<uint8_t>(8000, 0xE0)))
        return 1;
    setenv("SONVOX_CAPTURE_FILE", source.c_str(), 1);
    setenv("SONVOX_PLAYBACK_FILE", played.c_str(), 1);
    Shell("printf '[Debug]\\r\\n1' > '" + dir / "Levelcut.txt" + "'");

    SonvoxLib lib;
    std::string error = lib.Load(dir.path);
    if (!error.empty() || !lib.Audio_Init(0, (dir / "Audio.log").c_str(), 1)) {
        fprintf(stderr, "bench_audio: cannot start the library: %s\n", error.c_str());
        return 1;
    }

    PreviewLatency(lib, message, played, "idle");
    {
        Load busy(cores);
        PreviewLatency(lib, message, played, "all cores busy");
    }

    printf("recording %d s with %u busy thread(s) on %u core(s)...\n", seconds, cores, cores);
    fflush(stdout);
    Clock::time_point t0, t1;
    {
        Load busy(cores);
        lib.Record();
        t0 = Clock::now();
        int peak = 0;
        while (Clock::now() - t0 < std::chrono::seconds(seconds)) {
            while (lib.MeterGetPeak(&peak)) { }
            std::this_thread::sleep_for(15ms);
        }
        t1 = Clock::now();
        lib.Stop();
    }
    double gain, clip, snr;
    lib.Save((dir / "saved.wav").c_str(), 0.9998, 0.02, 1.0, 500, &gain, &clip, &snr);
    WavData captured, src;
    if (!ReadWav(dir / "Debug.wav", captured) || !ReadWav(source, src)) {
        fprintf(stderr, "bench_audio: no capture to measure\n%s", ReadText(dir / "Audio.log").c_str());
        return 1;
    }
    double due = std::chrono::duration<double>(t1 - t0).count() * 44100.0;
    double got = double(captured.data.size()) / 2.0;
    bool gapless = captured.data.size() <= src.data.size() &&
                   std::equal(captured.data.begin(), captured.data.end(), src.data.begin());
    printf("recording continuity: %.0f of %.0f samples = %.4f (aim 1.000); capture %s the input without a gap\n", got,
           due, got / due, gapless ? "is" : "is NOT");
    std::string log = ReadText(dir / "Audio.log");
    size_t at = log.find("Poll worker runs at");
    if (at != std::string::npos)
        printf("%s\n", log.substr(at, log.find('\r', at) - at).c_str());
    lib.Audio_Release();
    return 0;
}
