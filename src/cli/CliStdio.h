// "-" on the command line: standard input where a file is read (an image, an
// audio file), standard output where one is written (a WAV, a PDF). What
// comes in is kept in a private scratch folder and read from there like any
// file; what goes out is written there whole and sent once complete, so a
// failed command sends nothing. Binary output is never sent to a terminal.
#pragma once

#include <cstddef>
#include <string>

class IOperatorReport;

class CliStdio {
public:
    static constexpr const char* kName = "-";
    // More is not an image nor a recording a unit could hold.
    static constexpr size_t kMaxInput = size_t(1) << 30;

    ~CliStdio();

    static bool Is(const std::string& arg) { return arg == kName; }
    // For "-", path becomes a copy of standard input (false with the message
    // when it could not be read, or is read a second time).
    bool TakeInput(std::string& path, IOperatorReport& report);
    // For "-", path becomes the scratch file whose content SendOutput sends
    // (false with the message when standard output is a terminal).
    bool TakeOutput(std::string& path, IOperatorReport& report);
    // Sends the scratch output, if one was taken; false with the message
    // when standard output could not take it.
    bool SendOutput(IOperatorReport& report);

private:
    bool MakeFolder(IOperatorReport& report);

    std::string m_folder;
    std::string m_input;
    std::string m_output;
};

// The one of the run.
CliStdio& TheStdio();
