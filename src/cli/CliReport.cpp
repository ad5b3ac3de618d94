#include "CliReport.h"

#include <cstdio>

bool CliReport::s_assumeYes = false;

void CliReport::ShowMessage(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

void CliReport::ShowFileError(const std::string& text, const std::string& path, int error)
{
    if (!text.empty())
        ShowMessage(text);
    ShowMessage("ormid-cli: " + FileErrorLine(path, error));
}

void CliReport::ShowFileProblem(const std::string& text, const std::string& path, const std::string& reason)
{
    ShowMessage(text);
    ShowMessage("ormid-cli: " + path + ": " + reason);
}

bool CliReport::AskYesNo(const std::string& text)
{
    std::fprintf(stderr, "%s%s%s\n", text.c_str(), text.empty() || text.back() == '\n' ? "" : " ",
                 s_assumeYes ? "Yes" : "No");
    std::fflush(stderr);
    return s_assumeYes;
}
