#include "PrintCommands.h"

#include <QFile>
#include <QPrintDialog>
#include <QPrinter>

#include <functional>

#include "CLabelPrinter.h"
#include "CListingPrinter.h"
#include "CQtPrintReport.h"
#include "CAppState.h"
#include "CPanelContext.h"
#include "ImageOutput.h"
#include "PdfFile.h"
#include "SafeFile.h"

bool ChoosePrinter(QPrinter& printer, QWidget* parent)
{
    printer.setCopyCount(1);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFromTo(1, 1);
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, 1);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

namespace {

// "Print to file" goes through the same safe replace as ormid-cli's --pdf: a
// full disk or a cut document never costs the file that was there.
// The image shown is never printed over.
PrintResult PrintTo(QPrinter& printer, const CPanelContext& panel, IPrintReport& report,
                    const std::function<PrintResult(QPrinter&)>& print)
{
    const QString file = printer.outputFileName();
    if (printer.outputFormat() != QPrinter::PdfFormat || file.isEmpty())
        return print(printer);
    const std::string clash = ImageOutputClash(QFile::encodeName(panel.imageFile).toStdString(),
                                               QFile::encodeName(file).toStdString(), "PDF");
    if (!clash.empty()) {
        report.ShowMessage(kPrintCaption, clash, false);
        return kPrintNotStarted;
    }
    const auto fileError = [&report](const std::string& text, const std::string& path, int error) {
        report.ShowMessage(kPrintCaption, WithFileError(text, path, error), false);
    };
    return PrintToPdfFile(printer, QFile::encodeName(file).toStdString(), fileError, print);
}

}  // namespace

void PrintListingFromPanel(const CPanelContext& panel, QPrinter& printer, IPrintReport& report)
{
    if (!ChoosePrinter(printer, panel.window))
        return;
    CAppState& state = panel.state;
    CListingPrinter listing(state.m_memoryMap, state.m_imageFilePath.toStdString(), panel.changed);
    PrintTo(printer, panel, report, [&](QPrinter& to) { return listing.Print(to, report); });
}

void PrintLabelsFromPanel(const CPanelContext& panel, QPrinter& printer, IPrintReport& report)
{
    if (!ChoosePrinter(printer, panel.window))
        return;
    CLabelPrinter labels(panel.state.m_memoryMap);
    PrintTo(printer, panel, report, [&](QPrinter& to) { return labels.Print(to, report); });
}

void InstallPrintCommands(CPanelCommands& commands)
{
    commands.printListing = [](const CPanelContext& panel) {
        QPrinter printer(QPrinter::HighResolution);
        CQtPrintReport report(panel.window);
        PrintListingFromPanel(panel, printer, report);
    };
    commands.printLabels = [](const CPanelContext& panel) {
        QPrinter printer(QPrinter::HighResolution);
        CQtPrintReport report(panel.window);
        PrintLabelsFromPanel(panel, printer, report);
    };
}
