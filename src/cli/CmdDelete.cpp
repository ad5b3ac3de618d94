// ormid-cli delete IMAGE SLOT: delete a message; those stored after it move down.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "CImageLock.h"

namespace {

struct {
    std::string image;
    int slot = 0;
} args;

int Run()
{
    CliReport report;
    // Held from the read to the write, so that no other change is lost.
    CImageLock lock;
    if (!lock.Lock(args.image, CImageLock::kExclusive, report))
        return kCliFailed;
    cMemoryMap map;
    if (!map.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    map.ClearSlot(uint8_t(args.slot - 1));
    return map.WriteImageFile(args.image.c_str(), report) ? kCliOk : kCliFailed;
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
