// A report that hands everything on to another one: what a command's own
// dialog gets where the panel was given a report from outside (a test's
// recorder), so that its messages reach the same place.
#pragma once

#include "IOperatorReport.h"

class CReportRelay : public IOperatorReport {
public:
    explicit CReportRelay(IOperatorReport& to) : m_to(&to) { }
    // Where the messages go from now on.
    void SetTarget(IOperatorReport& to) { m_to = &to; }
    void ShowMessage(const std::string& text) override { m_to->ShowMessage(text); }
    bool AskYesNo(const std::string& text) override { return m_to->AskYesNo(text); }
    Answer AskYesNoOrCancel(const std::string& text) override { return m_to->AskYesNoOrCancel(text); }
    void ShowFileError(const std::string& text, const std::string& path, int error) override
    {
        m_to->ShowFileError(text, path, error);
    }
    void ShowFileProblem(const std::string& text, const std::string& path, const std::string& reason) override
    {
        m_to->ShowFileProblem(text, path, reason);
    }

private:
    IOperatorReport* m_to;
};
