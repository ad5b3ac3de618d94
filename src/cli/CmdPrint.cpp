// ormid-cli print-listing / print-labels IMAGE (--pdf FILE | --printer NAME):
// the panel's two printouts without the desktop, through the same drawing
// code. Printing lives in a module of its own that is loaded only here, so
// the other commands start without Qt.
#include <dlfcn.h>

#include <string>

#include "CGetAppPath.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliStdio.h"
#include "CliReport.h"
#include "OrmidPrintModule.h"

namespace {

struct PrintArgs {
    std::string image;
    std::string pdf;
    std::string printer;
    std::string paper;
    bool force = false;
};
PrintArgs listingArgs, labelArgs;

int Run(const PrintArgs& args, bool labels)
{
    CliReport report;
    if (args.pdf.empty() && args.printer.empty()) {
        report.ShowMessage("Give --pdf FILE or --printer NAME.");
        return kCliUsage;
    }
    if (!args.pdf.empty() && !IsNotTheImage(args.image, args.pdf, "PDF", report))
        return kCliFailed;
    std::string image = args.image, pdf = args.pdf;
    if (!TheStdio().TakeInput(image, report))
        return kCliFailed;
    if (CliStdio::Is(pdf) ? !TheStdio().TakeOutput(pdf, report)
                          : !pdf.empty() && !MayReplaceRegular(pdf, args.force, report))
        return kCliFailed;
    const std::string module = CGetAppPath::ProgramFolder() + ORMID_PRINT_MODULE;
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto print = handle ? reinterpret_cast<OrmidPrintFunction>(::dlsym(handle, ORMID_PRINT_ENTRY)) : nullptr;
    if (!print) {
        const char* why = ::dlerror();
        report.ShowMessage("Printing is not available: " + module + (why ? std::string(" (") + why + ")" : "") + ".");
        if (handle)
            ::dlclose(handle);
        return kCliFailed;
    }
    const OrmidPrintRequest request{image.c_str(), pdf.empty() ? nullptr : pdf.c_str(),
                                    args.printer.empty() ? nullptr : args.printer.c_str(),
                                    args.paper.empty() ? nullptr : args.paper.c_str(), labels ? 1 : 0};
    const int result = print(&request);
    // The module stays loaded: Qt does not support being unloaded.
    return result == 0 && TheStdio().SendOutput(report) ? kCliOk : kCliFailed;
}

CLI::App* AddPrintCommand(CLI::App& app, const char* name, const char* what, PrintArgs& args)
{
    CLI::App* command = app.add_subcommand(name, what);
    AddImageArgument(*command, args.image);
    CLI::Option* pdf = command->add_option("--pdf", args.pdf, "write the printout to this PDF file");
    CLI::Option* printer = command->add_option("--printer", args.printer, "print on this printer (a CUPS queue)");
    pdf->excludes(printer);
    command->add_flag("-f,--force", args.force, "replace an existing PDF file");
    command->add_option("--paper", args.paper, "paper size (default: the printer's or the locale's)")
        ->check(CLI::IsMember({"A4", "Letter", "Legal"}));
    return command;
}

void SetupListing(CLI::App& app, int& exitCode)
{
    AddPrintCommand(app, "print-listing", "print the message listing (or write it as PDF)", listingArgs)
        ->callback([&exitCode] { exitCode = Run(listingArgs, false); });
}

void SetupLabels(CLI::App& app, int& exitCode)
{
    AddPrintCommand(app, "print-labels", "print the control-box labels (or write them as PDF)", labelArgs)
        ->callback([&exitCode] { exitCode = Run(labelArgs, true); });
}

CliRegistrar listingRegistrar("print-listing", SetupListing);
CliRegistrar labelsRegistrar("print-labels", SetupLabels);

}  // namespace
