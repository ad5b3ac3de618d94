// ormid-cli: the unit image and unit operations without the GUI.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "CLogFile.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "OrmidVersion.h"

namespace {

// The first word that is not an option names the command (the program's own
// options take no values). Empty when there is none.
std::string CommandWord(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            return argv[i];
        if (std::strcmp(argv[i], "--") == 0)
            return i + 1 < argc ? argv[i + 1] : "";
    }
    return std::string();
}

// The program log, open while a command runs, as the panel keeps it open
// while it runs ("TXDoruvevAzad.ini" switches it on).
struct ProgramLog {
    ProgramLog() { TheLog().Open("ORMID.log"); }
    ~ProgramLog() { TheLog().Close(); }
};

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"ORMID command line: prepare unit images, import and export messages."};
    app.require_subcommand(1);
    // Options of the program may also follow the command's own.
    app.fallthrough();
    app.set_version_flag("--version", std::string("ormid-cli ") + ORMID_VERSION);
    app.add_flag("-y,--yes", CliReport::AssumeYes(), "answer Yes to every question (such as replacing a file)");

    int exitCode = kCliOk;
    std::vector<CliCommand> commands = CliCommands();
    std::sort(commands.begin(), commands.end(),
              [](const CliCommand& a, const CliCommand& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const CliCommand& command : commands)
        command.setup(app, exitCode);

    const std::string word = CommandWord(argc, argv);
    if (!word.empty() && std::none_of(commands.begin(), commands.end(),
                                      [&](const CliCommand& c) { return word == c.name; })) {
        std::fprintf(stderr, "Unknown command: %s\nRun with --help for the list of commands.\n", word.c_str());
        return kCliUsage;
    }

    ProgramLog log;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kCliOk : kCliUsage;
    }
    return exitCode;
}
