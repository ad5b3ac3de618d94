// ormid-cli export IMAGE SLOT WAV: write a slot as a mu-law WAV file.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliStdio.h"
#include "CliReport.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    std::string wav;
    bool force = false;
} args;

int Run()
{
    CliReport report;
    if (!IsNotTheImage(args.image, args.wav, "WAV", report))
        return kCliFailed;
    std::string wav = args.wav;
    if (CliStdio::Is(wav) ? !TheStdio().TakeOutput(wav, report) : !MayReplace(wav, args.force, report))
        return kCliFailed;
    cMemoryMap map;
    if (!ReadImageShared(args.image, map, report))
        return kCliFailed;
    return CImageCommands(map, report).Export(uint8_t(args.slot - 1), wav) && TheStdio().SendOutput(report)
               ? kCliOk
               : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("export", "write a slot as a mu-law WAV file");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("WAV", args.wav, "WAV file to write")->required();
    command->add_flag("-f,--force", args.force, "replace an existing file");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("export", Setup);

}  // namespace
