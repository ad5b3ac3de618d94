#include "PrintDocument.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include "IPrintReport.h"

const char* const kPrintCaption = "ORMID";

bool StartDocument(QPrinter& printer, QPainter& painter, const char* name, IPrintReport& report)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setCopyCount(1);
    printer.setDocName(QString::fromLatin1(name));
    if (painter.begin(&printer))
        return true;
    // A PDF file in a folder that cannot be written, a printer that went
    // away: say so rather than leave the operator waiting for paper.
    const QString file = printer.outputFileName();
    report.ShowMessage(kPrintCaption,
                       file.isEmpty() ? "The printer could not be opened. Nothing was printed."
                                      : "The file " + file.toStdString() + " could not be written. Nothing was printed.",
                       false);
    return false;
}
