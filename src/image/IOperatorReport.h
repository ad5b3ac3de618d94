// How the image operations talk to the operator: a message with an OK button,
// or a Yes/No question. The GUI shows boxes, ormid-cli writes to stderr, tests
// keep the texts.
#pragma once

#include <string>

class IOperatorReport {
public:
    virtual ~IOperatorReport() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
};
