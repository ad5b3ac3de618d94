// ormid-cli set IMAGE SLOT [--name N] [--count C]: rename a message or change
// how often it plays.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    std::string name;
    int count = 1;
} args;

int Run(bool nameGiven, bool countGiven)
{
    CliReport report;
    if (!nameGiven && !countGiven) {
        report.ShowMessage("set: give --name, --count or both.");
        return kCliUsage;
    }
    if (nameGiven && !CheckNameArgument(args.name, report))
        return kCliUsage;
    return ChangeImage(args.image, report, [&](CImageCommands& commands) {
        return commands
            .Set(uint8_t(args.slot - 1), nameGiven ? &args.name : nullptr, countGiven ? &args.count : nullptr)
            .done;
    });
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("set", "change the name or play count of a slot");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    CLI::Option* name = command->add_option(
        "-n,--name", args.name, "message name, at most 15 characters are kept; characters outside Latin-1 become '?'");
    CLI::Option* count = AddCountOption(*command, args.count);
    command->callback([&exitCode, name, count] { exitCode = Run(name->count() > 0, count->count() > 0); });
}

CliRegistrar registrar("set", Setup);

}  // namespace
