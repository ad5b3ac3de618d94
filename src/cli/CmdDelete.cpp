// ormid-cli delete IMAGE SLOT: delete a message; those stored after it move down.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"

namespace {

struct {
    std::string image;
    int slot = 0;
} args;

int Run()
{
    CliReport report;
    return ChangeImage(args.image, report,
                       [](CImageCommands& commands) { return commands.Delete(uint8_t(args.slot - 1)).done; });
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("delete", "delete the message in a slot");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("delete", Setup);

}  // namespace
