#include "CoderInfor.h"

#include "CAudioLog.h"
#include "CCodecReport.h"
#include "CGstCodecRegistry.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace {

// Whether the process runs a Qt application with widgets; found by symbol, so
// that the library does not depend on Qt.
bool HostHasQtApplication()
{
    void* self = dlsym(RTLD_DEFAULT, "_ZN16QCoreApplication4selfE");
    if (!self || !*static_cast<void**>(self))
        return false;
    return dlsym(RTLD_DEFAULT, "_ZN12QApplication4execEv") != nullptr;
}

std::string LibraryFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ShowCoderInfor), &info) || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool ShowInDialog(const std::string& report)
{
    if (!HostHasQtApplication())
        return false;
    const std::string path = LibraryFolder() + SONVOX_CODEC_DIALOG_LIBRARY;
    // The dialog library stays loaded: Qt keeps pointers into it (its
    // meta-objects) for the rest of the process.
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!lib)
        return false;
    auto show = reinterpret_cast<ShowCodecDialogFn>(dlsym(lib, SONVOX_CODEC_DIALOG_ENTRY));
    return show && show(report.c_str()) == 1;
}

void WriteToLog(const std::string& report)
{
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos)
            end = report.size();
        if (end > start)
            LogPrintf("%s", report.substr(start, end - start).c_str());
        start = end + 1;
    }
}

}  // namespace

std::string BuildCoderInfor()
{
    CGstCodecRegistry registry;
    CCodecReport report(registry);
    report.Build();
    return report.Text();
}

int ShowCoderInfor()
{
    const std::string report = BuildCoderInfor();
    if (ShowInDialog(report))
        return 1;
    WriteToLog(report);
    std::fwrite(report.data(), 1, report.size(), stdout);
    if (!report.empty() && report.back() != '\n')
        std::fputc('\n', stdout);
    std::fflush(stdout);
    return 1;
}
