// ormid-cli append IMAGE SLOT WAV [--convert]: the slot's audio followed by
// the file's, as Append File does in the edit dialog; name and play count
// stay. A file not in the unit's format is converted only with --convert
// (or when --yes answers the question).
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
    bool convert = false;
} args;

int Run()
{
    CliReport report;
    std::string wav = args.wav;
    if (!IsNamedImage(args.image, report))
        return kCliUsage;
    if (!TheStdio().TakeInput(wav, report))
        return kCliFailed;
    return ChangeImage(args.image, report, [&](CImageCommands& commands) {
        CAudioFileRequest request;
        request.slot = uint8_t(args.slot - 1);
        request.path = wav;
        // --yes answers the question that the panel would ask.
        request.convert = args.convert             ? ConvertChoice::kAlways
                          : CliReport::AssumeYes() ? ConvertChoice::kAsk
                                                   : ConvertChoice::kNever;
        const CCommandResult result = commands.Append(request);
        if (!result.convertQuestion.empty())
            SayConvertHint(result.convertQuestion);
        else if (result.done)
            SayClamped(result.clampedSamples);
        return result.done;
    });
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("append", "add an audio file to the end of a slot's audio");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("WAV", args.wav, "audio file to append")->required();
    command->add_flag("--convert", args.convert,
                      "convert a file of another format (WAV, FLAC, Ogg, Opus, MP3) to 8 kHz mu-law mono");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("append", Setup);

}  // namespace
