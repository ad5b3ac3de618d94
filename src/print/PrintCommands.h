// The main panel's printing commands: the printer-selection dialog, then the
// listing or the labels on the chosen printer.
#pragma once

class QPrinter;
class QWidget;
struct CPanelContext;
class IPrintReport;
struct CPanelCommands;

// The desktop's printer dialog for one copy of page 1 (a printer, or
// "Print to File (PDF)"). False when the operator cancels.
bool ChoosePrinter(QPrinter& printer, QWidget* parent);

// Show the dialog on `printer` and print; nothing is printed on Cancel.
void PrintListingFromPanel(const CPanelContext& panel, QPrinter& printer, IPrintReport& report);
void PrintLabelsFromPanel(const CPanelContext& panel, QPrinter& printer, IPrintReport& report);

// Installs printListing and printLabels.
void InstallPrintCommands(CPanelCommands& commands);
