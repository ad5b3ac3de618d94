// Operator messages of ormid-cli: each message goes to stderr as its text;
// questions are answered by the --yes switch (No without it).
#pragma once

#include "IOperatorReport.h"

class CliReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    // The text, then "ormid-cli: PATH: reason".
    void ShowFileError(const std::string& text, const std::string& path, int error) override;
    void ShowFileProblem(const std::string& text, const std::string& path, const std::string& reason) override;

    // Set by the --yes switch before any command runs.
    static bool& AssumeYes() { return s_assumeYes; }

private:
    static bool s_assumeYes;
};
