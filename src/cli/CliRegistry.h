// Self-registration of ormid-cli commands. A command file defines a setup
// function that adds its subcommand to the program and a static registrar:
//
//   static void Setup(CLI::App& app, int& exitCode) { ... }
//   static CliRegistrar registrar("name", Setup);
//
// The subcommand's callback stores the exit code (CliExit) in exitCode.
#pragma once

#include <CLI/CLI.hpp>
#include <vector>

enum CliExit : int { kCliOk = 0, kCliFailed = 1, kCliUsage = 2 };

struct CliCommand {
    const char* name;
    void (*setup)(CLI::App& app, int& exitCode);
};

// Every registered command, in registration order (main sorts them by name).
std::vector<CliCommand>& CliCommands();

struct CliRegistrar {
    CliRegistrar(const char* name, void (*setup)(CLI::App& app, int& exitCode));
};
