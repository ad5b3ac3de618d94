// ormid-cli import IMAGE SLOT FILE [--name N] [--count C] [--convert]: put an
// audio file into a slot, as the Import WAV command does. A file not in the
// unit's format is converted only with --convert.
#include "CAudioImport.h"
#include "CliConvertLog.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    std::string wav;
    std::string name;
    int count = 1;
    bool convert = false;
} args;

int Run(bool nameGiven, bool countGiven)
{
    CliReport report;
    if (nameGiven && !CheckNameArgument(args.name, report))
        return kCliUsage;
    return ChangeImage(args.image, report, [&](cMemoryMap& map) {
        const uint8_t slot = uint8_t(args.slot - 1);
        CAudioImport audio;
        const bool offer = audio.Examine(args.wav.c_str());
        if (offer && !args.convert) {
            // Today's refusal, then how to take the file anyway.
            if (!map.ImportSlotWav(slot, args.wav.c_str(), report)) {
                SayConvertHint(audio);
                return false;
            }
        } else if ((offer && !ConvertForImport(audio, map.GetRoomLeft(), report)) ||
                   !audio.ImportIntoSlot(map, slot, report)) {
            return false;
        }
        StoreName(map, slot, nameGiven ? args.name : NameFromPath(args.wav), report);
        if (countGiven)
            map.SetPlayCount(slot, uint8_t(args.count));
        return true;
    });
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("import", "put an audio file into a slot (8 kHz mu-law mono WAV, or any with --convert)");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("WAV", args.wav, "audio file to import")->required();
    command->add_flag("--convert", args.convert,
                      "convert a file of another format (WAV, FLAC, Ogg, Opus, MP3) to 8 kHz mu-law mono");
    CLI::Option* name = command->add_option("-n,--name", args.name, "message name (default: the file name, cut to 15 characters)");
    CLI::Option* count = AddCountOption(*command, args.count);
    command->callback([&exitCode, name, count] { exitCode = Run(name->count() > 0, count->count() > 0); });
}

CliRegistrar registrar("import", Setup);

}  // namespace
