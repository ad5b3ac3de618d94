// ormid-cli import IMAGE SLOT FILE [--name N] [--count C] [--convert]: put an
// audio file into a slot, as the Import WAV command does. A file not in the
// unit's format is converted only with --convert.
#include "CliConvertLog.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliStdio.h"
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
    std::string wav = args.wav;
    if (!IsNamedImage(args.image, report))
        return kCliUsage;
    if (!TheStdio().TakeInput(wav, report))
        return kCliFailed;
    return ChangeImage(args.image, report, [&](CImageCommands& commands) {
        CAudioFileRequest request;
        request.slot = uint8_t(args.slot - 1);
        request.path = wav;
        request.convert = args.convert ? ConvertChoice::kAlways : ConvertChoice::kNever;
        request.name = nameGiven ? &args.name : nullptr;
        request.count = countGiven ? &args.count : nullptr;
        const CCommandResult result = commands.Import(request);
        if (!result.convertQuestion.empty())
            SayConvertHint(result.convertQuestion);
        else if (result.done)
            SayClamped(result.clampedSamples);
        return result.done;
    });
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command =
        app.add_subcommand("import", "put an audio file into a slot (8 kHz mu-law mono WAV, or any with --convert)");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("WAV", args.wav, "audio file to import")->required();
    command->add_flag("--convert", args.convert,
                      "convert a file of another format (WAV, FLAC, Ogg, Opus, MP3) to 8 kHz mu-law mono");
    CLI::Option* name =
        command->add_option("-n,--name", args.name, "message name (default: the file name, cut to 15 characters)");
    CLI::Option* count = AddCountOption(*command, args.count);
    command->callback([&exitCode, name, count] { exitCode = Run(name->count() > 0, count->count() > 0); });
}

CliRegistrar registrar("import", Setup);

}  // namespace
