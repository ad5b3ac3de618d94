// Import of audio files of other kinds, measured: conversion speed per file
// kind (seconds of audio per second of work, against the 500x aim and against
// plain decoding of the same file), and the longest pause of the panel's
// user-interface thread while it imports a 60-second 48 kHz file (against a
// 50 ms limit), and what running the decoders in their helper process costs
// against decoding in this process, and what the helper's sandbox adds to an
// import of a 60-second file (against a 10 ms limit). Run by hand:
// build/bench/bench_import [runs]
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <sndfile.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "CAudioConverter.h"
#include "CAudioImport.h"
#include "CDecoderProcess.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "PanelDoubles.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// Speech-like test audio: a few tones and some noise, so that no decoder
// takes a short cut.
bool MakeFile(const std::string& path, const std::string& format, int seconds)
{
    const std::string command = "sox -q -D -n " + format + " '" + path + "' synth " + std::to_string(seconds) +
                                " sine 300 sine 1200 pinknoise vol 0.3 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// Plain decoding of the whole file to floats, the floor under any conversion.
double DecodeOnly(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return 0;
    std::vector<float> block(size_t(16384) * size_t(info.channels));
    const auto t0 = Clock::now();
    while (sf_readf_float(f, block.data(), 16384) > 0) { }
    const auto t1 = Clock::now();
    sf_close(f);
    return Seconds(t0, t1);
}

// The same conversion without the decoder helper process: what the helper
// costs is the ratio to this.
double InProcess(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    CAudioConverter converter;
    std::vector<uint8_t> out;
    const auto t0 = Clock::now();
    CAudioFileInfo info;
    CAudioConverter::ProbeHere(fd, info);
    ::lseek(fd, 0, SEEK_SET);
    converter.ConvertHere(fd, CAudioImport::kWholeFile, out);
    const auto t1 = Clock::now();
    ::close(fd);
    return Seconds(t0, t1);
}

// Probe and conversion of a short file, through the helper and in this
// process, alternately: the fixed cost of starting the helper twice.
void ShortFile(const QString& folder, int runs)
{
    const std::string path = (folder + "/short.wav").toStdString();
    if (!MakeFile(path, "-r 44100 -c 2 -b 16 -e signed-integer", 2))
        return;
    double helper = 1e9, here = 1e9;
    for (int r = 0; r < runs * 5; ++r) {
        CAudioConverter converter;
        CAudioFileInfo info;
        std::vector<uint8_t> out;
        const auto t0 = Clock::now();
        CAudioConverter::Probe(path.c_str(), info);
        converter.Convert(path.c_str(), CAudioImport::kWholeFile, out);
        helper = std::min(helper, Seconds(t0, Clock::now()));
        here = std::min(here, InProcess(path));
    }
    std::printf("\nA 2 s 44.1 kHz stereo file, probe and convert, best of %d: helper %.1f ms, in-process %.1f ms "
                "(%.2fx)\n",
                runs * 5, helper * 1000, here * 1000, helper / here);
}

// Processor time of the helpers this process has reaped so far, in seconds:
// on a busy machine a steadier measure of what the sandbox adds than the
// time on the clock.
double ChildrenCpu()
{
    struct rusage usage { };
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An import's two helper runs (probe, then conversion) of a 60 s file, with
// the sandbox and with a helper built without it, alternately; medians of
// the time on the clock and of the helpers' processor time.
void SandboxCost(const QString& folder, int runs)
{
    struct Kind {
        const char* label;
        const char* file;
        const char* format;
    } kinds[] = {
        {"WAV 44.1 kHz stereo 16-bit", "s.wav", "-r 44100 -c 2 -b 16 -e signed-integer"},
        {"FLAC 44.1 kHz stereo", "s.flac", "-r 44100 -c 2 -b 16"},
        {"MP3 44.1 kHz stereo", "s.mp3", "-r 44100 -c 2"},
    };
    const int rounds = std::max(9, runs * 5);
    std::printf("\nThe sandbox's cost per import of a 60 s file, median of %d (limit: 10 ms added)\n", rounds);
    std::printf("  %-28s %11s %11s %9s %7s %13s %13s %9s\n", "file", "sandboxed", "without", "added", "ratio",
                "cpu sandboxed", "cpu without", "cpu added");
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    // Clock and processor time of one import.
    auto import = [](const std::string& path, std::vector<double>& wall, std::vector<double>& cpu) {
        CAudioConverter converter;
        CAudioFileInfo info;
        std::vector<uint8_t> out;
        const double cpu0 = ChildrenCpu();
        const auto t0 = Clock::now();
        CAudioConverter::Probe(path.c_str(), info);
        converter.Convert(path.c_str(), CAudioImport::kWholeFile, out);
        wall.push_back(Seconds(t0, Clock::now()));
        cpu.push_back(ChildrenCpu() - cpu0);
    };
    for (const Kind& k : kinds) {
        const std::string path = (folder + '/' + k.file).toStdString();
        if (!MakeFile(path, k.format, 60)) {
            std::printf("  %-28s (sox cannot write this kind here)\n", k.label);
            continue;
        }
        std::vector<double> walled, unwalled, walledCpu, unwalledCpu;
        for (int r = 0; r < rounds; ++r) {
            CDecoderProcess::Limits limits;
            CDecoderProcess::SetLimits(limits);
            import(path, walled, walledCpu);
            limits.helper = UNWALLED_HELPER;
            CDecoderProcess::SetLimits(limits);
            import(path, unwalled, unwalledCpu);
        }
        CDecoderProcess::SetLimits(CDecoderProcess::Limits());
        const double a = median(walled), b = median(unwalled);
        const double ca = median(walledCpu), cb = median(unwalledCpu);
        std::printf("  %-28s %8.1f ms %8.1f ms %6.1f ms %6.3fx %10.1f ms %10.1f ms %6.1f ms%s\n", k.label, a * 1000,
                    b * 1000, (a - b) * 1000, a / b, ca * 1000, cb * 1000, (ca - cb) * 1000,
                    ca - cb > 0.010 ? "  OVER" : "");
    }
}

void ConversionSpeed(const QString& folder, int runs)
{
    struct Kind {
        const char* label;
        const char* file;
        const char* format;
    } kinds[] = {
        {"WAV 44.1 kHz stereo 16-bit", "a.wav", "-r 44100 -c 2 -b 16 -e signed-integer"},
        {"WAV 48 kHz mono float", "b.wav", "-r 48000 -c 1 -b 32 -e floating-point"},
        {"WAV 11025 Hz 8-bit unsigned", "c.wav", "-r 11025 -c 1 -b 8 -e unsigned-integer"},
        {"FLAC 44.1 kHz stereo", "d.flac", "-r 44100 -c 2 -b 16"},
        {"Ogg Vorbis 48 kHz stereo", "e.ogg", "-r 48000 -c 2"},
        {"MP3 44.1 kHz stereo", "f.mp3", "-r 44100 -c 2"},
    };
    const int seconds = 60;
    std::printf("Conversion speed, %d s of audio each, best of %d runs (aim: 500x real time)\n", seconds, runs);
    std::printf("  %-30s %12s %12s %14s %14s\n", "file", "convert", "x real time", "x decode only", "x in-process");
    for (const Kind& k : kinds) {
        const std::string path = (folder + '/' + k.file).toStdString();
        if (!MakeFile(path, k.format, seconds)) {
            std::printf("  %-30s (sox cannot write this kind here)\n", k.label);
            continue;
        }
        double best = 1e9, decode = 1e9, here = 1e9;
        for (int r = 0; r < runs; ++r) {
            CAudioConverter converter;
            std::vector<uint8_t> out;
            const auto t0 = Clock::now();
            converter.Convert(path.c_str(), CAudioImport::kWholeFile, out);
            best = std::min(best, Seconds(t0, Clock::now()));
            decode = std::min(decode, DecodeOnly(path));
            here = std::min(here, InProcess(path));
        }
        std::printf("  %-30s %9.1f ms %11.0fx %13.2fx %13.2fx\n", k.label, best * 1000, seconds / best, best / decode,
                    best / here);
    }
}

// Ticks a timer on the user-interface thread every millisecond while the
// panel imports; the longest gap between ticks is the longest stall.
void GuiStall(const QString& folder, int runs)
{
    const std::string path = (folder + "/minute.wav").toStdString();
    if (!MakeFile(path, "-r 48000 -c 2 -b 16 -e signed-integer", 60)) {
        std::printf("sox could not make the 60-second file\n");
        return;
    }
    std::printf("\nPanel Import WAV of a 60 s 48 kHz stereo file (limit: 50 ms without events)\n");
    for (int r = 0; r < runs; ++r) {
        CAnsweredFileDialogs dialogs;
        CRecordedReport report;
        CSilentSonvox sonvox;
        CPanelServices services{&dialogs, &report, &sonvox};
        services.session.settleMs = 0;
        CTXDoruvevAzadDlg panel(*TheApp(), services);
        panel.OnInitDialog();
        panel.show();
        for (uint8_t s = 0; s < 8; ++s)
            TheApp()->m_memoryMap.ClearSlot(s);
        panel.SelectRow(r % 8);
        dialogs.answers = {QString::fromStdString(path)};
        report.answers = {true};

        Clock::time_point last = Clock::now();
        double worst = 0;
        QTimer tick;
        tick.setInterval(1);
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            worst = std::max(worst, Seconds(last, now));
            last = now;
        });
        tick.start();
        const auto t0 = Clock::now();
        bool done = false;
        double total = 0;
        QTimer::singleShot(0, [&] {
            // The command itself runs inside this tick; time spent in it
            // without returning to an event loop counts as a stall.
            last = Clock::now();
            panel.OnImportWav();
            const Clock::time_point now = Clock::now();
            worst = std::max(worst, Seconds(last, now));
            total = Seconds(t0, now);
            done = true;
        });
        while (!done)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        tick.stop();
        std::printf("  run %d: import %.0f ms, slot %u samples, longest stall %.1f ms (%.2f of the limit)%s\n", r + 1,
                    total * 1000, TheApp()->m_memoryMap.GetLength(uint8_t(r % 8)), worst * 1000, worst / 0.050,
                    report.messages.empty() ? "" : "  [message shown]");
        panel.hide();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir work, config, runtime;
    qputenv("ORMID_WORKING_FOLDER", QByteArray(work.path().toLocal8Bit() + '/'));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CTXDoruvevAzadApp app(argc, argv);
    std::printf("load average at start: %s (%ld cores)\n", LoadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    ConversionSpeed(work.path(), runs);
    ShortFile(work.path(), runs);
    SandboxCost(work.path(), runs);
    GuiStall(work.path(), runs);
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    return 0;
}
