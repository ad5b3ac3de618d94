#include "PrintCommands.h"

#include <QPrintDialog>
#include <QPrinter>

#include "CLabelPrinter.h"
#include "CListingPrinter.h"
#include "CQtPrintReport.h"
#include "CAppState.h"
#include "CTXDoruvevAzadDlg.h"

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

void PrintListingFromPanel(CTXDoruvevAzadDlg& panel, QPrinter& printer, IPrintReport& report)
{
    if (!ChoosePrinter(printer, &panel))
        return;
    CAppState& state = panel.State();
    CListingPrinter listing(state.m_memoryMap, state.m_imageFilePath.toStdString(), panel.IsChanged());
    listing.Print(printer, report);
}

void PrintLabelsFromPanel(CTXDoruvevAzadDlg& panel, QPrinter& printer, IPrintReport& report)
{
    if (!ChoosePrinter(printer, &panel))
        return;
    CLabelPrinter(panel.State().m_memoryMap).Print(printer, report);
}

void InstallPrintCommands(CPanelCommands& commands)
{
    commands.printListing = [](CTXDoruvevAzadDlg& panel) {
        QPrinter printer(QPrinter::HighResolution);
        CQtPrintReport report(&panel);
        PrintListingFromPanel(panel, printer, report);
    };
    commands.printLabels = [](CTXDoruvevAzadDlg& panel) {
        QPrinter printer(QPrinter::HighResolution);
        CQtPrintReport report(&panel);
        PrintLabelsFromPanel(panel, printer, report);
    };
}
