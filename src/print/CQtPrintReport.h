// Printing's messages as message boxes over the main panel.
#pragma once

#include "IPrintReport.h"

class QWidget;

class CQtPrintReport : public IPrintReport {
public:
    explicit CQtPrintReport(QWidget* parent) : m_parent(parent) { }
    void ShowMessage(const std::string& caption, const std::string& text, bool stop) override;

private:
    QWidget* m_parent;
};
