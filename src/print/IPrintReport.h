// How printing tells the operator about a failure: a message box with a
// caption, optionally with the stop icon. The program shows boxes, ormid-cli
// writes to stderr, tests keep the texts.
#pragma once

#include <string>

class IPrintReport {
public:
    virtual ~IPrintReport() = default;
    virtual void ShowMessage(const std::string& caption, const std::string& text, bool stop) = 0;
};
