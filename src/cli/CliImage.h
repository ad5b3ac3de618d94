// Pieces shared by the image commands of ormid-cli.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "CImageCommands.h"
#include "cMemoryMap.h"
#include "IOperatorReport.h"

// Adds the IMAGE positional argument.
CLI::Option* AddImageArgument(CLI::App& command, std::string& path);
// Adds the SLOT positional argument: 1-8 as on screen.
CLI::Option* AddSlotArgument(CLI::App& command, int& slot);
// Adds --count: 0 (continuous) to 255.
CLI::Option* AddCountOption(CLI::App& command, int& count);

// Checks a name given on the command line before anything is changed: one
// with a control character (tab, newline, ...) is refused with a message.
bool CheckNameArgument(const std::string& utf8, IOperatorReport& report);
// True when path may be written: it does not exist, --force was given, or the
// operator answers Yes (--yes) to replacing it.
bool MayReplace(const std::string& path, bool force, IOperatorReport& report);
// MayReplace for a file that is replaced whole: also refuses (with
// "ormid-cli: PATH: reason") a folder, a device or a FIFO, even with --force.
bool MayReplaceRegular(const std::string& path, bool force, IOperatorReport& report);

// Loads an image file for reading only, under a shared lock that is let go
// once the file is in memory, so no writer is caught half way.
bool ReadImageShared(const std::string& path, cMemoryMap& map, IOperatorReport& report);

// False with the message for "-": an image from standard input is read only.
bool IsNamedImage(const std::string& path, IOperatorReport& report);

// One change of an image file (CImageDocument::Change) with the command
// that makes it; the command's exit code.
int ChangeImage(const std::string& path, IOperatorReport& report,
                const std::function<bool(CImageCommands& commands)>& change);

// The image being read is never the file written, not even with --force:
// false with the message when output is the image (see ImageOutputClash).
bool IsNotTheImage(const std::string& image, const std::string& output, const char* kind, IOperatorReport& report);

// Writes what stdout still holds; false with a message when it could not be
// written (a full disk, a closed pipe).
bool FlushOutput(IOperatorReport& report);
