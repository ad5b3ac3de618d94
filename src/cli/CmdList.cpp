// ormid-cli list IMAGE [--json]: the eight rows as the main panel lists them.
#include <cstdio>

#include "CliImage.h"
#include "CliJson.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "SlotRow.h"
#include "UnitName.h"

namespace {

struct {
    std::string image;
    bool json = false;
} args;

void PrintJson(const cMemoryMap& map)
{
    std::printf("{\"slots\": [");
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        const uint32_t length = map.GetLength(slot);
        std::printf("%s\n  {\"slot\": %d, \"name\": %s, \"length\": %u, \"seconds\": %.3f, \"playCount\": %u, "
                    "\"continuous\": %s}",
                    slot ? "," : "", slot + 1, JsonString(UnitNameToUtf8(map.GetName(slot))).c_str(), length,
                    length / double(cMemoryMap::kBytesPerSecond), unsigned(map.GetPlayCount(slot)),
                    map.GetPlayCount(slot) == 0 ? "true" : "false");
    }
    std::printf("\n]}\n");
}

int Run()
{
    CliReport report;
    cMemoryMap map;
    if (!ReadImageShared(args.image, map, report))
        return kCliFailed;
    if (args.json) {
        PrintJson(map);
    } else {
        // Names are stored as Latin-1; the terminal gets UTF-8, one row a line.
        for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot)
            std::printf("%s\n", FormatSlotRow(map, slot, UnitNameToUtf8(map.GetName(slot))).c_str());
    }
    return FlushOutput(report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("list", "list the eight message slots of an image file");
    AddImageArgument(*command, args.image);
    command->add_flag("--json", args.json, "write the list as JSON");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("list", Setup);

}  // namespace
