// ormid-cli append IMAGE SLOT WAV [--convert]: the slot's audio followed by
// the file's, as Append File does in the edit dialog; name and play count
// stay. A file not in the unit's format is converted only with --convert
// (or when --yes answers the question).
#include "CAudioEdit.h"
#include "CAudioImport.h"
#include "CliConvertLog.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"

#include <vector>

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
    return ChangeImage(args.image, report, [&](cMemoryMap& map) {
        const uint8_t slot = uint8_t(args.slot - 1);
        CAudioImport audio;
        if (audio.Examine(args.wav.c_str())) {
            if (!args.convert && !CliReport::AssumeYes()) {
                // The import's refusal, then how to take the file anyway.
                std::vector<uint8_t> ignored;
                cMemoryMap::ReadUnitWav(args.wav.c_str(), 0xFFFFFFFFu, ignored, report);
                SayConvertHint(audio);
                return false;
            }
            if ((!args.convert && !report.AskYesNo(audio.QuestionText())) ||
                !ConvertForImport(audio, map.GetRoomLeftWithout(slot), report))
                return false;
        }
        return WithScratchFolder(report, [&](const std::string& work) {
            return CAudioEdit::AppendFile(map, slot, audio.ImportPath(), args.wav, work, report);
        });
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
