// ormid-cli export IMAGE SLOT WAV: write a slot as a mu-law WAV file.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    std::string wav;
} args;

int Run()
{
    CliReport report;
    cMemoryMap map;
    if (!map.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    return map.ExportSlotWav(uint8_t(args.slot - 1), args.wav.c_str(), report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("export", "write a slot as a mu-law WAV file");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("WAV", args.wav, "WAV file to write")->required();
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("export", Setup);

}  // namespace
