// Opens the user guide, a PDF document in the program folder, with the
// desktop's PDF viewer, and explains a missing guide or a missing viewer.
#pragma once

#include <QString>

class IDesktopOpener;
class IOperatorReport;

class cPdfHelp {
public:
    cPdfHelp(IDesktopOpener& desktop, IOperatorReport& report);
    virtual ~cPdfHelp();

    void SetFiles(const QString& document, const QString& folder);
    void Open();

private:
    IDesktopOpener& m_desktop;
    IOperatorReport& m_report;
    QString m_document;
    QString m_folder;
};
