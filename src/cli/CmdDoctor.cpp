// ormid-cli doctor: what this machine offers the current user (serial ports
// and whether they open, the dialout group, sound devices, where settings and
// working files are). Exit status 1 when it names a problem.
#include <cstdio>

#include "CDoctorReport.h"
#include "CliRegistry.h"

namespace {

int Run()
{
    CDoctorReport report;
    report.Gather();
    std::fputs(report.Text().c_str(), stdout);
    std::fflush(stdout);
    return report.Problems() == 0 ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("doctor", "check serial port access, sound devices and where files are");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("doctor", Setup);

}  // namespace
