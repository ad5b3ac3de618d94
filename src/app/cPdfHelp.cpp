#include "cPdfHelp.h"

#include <QFileInfo>

#include "IDesktopOpener.h"
#include "IOperatorReport.h"

cPdfHelp::cPdfHelp(IDesktopOpener& desktop, IOperatorReport& report) : m_desktop(desktop), m_report(report) { }

cPdfHelp::~cPdfHelp() = default;

void cPdfHelp::SetFiles(const QString& document, const QString& folder)
{
    m_document = document;
    m_folder = folder;
}

void cPdfHelp::Open()
{
    QString path = m_folder;
    if (!path.isEmpty() && !path.endsWith('/'))
        path += '/';
    path += m_document;
    if (!QFileInfo(path).isFile()) {
        m_report.ShowMessage(QString("Help file %1 not found!").arg(m_document).toStdString());
        return;
    }
    if (!m_desktop.HasPdfViewer()) {
        m_report.ShowMessage("Adobe Acrobat Reader not found!\n\n"
                             "The guide opens through xdg-open, and this desktop names no PDF viewer for it. "
                             "Please install one, for example the package evince or okular "
                             "(sudo apt install evince), and choose Help again.");
        return;
    }
    // Any other failure of the viewer is not the operator's to mend.
    m_desktop.OpenDocument(path, m_folder);
}
