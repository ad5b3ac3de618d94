// Runs the post-record processing over synthetic recordings with known
// truth and prints, beside it, what the sox command-line chain makes of the
// same files. Not a test: a table for people.
#include "CConditioner.h"
#include "CLevelcut.h"
#include "CSpeechFixture.h"
#include "CWaveFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 10;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double RmsDb(const std::vector<float>& y, long b, long e)
{
    b = std::max(0L, b);
    e = std::min(long(y.size()), e);
    if (e <= b) return -200.0;
    double s = 0.0;
    for (long i = b; i < e; ++i) s += double(y[size_t(i)]) * y[size_t(i)];
    return 10.0 * std::log10(s / double(e - b) / (32768.0 * 32768.0) + 1e-20);
}

// Where an 8 kHz output came from in the 8 kHz version of its input: the lag
// with the best normalised correlation.
long Align(const std::vector<float>& in, const std::vector<float>& out)
{
    if (out.empty() || in.size() < out.size()) return 0;
    long best = 0;
    double bestScore = -1e300;
    double eo = 0.0;
    for (float v : out) eo += double(v) * v;
    for (long lag = 0; lag + long(out.size()) <= long(in.size()); ++lag) {
        double dot = 0.0, ei = 0.0;
        const float* p = in.data() + lag;
        for (size_t i = 0; i < out.size(); i += 2) {
            dot += double(p[i]) * out[i];
            ei += double(p[i]) * p[i];
        }
        double score = dot / std::sqrt(ei * eo + 1e-9);
        if (score > bestScore) { bestScore = score; best = lag; }
    }
    return best;
}

struct Row {
    double lead = 0, trail = 0, level = 0, gain = 0, clips = 0, snr = 0, speed = 0, memSpeed = NAN;
};

void Print(const char* who, const FixtureCase& c, const Fixture& f, const Row& r, bool showSnr)
{
    if (std::isnan(r.lead)) {
        std::printf("%-14s %-8s   (empty output)%43.0f\n", c.name.c_str(), who, r.speed);
        return;
    }
    std::printf("%-14s %-8s %6.0f %6.0f %7.1f %6.1f %6.0f ", c.name.c_str(), who, r.lead, r.trail, r.level, r.gain, r.clips);
    if (showSnr && c.speech && c.bits == 16 && c.humDb <= -200.0) std::printf("%6.1f %6.1f", r.snr, f.snrDb);
    else if (showSnr) std::printf("%6.1f %6s", r.snr, "-");
    else std::printf("%6s %6s", "-", "-");
    std::printf(" %8.0f", r.speed);
    if (std::isnan(r.memSpeed)) std::printf(" %8s", "-");
    else std::printf(" %8.0f", r.memSpeed);
    std::printf("%s\n", (r.lead < 0 || r.trail < 0) ? "  LOST SPEECH" : "");
}

} // namespace

