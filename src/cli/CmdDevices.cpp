// ormid-cli devices: the microphones and speakers the audio library can use,
// "System default" first, with the one the ORMID program would use marked.
#include <cstdio>

#include "CSoundDeviceReport.h"
#include "CliRegistry.h"

namespace {

int Run()
{
    std::fputs(CSoundDeviceReport::Lists(CSoundDeviceReport::Gather()).c_str(), stdout);
    std::fflush(stdout);
    return kCliOk;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("devices", "list the microphones and speakers and the ones ORMID uses");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("devices", Setup);

}  // namespace
