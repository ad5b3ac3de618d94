// Runs the post-record processing over synthetic recordings with known
// truth, at several threshold factors, and prints beside it what the sox
// command-line chain makes of the same files. Not a test: a table for people.
#include "CConditioner.h"
#include "CLevelcut.h"
#include "CSpeechFixture.h"
#include "CWaveFile.h"
#include "levelcut.h"

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
constexpr int kRuns = 5;
const float kFactors[] = {0.0f, 1.0f, 2.0f, 3.0f, 5.0f};
constexpr double kTargetDb = -21.0;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double RmsDb(const std::vector<float>& y, long b, long e)
{
    b = std::max(0L, b);
    e = std::min(long(y.size()), e);
    if (e <= b)
        return -200.0;
    double s = 0.0;
    for (long i = b; i < e; ++i)
        s += double(y[size_t(i)]) * y[size_t(i)];
    return 10.0 * std::log10(s / double(e - b) / (32768.0 * 32768.0) + 1e-20);
}

// Where an 8 kHz output came from in the 8 kHz version of its input: the lag
// with the best normalised correlation.
long Align(const std::vector<float>& in, const std::vector<float>& out)
{
    if (out.empty() || in.size() < out.size())
        return 0;
    long best = 0;
    double bestScore = -1e300;
    double eo = 0.0;
    for (float v : out)
        eo += double(v) * v;
    for (long lag = 0; lag + long(out.size()) <= long(in.size()); ++lag) {
        double dot = 0.0, ei = 0.0;
        const float* p = in.data() + lag;
        for (size_t i = 0; i < out.size(); i += 2) {
            dot += double(p[i]) * out[i];
            ei += double(p[i]) * p[i];
        }
        double score = dot / std::sqrt(ei * eo + 1e-9);
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

struct Row {
    bool empty = false;
    double startMs = 0, endMs = 0;  // what the output holds, in input time
    double level = 0, gain = NAN, snr = NAN;
};

struct Tally {
    int rows = 0, lost = 0, edgeMisses = 0, edgeRows = 0;
    double levelMin = 1e9, levelMax = -1e9;
};

// What the case is for the aims: whether it has speech, and how much
// silence it offers before and after it (after the initial trim).
bool HasSpeech(const FixtureCase& c)
{
    return c.speech;
}

void Judge(const FixtureCase& c, const Fixture& f, const Row& r, bool edges, Tally& t, std::string& note)
{
    ++t.rows;
    if (r.empty) {
        if (HasSpeech(c)) {
            ++t.lost;
            note = "  LOST SPEECH";
        }
        return;
    }
    if (!HasSpeech(c))
        return;
    const double lead = f.speechStartMs - r.startMs, trail = r.endMs - f.speechEndMs;
    if (lead < -0.2 || trail < -0.2) {
        ++t.lost;
        note = "  LOST SPEECH";
    }
    if (c.speechMs == 0.0) {  // whole sentences; not 100 ms of a word's start
        t.levelMin = std::min(t.levelMin, r.level);
        t.levelMax = std::max(t.levelMax, r.level);
    }
    if (!edges)
        return;
    const double haveLead = f.speechStartMs - LEVELCUT_DEFAULT_INITIAL_TRIM / 8.0,
                 haveTrail = f.durationMs - f.speechEndMs;
    bool miss = false;
    if (haveLead >= 50.0 && (lead < 50.0 || lead > 250.0))
        miss = true;
    if (haveTrail >= 50.0 && (trail < 50.0 || trail > 250.0))
        miss = true;
    if (haveLead >= 50.0 || haveTrail >= 50.0)
        ++t.edgeRows;
    if (miss) {
        ++t.edgeMisses;
        if (note.empty())
            note = "  edge";
    }
}

void Print(const std::string& name, const std::string& who, const FixtureCase& c, const Fixture& f, const Row& r,
           const std::string& note, double speed, double memSpeed)
{
    std::printf("%-16s %-5s", name.c_str(), who.c_str());
    if (r.empty) {
        std::printf(" %5s %6s %6s %7s %6s %6s", "-", "-", "-", "-", "-", "-");
    } else {
        const double lead = f.speechStartMs - r.startMs, trail = r.endMs - f.speechEndMs;
        const bool kept = lead >= -0.2 && trail >= -0.2;
        std::printf(" %5s", HasSpeech(c) ? (kept ? "yes" : "NO") : "-");
        if (HasSpeech(c))
            std::printf(" %6.0f %6.0f %7.1f", lead, trail, r.level);
        else
            std::printf(" %6s %6s %7s", "-", "-", "-");
        if (std::isnan(r.gain))
            std::printf(" %6s %6s", "-", "-");
        else
            std::printf(" %6.1f %6.1f", r.gain, r.snr);
    }
    if (speed > 0)
        std::printf(" %7.0f", speed);
    else
        std::printf(" %7s", "");
    if (memSpeed > 0)
        std::printf(" %7.0f", memSpeed);
    else
        std::printf(" %7s", "");
    std::printf("%s\n", note.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    CSpeechFixture fx;
    if (!fx.Error().empty()) {
        std::fprintf(stderr, "levelcut bench: %s\n", fx.Error().c_str());
        return 1;
    }
    // name, rate, bits, peak dBFS, SNR dB, dc, click before/after, speech,
    // lead, trail, hum dBFS, hum Hz, second sentence dB, pause, speech ms
    std::vector<FixtureCase> cases = {
        {"quiet-22k", 22050, 16, -12, 45},
        {"quiet-44k", 44100, 16, -12, 45},
        {"quiet-11k", 11025, 16, -12, 45},
        {"noise20-44k", 44100, 16, -12, 20},
        {"noise10-22k", 22050, 16, -12, 10},
        {"dc-22k", 22050, 16, -12, 45, 3000.0},
        {"click-44k", 44100, 16, -12, 45, 0.0, 500.0},
        {"8bit-11k", 11025, 8, -12, 45},
        {"loud-44k", 44100, 16, -2, 40},
        {"whisper-22k", 22050, 16, -36, 35},
        {"zeros-22k", 22050, 16, -12, 200, 0.0, 0.0, 0.0, true, 1000.0, 1400.0},
        {"second-20dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -200.0, 50.0, -20.0},
        {"second-30dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -200.0, 50.0, -30.0},
        {"second-40dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -200.0, 50.0, -40.0},
        {"hum50-30dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -30.0, 50.3},
        {"hum50-20dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -20.0, 50.3},
        {"hum50-10dB", 44100, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -10.0, 50.3},
        {"hum60-30dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -30.0, 59.7},
        {"hum60-20dB", 44100, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -20.0, 59.7},
        {"hum60-10dB", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 800.0, 800.0, -10.0, 59.7},
        {"hum60-noise20", 44100, 16, -12, 20, 0.0, 0.0, 0.0, true, 800.0, 800.0, -20.0, 60.5},
        {"hum-alone", 22050, 16, -12, -70, 0.0, 0.0, 0.0, false, 800.0, 800.0, -20.0, 50.0},
        {"noise-alone", 22050, 16, -12, -45, 0.0, 0.0, 0.0, false},
        {"short-0.2s", 22050, 16, -12, 45, 0.0, 0.0, 0.0, true, 75.0, 25.0, -200.0, 50.0, -200.0, 800.0, 100.0},
    };
    // Taps (5 ms square clicks at -1 dBFS) and rumble (brown noise under
    // 150 Hz, dBFS RMS), made by sox.
    auto tap = [](const char* name, unsigned rate, double peakDb, double before, double after) {
        FixtureCase c{name, rate, 16, peakDb, 45};
        c.tapBeforeMs = before;
        c.tapAfterMs = after;
        return c;
    };
    auto rumble = [](const char* name, unsigned rate, double db, bool speech) {
        FixtureCase c{name, rate, 16, -12, speech ? 45.0 : -60.0};
        c.speech = speech;
        c.rumbleDb = db;
        return c;
    };
    cases.push_back(tap("tap-150-before", 22050, -12, 150, 0));
    cases.push_back(tap("tap-300-before", 44100, -12, 300, 0));
    cases.push_back(tap("tap-300-after", 22050, -12, 0, 300));
    cases.push_back(tap("taps-both", 11025, -12, 200, 250));
    cases.push_back(tap("tap-soft-speech", 22050, -30, 250, 0));
    cases.push_back(rumble("rumble-30dB", 22050, -30, true));
    cases.push_back(rumble("rumble-20dB", 44100, -20, true));
    cases.push_back(rumble("rumble-alone", 22050, -20, false));
    FixtureCase both = rumble("rumble-tap", 22050, -25, true);
    both.tapBeforeMs = 250;
    cases.push_back(both);

    std::printf("kept: every sample of the true speech is in the output; lead/trail: silence left\n"
                "before/after it, ms (negative: speech cut); level: output RMS over the (first) sentence,\n"
                "dBFS; gain and SNR as reported; speed: multiples of real time on the file (read,\n"
                "process, write, rename) and for the processing alone in memory, at factor 1.\n"
                "Rows f0..f5: levelcut at that threshold factor; sox: the sox chain\n"
                "  highpass 80 norm vad reverse vad reverse norm -1\n"
                "short-0.2s is a 0.2 s capture holding the first 100 ms of the sentence.\n\n");
    std::printf("%-16s %-5s %5s %6s %6s %7s %6s %6s %7s %7s\n", "case", "by", "kept", "lead", "trail", "level", "gain",
                "snr", "file", "memory");
    Tally ours, sox;
    double fileTotal = 0, memTotal = 0, soxTotal = 0, audioTotal = 0;
    // An argument picks the cases whose name holds it.
    for (const FixtureCase& c : cases) {
        if (argc > 1 && c.name.find(argv[1]) == std::string::npos)
            continue;
        Fixture f = fx.Make(c);
        if (f.path.empty()) {
            std::fprintf(stderr, "cannot make %s\n", c.name.c_str());
            return 1;
        }
        const std::string original = fx.Dir() + "/orig-" + c.name + ".wav";
        std::filesystem::copy_file(f.path, original, std::filesystem::copy_options::overwrite_existing);
        const double seconds = f.durationMs / 1000.0;
        audioTotal += seconds;

        // The processing alone, in memory, at factor 1.
        double memSpeed = 0.0;
        {
            CWaveFile wf;
            wf.OpenRead(original.c_str());
            std::vector<uint8_t> pcm(wf.BytesAvailable());
            wf.Read(pcm.data(), unsigned(pcm.size()));
            CLevelcut mem;
            std::vector<uint8_t> mu;
            double best = 1e9;
            for (int run = 0; run < kRuns; ++run) {
                auto t0 = Clock::now();
                mem.Process(pcm.data(), pcm.size(), wf.BitsPerSample(), wf.SamplesPerSec(), mu);
                best = std::min(best, Seconds(t0, Clock::now()));
            }
            memTotal += best;
            memSpeed = seconds / best;
        }

        const std::string work = fx.Dir() + "/work.wav";
        for (float factor : kFactors) {
            CLevelcut lc;
            lc.SetThreshFudge(factor);
            double best = 1e9;
            int rc = 0;
            for (int run = 0; run < (factor == 1.0f ? kRuns : 1); ++run) {
                std::filesystem::copy_file(original, work, std::filesystem::copy_options::overwrite_existing);
                auto t0 = Clock::now();
                rc = lc.TrimFile(work.c_str());
                best = std::min(best, Seconds(t0, Clock::now()));
            }
            Row r;
            if (rc != 0) {
                std::fprintf(stderr, "%s: TrimFunc %d\n", c.name.c_str(), rc);
                r.empty = true;
            } else {
                const CLevelcut::Report& rep = lc.LastReport();
                std::vector<float> out;
                unsigned outRate = 0;
                CSpeechFixture::ReadSamples(work, out, outRate);
                r.empty = out.empty();
                r.startMs = rep.keptStartMs;
                r.endMs = rep.keptEndMs;
                r.level = RmsDb(out, long((f.speechStartMs - r.startMs) * 8), long((f.firstEndMs - r.startMs) * 8));
                r.gain = lc.Gain();
                r.snr = lc.Snr();
            }
            if (factor == 1.0f)
                fileTotal += best;
            std::string note;
            Judge(c, f, r, factor > 0.0f, ours, note);
            char who[8];
            std::snprintf(who, sizeof who, "f%.0f", double(factor));
            Print(c.name, who, c, f, r, note, factor == 1.0f ? seconds / best : 0.0, factor == 1.0f ? memSpeed : 0.0);
        }

        // sox, on a copy of the same file, aligned on the input by correlation.
        std::vector<float> in8;
        {
            std::vector<float> raw;
            unsigned rate = 0;
            CSpeechFixture::ReadSamples(original, raw, rate);
            CConditioner::Resample(raw, rate, in8);
        }
        const std::string soxOut = fx.Dir() + "/sox-out.wav";
        const std::string cmd = "sox '" + original + "' -r 8000 -e u-law '" + soxOut +
                                "' highpass 80 norm vad reverse vad reverse norm -1 >/dev/null 2>&1";
        int src = 0;
        double soxBest = 1e9;
        for (int run = 0; run < kRuns && src == 0; ++run) {
            auto s0 = Clock::now();
            src = std::system(cmd.c_str());
            soxBest = std::min(soxBest, Seconds(s0, Clock::now()));
        }
        soxTotal += soxBest;
        Row r;
        std::vector<float> sout;
        unsigned outRate = 0;
        if (src == 0 && CSpeechFixture::ReadSamples(soxOut, sout, outRate) && !sout.empty()) {
            const long lag = Align(in8, sout);
            r.startMs = double(lag) / 8.0;
            r.endMs = double(lag + long(sout.size())) / 8.0;
            r.level = RmsDb(sout, long((f.speechStartMs - r.startMs) * 8), long((f.firstEndMs - r.startMs) * 8));
        } else {
            r.empty = true;
        }
        std::string note;
        Judge(c, f, r, true, sox, note);
        Print(c.name, "sox", c, f, r, note, seconds / soxBest, 0.0);
    }

    auto summary = [](const char* who, const Tally& t) {
        std::printf(
            "%-8s speech lost in %d of %d runs; lead or trail outside 50-250 ms in %d of %d runs "
            "(factor 0 left out);\n         level over the whole-sentence cases %.1f to %.1f dBFS (aim %.0f +-1.5)\n",
            who, t.lost, t.rows, t.edgeMisses, t.edgeRows, t.levelMin, t.levelMax, kTargetDb);
    };
    std::printf("\n");
    summary("levelcut", ours);
    summary("sox", sox);
    std::printf("speed at factor 1: levelcut %.0fx real time on files, %.0fx processing in memory; "
                "sox (as a process) %.0fx\n",
                audioTotal / fileTotal, audioTotal / memTotal, audioTotal / soxTotal);
    return 0;
}
