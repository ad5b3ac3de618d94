#include "HelpCommands.h"

#include "CAboutDlg.h"
#include "CAppState.h"
#include "CDesktopOpener.h"
#include "CPanelCommands.h"
#include "CPanelContext.h"
#include "cPdfHelp.h"
#include "sonvox.h"

namespace {

const char* const kGuideFile = "ORMID Prog Guide.pdf";

}  // namespace

void InstallHelpCommands(CPanelCommands& commands, IDesktopOpener* desktop)
{
    static CDesktopOpener freedesktop;
    IDesktopOpener* used = desktop ? desktop : &freedesktop;
    commands.showGuide = [used](const CPanelContext& panel) {
        cPdfHelp help(*used, panel.report);
        help.SetFiles(kGuideFile, panel.state.ProgramFolder());
        help.Open();
    };
    commands.showAbout = [](const CPanelContext& panel) {
        CAboutDlg about(panel.window);
        about.exec();
    };
    // The audio library shows its report in its own dialog, over the panel.
    commands.showCodecInfo = [](const CPanelContext&) { GetCoderInfor(); };
}
