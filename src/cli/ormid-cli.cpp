// ormid-cli: the unit image and unit operations without the GUI.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "CLogFile.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "OrmidVersion.h"

namespace {

// The first word that is not an option names the command (the program's own
// options take no values). Empty when there is none; unknown is set to the
// first option before it that the program does not have.
std::string CommandWord(const CLI::App& app, int argc, char** argv, std::string& unknown)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0)
            return argv[i];
        if (std::strcmp(argv[i], "--") == 0)
            return i + 1 < argc ? argv[i + 1] : "";
        std::string name = argv[i];
        name = name.substr(0, name.find('='));
        const std::vector<const CLI::Option*> options = app.get_options();
        const bool known = std::any_of(options.begin(), options.end(),
                                       [&](const CLI::Option* option) { return option->check_name(name); });
        if (!known && unknown.empty())
            unknown = argv[i];
    }
    return std::string();
}

// The command line's own log, open while a command runs ("TXDoruvevAzad.ini"
// switches it on). Not the panel's "ORMID.log": the panel replaces that at
// its start and writes it as a ring, so a run beside it would cut or overwrite
// its lines; runs append to theirs under its lock instead. Help, the version
// and the questions of shell completion open no log at all.
struct ProgramLog {
    void Open(int argc, char** argv)
    {
        if (!TheLog().Open("ormid-cli.log", CLogFile::kAppend))
            return;
        std::string line = "ormid-cli";
        for (int i = 1; i < argc; ++i)
            line += std::string(" ") + argv[i];
        TheLog().Write("pid %d: %.900s", int(::getpid()), line.c_str());
    }
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

    std::string unknown;
    const std::string word = CommandWord(app, argc, argv, unknown);
    if (!unknown.empty()) {
        std::fprintf(stderr, "Unknown option: %s\nRun with --help for the options.\n", unknown.c_str());
        return kCliUsage;
    }
    if (!word.empty() &&
        std::none_of(commands.begin(), commands.end(), [&](const CliCommand& c) { return word == c.name; })) {
        std::fprintf(stderr, "Unknown command: %s\nRun with --help for the list of commands.\n", word.c_str());
        return kCliUsage;
    }

    ProgramLog log;
    // After help and version are handled, before the command runs.
    app.parse_complete_callback([&] { log.Open(argc, argv); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kCliOk : kCliUsage;
    }
    return exitCode;
}
