// ormid-cli print-listing / print-labels IMAGE (--pdf FILE | --printer NAME):
// the panel's two printouts without the desktop, through the same drawing code.
#include <QGuiApplication>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "CLabelPrinter.h"
#include "CListingPrinter.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "IPrintReport.h"

namespace {

struct PrintArgs {
    std::string image;
    std::string pdf;
    std::string printer;
    std::string paper;
};
PrintArgs listingArgs, labelArgs;

class CliPrintReport : public IPrintReport {
public:
    void ShowMessage(const std::string& caption, const std::string& text, bool) override
    {
        // The caption of the program's own boxes says nothing on a terminal.
        if (caption == kPrintCaption)
            std::fprintf(stderr, "%s\n", text.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

// Qt's own notes that say nothing to an operator here: a missing runtime
// folder, and a failed start of the printout, which is reported in full.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg || text.startsWith("QStandardPaths:") ||
        text.startsWith("QPainter::begin"))
        return;
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Qt's printing needs a GUI application object; only these commands pay for
// one, on the offscreen platform unless the caller chose another.
std::unique_ptr<QGuiApplication> StartQt()
{
    qInstallMessageHandler(QuietQtMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ormid-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

bool SetUpPrinter(QPrinter& printer, const PrintArgs& args)
{
    CliReport report;
    if (!args.pdf.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(args.pdf));
    } else {
        const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(args.printer));
        if (info.isNull()) {
            report.ShowMessage("There is no printer named " + args.printer + ".");
            return false;
        }
        printer.setPrinterName(info.printerName());
    }
    if (!args.paper.empty()) {
        const QPageSize::PageSizeId id = args.paper == "A4" ? QPageSize::A4
                                         : args.paper == "Letter" ? QPageSize::Letter
                                                                  : QPageSize::Legal;
        printer.setPageSize(QPageSize(id));
    }
    return true;
}

// The folder of the image file as the panel remembers it: absolute, with a
// closing slash.
std::string FolderOf(const std::string& image)
{
    std::error_code ignored;
    std::string folder = std::filesystem::absolute(image, ignored).parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

template <class Printout>
int Run(const PrintArgs& args, const Printout& makeAndPrint)
{
    CliReport report;
    cMemoryMap map;
    if (!map.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    const std::unique_ptr<QGuiApplication> qt = StartQt();
    QPrinter printer(QPrinter::HighResolution);
    if (!SetUpPrinter(printer, args))
        return kCliFailed;
    CliPrintReport printReport;
    return makeAndPrint(map, printer, printReport) == kPrintDone ? kCliOk : kCliFailed;
}

void AddOutputOptions(CLI::App& command, PrintArgs& args)
{
    AddImageArgument(command, args.image);
    CLI::Option* pdf = command.add_option("--pdf", args.pdf, "write the printout to this PDF file");
    CLI::Option* printer = command.add_option("--printer", args.printer, "print on this printer (a CUPS queue)");
    pdf->excludes(printer);
    command.add_option("--paper", args.paper, "paper size (default: the printer's or the locale's)")
        ->check(CLI::IsMember({"A4", "Letter", "Legal"}));
}

bool OutputGiven(const PrintArgs& args)
{
    if (!args.pdf.empty() || !args.printer.empty())
        return true;
    CliReport().ShowMessage("Give --pdf FILE or --printer NAME.");
    return false;
}

void SetupListing(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("print-listing", "print the message listing (or write it as PDF)");
    AddOutputOptions(*command, listingArgs);
    command->callback([&exitCode] {
        if (!OutputGiven(listingArgs)) {
            exitCode = kCliUsage;
            return;
        }
        exitCode = Run(listingArgs, [](const cMemoryMap& map, QPrinter& printer, IPrintReport& report) {
            return CListingPrinter(map, FolderOf(listingArgs.image), false).Print(printer, report);
        });
    });
}

void SetupLabels(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("print-labels", "print the control-box labels (or write them as PDF)");
    AddOutputOptions(*command, labelArgs);
    command->callback([&exitCode] {
        if (!OutputGiven(labelArgs)) {
            exitCode = kCliUsage;
            return;
        }
        exitCode = Run(labelArgs, [](const cMemoryMap& map, QPrinter& printer, IPrintReport& report) {
            return CLabelPrinter(map).Print(printer, report);
        });
    });
}

CliRegistrar listingRegistrar("print-listing", SetupListing);
CliRegistrar labelsRegistrar("print-labels", SetupLabels);

}  // namespace
