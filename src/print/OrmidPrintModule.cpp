#include "OrmidPrintModule.h"

#include <QGuiApplication>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

#include "SafeFile.h"
#include "CLabelPrinter.h"
#include "CListingPrinter.h"
#include "IOperatorReport.h"
#include "IPrintReport.h"
#include "PdfFile.h"
#include "cMemoryMap.h"

namespace {

// Messages go to stderr as their text, as ormid-cli's do.
class StderrReport : public IOperatorReport, public IPrintReport {
public:
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool AskYesNo(const std::string& text) override
    {
        ShowMessage(text);
        return false;
    }
    void ShowFileError(const std::string& text, const std::string& path, int error) override
    {
        if (!text.empty())
            ShowMessage(text);
        ShowMessage("ormid-cli: " + FileErrorLine(path, error));
    }
    void ShowMessage(const std::string& caption, const std::string& text, bool) override
    {
        // The caption of the program's own boxes says nothing on a terminal.
        if (caption == kPrintCaption)
            ShowMessage(text);
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

// Qt's printing needs a GUI application object: on the offscreen platform
// unless the caller chose another, so no display is needed.
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

bool SetUpPrinter(QPrinter& printer, const OrmidPrintRequest& request, StderrReport& report)
{
    if (request.pdf) {
        printer.setOutputFormat(QPrinter::PdfFormat);  // the file is named by PrintPdf
    } else {
        const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromLocal8Bit(request.printer));
        if (info.isNull()) {
            report.ShowMessage(std::string("There is no printer named ") + request.printer + ".");
            return false;
        }
        printer.setPrinterName(info.printerName());
    }
    if (request.paper) {
        const QPageSize::PageSizeId id = std::strcmp(request.paper, "A4") == 0       ? QPageSize::A4
                                         : std::strcmp(request.paper, "Letter") == 0 ? QPageSize::Letter
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

}  // namespace

extern "C" __attribute__((visibility("default"))) int OrmidPrint(const OrmidPrintRequest* request)
{
    if (!request || !request->image || (!request->pdf && !request->printer))
        return 1;
    StderrReport report;
    cMemoryMap map;
    if (!map.HasBuffer()) {
        report.ShowMessage(cMemoryMap::kAllocationFailedText);
        return 1;
    }
    if (!map.ReadImageFile(request->image, report))
        return 1;
    const std::unique_ptr<QGuiApplication> qt = StartQt();
    QPrinter printer(QPrinter::HighResolution);
    if (!SetUpPrinter(printer, *request, report))
        return 1;
    const auto print = [&](QPrinter& to) {
        return request->labels ? CLabelPrinter(map).Print(to, report)
                               : CListingPrinter(map, FolderOf(request->image), false).Print(to, report);
    };
    const auto fileError = [&report](const std::string& text, const std::string& path, int error) {
        report.ShowFileError(text, path, error);
    };
    const PrintResult result = request->pdf ? PrintToPdfFile(printer, request->pdf, fileError, print) : print(printer);
    return result == kPrintDone ? 0 : 1;
}
