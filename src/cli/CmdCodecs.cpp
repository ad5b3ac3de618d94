// ormid-cli codecs: prints the codec information report of this machine.
#include "CliRegistry.h"

#include "sonvox.h"

#include <cstdio>

namespace {

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("codecs", "print the report of the installed audio codecs");
    // Without a Qt application on the process, the library prints the report
    // on standard output.
    command->callback([&exitCode] {
        std::fflush(stdout);
        exitCode = GetCoderInfor() == 1 ? kCliOk : kCliFailed;
    });
}

CliRegistrar registrar("codecs", Setup);

}  // namespace
