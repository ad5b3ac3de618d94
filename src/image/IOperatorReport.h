// How the image operations talk to the operator: a message with an OK button,
// or a Yes/No question. The GUI shows boxes, ormid-cli writes to stderr, tests
// keep the texts.
#pragma once

#include <string>

#include "SafeFile.h"

class IOperatorReport {
public:
    virtual ~IOperatorReport() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;

    // A Yes/No question that guards unsaved work. Escape (or closing the
    // question's window) answers neither: the operator backs out and the
    // command that asked does nothing. Reports that cannot back out answer
    // as AskYesNo does.
    enum class Answer { No, Yes, Cancel };
    virtual Answer AskYesNoOrCancel(const std::string& text) { return AskYesNo(text) ? Answer::Yes : Answer::No; }

    // A file that the system refused: text (may be empty) on the first line,
    // then "PATH: reason" with the system's text for error. ormid-cli writes
    // the second line as "ormid-cli: PATH: reason".
    virtual void ShowFileError(const std::string& text, const std::string& path, int error)
    {
        ShowMessage(text.empty() ? FileErrorLine(path, error) : WithFileError(text, path, error));
    }
    // The same for a reason in words (a decoder's, say) instead of an error
    // number: text, then "PATH: reason".
    virtual void ShowFileProblem(const std::string& text, const std::string& path, const std::string& reason)
    {
        ShowMessage(text + "\n" + path + ": " + reason);
    }
};
