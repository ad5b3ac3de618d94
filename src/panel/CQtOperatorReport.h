// Message boxes of the program: its name as caption, an exclamation icon and
// OK for messages, a question icon with Yes and No for questions.
#pragma once

#include "IOperatorReport.h"

class QWidget;

class CQtOperatorReport : public IOperatorReport {
public:
    explicit CQtOperatorReport(QWidget* parent = nullptr) : m_parent(parent) { }
    void SetParent(QWidget* parent) { m_parent = parent; }

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    Answer AskYesNoOrCancel(const std::string& text) override;

private:
    QWidget* m_parent;
};
