// ormid-cli ports: the serial ports a unit can be attached to, one device path
// a line, real ports and running simulated units alike, then the network ports
// the program remembers, marked "(network)".
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "CliRegistry.h"
#include "CliSettings.h"
#include "ProgramSettings.h"
#include "serialport.h"

namespace {

int Run()
{
    std::vector<std::string> ports = ListSerialPorts();
    const std::vector<std::string> network =
        RememberedNetworkPorts(ReadProgramSetting(ProgramSettings::kNetworkPortsKey)).Ports();
    if (ports.empty() && network.empty())
        std::fprintf(stderr, "No serial ports found.\n");
    for (const std::string& port : ports) {
        std::printf("%s\n", port.c_str());
        // Say now why a port will not open, rather than when a transfer starts.
        if (access(port.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
            std::fprintf(stderr, "%s\n", CSerial::OpenFailureText(port, EACCES).c_str());
    }
    for (const std::string& port : network)
        std::printf("%s (network)\n", port.c_str());
    std::fflush(stdout);
    return kCliOk;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("ports", "list the serial ports and running simulated units");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("ports", Setup);

}  // namespace
