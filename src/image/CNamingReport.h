// Passes every text on to another report with one path replaced by the name
// the operator knows (the chosen file instead of a temporary copy of it).
#pragma once

#include <string>

#include "IOperatorReport.h"

class CNamingReport : public IOperatorReport {
public:
    // from and to must outlive the report; an empty one changes nothing.
    CNamingReport(IOperatorReport& inner, const std::string& from, const std::string& to)
        : m_inner(inner), m_from(from), m_to(to)
    {
    }
    void ShowMessage(const std::string& text) override { m_inner.ShowMessage(Rename(text)); }
    bool AskYesNo(const std::string& text) override { return m_inner.AskYesNo(Rename(text)); }
    void ShowFileError(const std::string& text, const std::string& path, int error) override
    {
        m_inner.ShowFileError(Rename(text), Rename(path), error);
    }

private:
    std::string Rename(std::string text) const;

    IOperatorReport& m_inner;
    const std::string& m_from;
    const std::string& m_to;
};
