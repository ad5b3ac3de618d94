// ormid-cli list IMAGE: the eight rows as the main panel lists them.
#include <cstdio>

#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "SlotRow.h"

namespace {

struct {
    std::string image;
} args;

int Run()
{
    CliReport report;
    cMemoryMap map;
    if (!map.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot)
        std::printf("%s\n", FormatSlotRow(map, slot).c_str());
    return kCliOk;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("list", "list the eight message slots of an image file");
    AddImageArgument(*command, args.image);
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("list", Setup);

}  // namespace
