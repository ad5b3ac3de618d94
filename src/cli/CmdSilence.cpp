// ormid-cli silence IMAGE SLOT MS: the slot's audio becomes MS milliseconds
// of silence, as Make Silence does in the edit dialog; name and play count
// stay.
#include "CAudioEdit.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    unsigned ms = 0;
} args;

int Run()
{
    CliReport report;
    return ChangeImage(args.image, report,
                       [](CImageCommands& commands) { return commands.Silence(uint8_t(args.slot - 1), args.ms).done; });
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("silence", "make a slot's audio a stretch of silence (at most 1000 ms)");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("MS", args.ms, "milliseconds of silence, 0-1000 (and what fits in the image)")
        ->required()
        ->check(CLI::Range(0u, CAudioEdit::kMaxSilenceMs));
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("silence", Setup);

}  // namespace