int main()
{
    CSpeechFixture fx;
    if (!fx.Error().empty()) {
        std::fprintf(stderr, "levelcut bench: %s\n", fx.Error().c_str());
        return 1;
    }
    const std::vector<FixtureCase> cases = {
        {"quiet-22k", 22050, 16, -12, 45},
        {"quiet-44k", 44100, 16, -12, 45},
        {"quiet-11k", 11025, 16, -12, 45},
        {"noise30-22k", 22050, 16, -12, 30},
        {"noise20-44k", 44100, 16, -12, 20},
        {"noise15-44k", 44100, 16, -12, 15},
        {"noise10-22k", 22050, 16, -12, 10},
        {"dc-22k", 22050, 16, -12, 45, 3000.0},
        {"click-44k", 44100, 16, -12, 45, 0.0, 500.0},
        {"8bit-11k", 11025, 8, -12, 45},
        {"loud-44k", 44100, 16, -2, 40},
        {"hum-22k", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -30.0},
        {"hum-noise-44k", 44100, 16, -12, 20, 0.0, 0.0, 0.0, true, 800.0, 800.0, -30.0},
        {"short-lead-22k", 22050, 16, -12, 30, 0.0, 0.0, 0.0, true, 100.0, 100.0},
        {"whisper-22k", 22050, 16, -36, 35},
        {"noiseonly-22k", 22050, 16, -12, -45, 0.0, 0.0, 0.0, false},
    };

    std::printf("lead/trail: silence left before/after the true speech, ms (negative: speech cut)\n");
    std::printf("level: output RMS over the true speech, dBFS; speed: multiples of real time,\n"
                "on the file (read, process, write, rename) and for the processing alone in memory\n\n");
    std::printf("%-14s %-8s %6s %6s %7s %6s %6s %6s %6s %8s %8s\n", "case", "by", "lead", "trail", "level", "gain", "clips", "snr", "true", "speed", "in-mem");
    double ourTotal = 0, soxTotal = 0, audioTotal = 0, memTotal = 0;
    for (const FixtureCase& c : cases) {
        Fixture f = fx.Make(c);
        if (f.path.empty()) { std::fprintf(stderr, "cannot make %s\n", c.name.c_str()); return 1; }
        std::string soxIn = fx.Dir() + "/sox-in-" + c.name + ".wav";
        std::string soxOut = fx.Dir() + "/sox-out-" + c.name + ".wav";
        std::filesystem::copy_file(f.path, soxIn, std::filesystem::copy_options::overwrite_existing);

        // The input at 8 kHz, to align sox's output against.
        std::vector<float> in8;
        {
            std::vector<float> raw;
            unsigned rate = 0;
            CSpeechFixture::ReadSamples(f.path, raw, rate);
            CConditioner::Resample(raw, rate, in8);
        }

        // The processing alone, in memory.
        double memSpeed = 0.0;
        {
            CWaveFile wf;
            wf.OpenRead(f.path.c_str());
            std::vector<uint8_t> pcm(wf.BytesAvailable());
            wf.Read(pcm.data(), unsigned(pcm.size()));
            CLevelcut mem;
            std::vector<uint8_t> mu;
            double bestMem = 1e9;
            for (int run = 0; run < kRuns; ++run) {
                auto t0 = Clock::now();
                mem.Process(pcm.data(), pcm.size(), wf.BitsPerSample(), wf.SamplesPerSec(), mu);
                bestMem = std::min(bestMem, Seconds(t0, Clock::now()));
            }
            memTotal += bestMem;
            memSpeed = f.durationMs / 1000.0 / bestMem;
        }
        // Best of a few runs on fresh copies: the machine is shared.
        CLevelcut lc;
        std::string work = fx.Dir() + "/work.wav";
        double best = 1e9;
        for (int run = 0; run < kRuns; ++run) {
            std::filesystem::copy_file(f.path, work, std::filesystem::copy_options::overwrite_existing);
            auto t0 = Clock::now();
            int rc = lc.TrimFile(work.c_str());
            auto t1 = Clock::now();
            if (rc != 0) { std::fprintf(stderr, "%s: TrimFunc %d\n", c.name.c_str(), rc); return 1; }
            best = std::min(best, Seconds(t0, t1));
        }
        std::filesystem::rename(work, f.path);
        const CLevelcut::Report& rep = lc.LastReport();
        std::vector<float> out;
        unsigned outRate = 0;
        CSpeechFixture::ReadSamples(f.path, out, outRate);
        Row ours;
        ours.lead = f.speechStartMs - rep.keptStartMs;
        ours.trail = rep.keptEndMs - f.speechEndMs;
        ours.level = RmsDb(out, long((f.speechStartMs - rep.keptStartMs) * 8), long((f.speechEndMs - rep.keptStartMs) * 8));
        ours.gain = lc.Gain();
        ours.clips = lc.Clip();
        ours.snr = lc.Snr();
        ours.speed = f.durationMs / 1000.0 / best;
        ours.memSpeed = memSpeed;
        ourTotal += best;
        audioTotal += f.durationMs / 1000.0;
        Print("levelcut", c, f, ours, true);

        std::string cmd = "sox '" + soxIn + "' -r 8000 -e u-law '" + soxOut
                        + "' highpass 80 norm vad reverse vad reverse norm -1 >/dev/null 2>&1";
        int src = 0;
        double soxBest = 1e9;
        for (int run = 0; run < kRuns && src == 0; ++run) {
            auto s0 = Clock::now();
            src = std::system(cmd.c_str());
            soxBest = std::min(soxBest, Seconds(s0, Clock::now()));
        }
        Row sox;
        std::vector<float> sout;
        if (src == 0 && CSpeechFixture::ReadSamples(soxOut, sout, outRate) && !sout.empty()) {
            long lag = Align(in8, sout);
            double startMs = double(lag) / 8.0, endMs = double(lag + long(sout.size())) / 8.0;
            sox.lead = f.speechStartMs - startMs;
            sox.trail = endMs - f.speechEndMs;
            sox.level = RmsDb(sout, long((f.speechStartMs - startMs) * 8), long((f.speechEndMs - startMs) * 8));
            int clips = 0;
            for (float v : sout) if (std::fabs(v) >= 32124.0f) ++clips;
            sox.clips = clips;
        } else {
            sox.lead = sox.trail = NAN;
        }
        sox.speed = f.durationMs / 1000.0 / soxBest;
        soxTotal += soxBest;
        Print("sox", c, f, sox, false);
    }
    std::printf("\nall cases: levelcut %.0fx real time on files (%.0fx processing in memory), "
                "sox (as a process) %.0fx real time\n",
                audioTotal / ourTotal, audioTotal / memTotal, audioTotal / soxTotal);
    return 0;
}
