// ormid-cli import IMAGE SLOT WAV [--name N] [--count C]: put a mu-law WAV file
// into a slot, as the Import WAV command does.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "CImageLock.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    std::string wav;
    std::string name;
    int count = 1;
} args;

int Run(bool nameGiven, bool countGiven)
{
    CliReport report;
    if (nameGiven && !CheckNameArgument(args.name, report))
        return kCliUsage;
    // Held from the read to the write, so that no other change is lost.
    CImageLock lock;
    if (!lock.Lock(args.image, CImageLock::kExclusive, report))
        return kCliFailed;
    cMemoryMap map;
    if (!map.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    const uint8_t slot = uint8_t(args.slot - 1);
    if (!map.ImportSlotWav(slot, args.wav.c_str(), report))
        return kCliFailed;
    StoreName(map, slot, nameGiven ? args.name : NameFromPath(args.wav), report);
    if (countGiven)
        map.SetPlayCount(slot, uint8_t(args.count));
    return map.WriteImageFile(args.image.c_str(), report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("import", "put a mu-law 8 kHz mono WAV file into a slot");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("WAV", args.wav, "WAV file to import")->required();
    CLI::Option* name = command->add_option("-n,--name", args.name, "message name (default: the file name, cut to 15 characters)");
    CLI::Option* count = AddCountOption(*command, args.count);
    command->callback([&exitCode, name, count] { exitCode = Run(name->count() > 0, count->count() > 0); });
}

CliRegistrar registrar("import", Setup);

}  // namespace
