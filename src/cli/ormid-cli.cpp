// ormid-cli: the unit image and unit operations without the GUI.
#include <algorithm>
#include <cstring>

#include "CliRegistry.h"
#include "CliReport.h"
#include "OrmidVersion.h"

int main(int argc, char** argv)
{
    CLI::App app{"ORMID command line: prepare unit images, import and export messages."};
    app.require_subcommand(1);
    // Options of the program may also follow the command's own.
    app.fallthrough();
    app.set_version_flag("--version", std::string("ormid-cli ") + ORMID_VERSION);
    app.add_flag("-y,--yes", CliReport::AssumeYes(), "answer Yes to every question");

    int exitCode = kCliOk;
    std::vector<CliCommand> commands = CliCommands();
    std::sort(commands.begin(), commands.end(),
              [](const CliCommand& a, const CliCommand& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const CliCommand& command : commands)
        command.setup(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kCliOk : kCliUsage;
    }
    return exitCode;
}
