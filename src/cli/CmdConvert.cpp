// ormid-cli convert IN OUT.wav: write an audio file of any readable kind as a
// WAV file in the unit's format (8 kHz mu-law, mono, 44-byte header), for
// those who keep their messages as files.
#include <cstdio>
#include <vector>

#include <unistd.h>

#include "CAudioConverter.h"
#include "CAudioImport.h"
#include "CliConvertLog.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliStdio.h"
#include "CliReport.h"
#include "SafeFile.h"
#include "cMemoryMap.h"

namespace {

constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;

struct {
    std::string in;
    std::string out;
    bool force = false;
} args;

int Run()
{
    CliReport report;
    std::string in = args.in, out = args.out;
    if (!TheStdio().TakeInput(in, report))
        return kCliFailed;
    // The input must be there to be read; the output is replaced only when
    // allowed, and only a regular file (never a FIFO, device or folder).
    int openError = 0;
    const int fd = OpenRegularFileForReading(in.c_str(), openError);
    if (fd < 0) {
        report.ShowFileError("", args.in, openError);
        return kCliFailed;
    }
    ::close(fd);
    if (CliStdio::Is(out) ? !TheStdio().TakeOutput(out, report) : !MayReplaceRegular(out, args.force, report))
        return kCliFailed;
    CAudioFileInfo info;
    if (!CAudioConverter::Probe(in.c_str(), info)) {
        std::fprintf(stderr, "ormid-cli: %s: not an audio file that can be read\n", args.in.c_str());
        return kCliFailed;
    }
    // A header may claim any rate: at 1 Hz a few kilobytes would ask for
    // millions of samples.
    if (info.sampleRate < kLowestRate || info.sampleRate > kHighestRate) {
        std::fprintf(stderr, "ormid-cli: %s: a sample rate of %d Hz cannot be converted (only %d to %d Hz)\n",
                     args.in.c_str(), info.sampleRate, kLowestRate, kHighestRate);
        return kCliFailed;
    }
    // No more than a unit could ever hold: what an empty image takes in.
    const uint32_t cap = cMemoryMap::kImageSize - cMemoryMap::kAudioStart;
    CAudioConverter converter;
    std::vector<uint8_t> muLaw;
    if (!converter.Convert(in.c_str(), cap, muLaw)) {
        std::fprintf(stderr, "ormid-cli: %s: %s\n", args.in.c_str(), converter.ErrorText().c_str());
        return kCliFailed;
    }
    if (converter.Truncated()) {
        std::fprintf(stderr, "ormid-cli: %s: longer than a unit holds (%u seconds at most)\n", args.in.c_str(),
                     cap / cMemoryMap::kBytesPerSecond);
        return kCliFailed;
    }
    LogConversion(converter);
    std::string error;
    if (!CAudioImport::SaveUnitWav(out.c_str(), muLaw, error)) {
        std::fprintf(stderr, "ormid-cli: %s: %s\n", args.out.c_str(), error.c_str());
        return kCliFailed;
    }
    return TheStdio().SendOutput(report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand(
        "convert", "write an audio file (WAV, FLAC, Ogg, Opus, MP3) as an 8 kHz mu-law mono WAV file");
    command->add_option("IN", args.in, "audio file to read")->required();
    command->add_option("OUT", args.out, "WAV file to write")->required();
    command->add_flag("-f,--force", args.force, "replace an existing file");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("convert", Setup);

}  // namespace
