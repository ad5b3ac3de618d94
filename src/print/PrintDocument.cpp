#include "PrintDocument.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <string>

#include "IPrintReport.h"

const char* const kPrintCaption = "ORMID";

namespace {

std::string NotWrittenText(const QString& file)
{
    return file.isEmpty() ? "The printer could not be opened. Nothing was printed."
                          : "The file " + file.toStdString() + " could not be written. Nothing was printed.";
}

}  // namespace

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
    report.ShowMessage(kPrintCaption, NotWrittenText(file), false);
    return false;
}

bool EndDocument(QPrinter& printer, QPainter& painter, IPrintReport& report)
{
    if (painter.end())
        return true;
    report.ShowMessage(kPrintCaption, NotWrittenText(printer.outputFileName()), false);
    return false;
}
