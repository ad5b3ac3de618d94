// ormid-cli new IMAGE [--force]: write an image file with eight empty slots.
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "CImageDocument.h"

namespace {

struct {
    std::string image;
    bool force = false;
} args;

int Run()
{
    CliReport report;
    if (!IsNamedImage(args.image, report))
        return kCliUsage;
    if (!MayReplace(args.image, args.force, report))
        return kCliFailed;
    cMemoryMap map;
    return CImageDocument(map, report).Save(args.image) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("new", "write an empty image file");
    AddImageArgument(*command, args.image);
    command->add_flag("-f,--force", args.force, "replace an existing file");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("new", Setup);

}  // namespace
