#include "CliRegistry.h"

std::vector<CliCommand>& CliCommands()
{
    // Built on first use, so registrars in any file may run first.
    static std::vector<CliCommand> commands;
    return commands;
}

CliRegistrar::CliRegistrar(const char* name, void (*setup)(CLI::App& app, int& exitCode))
{
    CliCommands().push_back({name, setup});
}
