// Pieces shared by the image commands of ormid-cli.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cMemoryMap.h"
#include "IOperatorReport.h"

// Adds the IMAGE positional argument.
CLI::Option* AddImageArgument(CLI::App& command, std::string& path);
// Adds the SLOT positional argument: 1-8 as on screen.
CLI::Option* AddSlotArgument(CLI::App& command, int& slot);
// Adds --count: 0 (continuous) to 255.
CLI::Option* AddCountOption(CLI::App& command, int& count);

// The file name without its folder, cut to what a slot name holds.
std::string NameFromPath(const std::string& path);
