#include "HelpCommands.h"

#include "CAboutDlg.h"
#include "CAppState.h"
#include "CDesktopOpener.h"
#include "CPanelCommands.h"
#include "CTXDoruvevAzadDlg.h"
#include "cPdfHelp.h"
#include "sonvox.h"

namespace {

const char* const kGuideFile = "ORMID Prog Guide.pdf";

}  // namespace

void InstallHelpCommands(CPanelCommands& commands, IDesktopOpener* desktop)
{
    static CDesktopOpener freedesktop;
    IDesktopOpener* used = desktop ? desktop : &freedesktop;
    commands.showGuide = [used](CTXDoruvevAzadDlg& panel) {
        cPdfHelp help(*used, panel.Report());
        help.SetFiles(kGuideFile, panel.State().ProgramFolder());
        help.Open();
    };
    commands.showAbout = [](CTXDoruvevAzadDlg& panel) {
        CAboutDlg about(&panel);
        about.exec();
    };
    // The audio library shows its report in its own dialog, over the panel.
    commands.showCodecInfo = [](CTXDoruvevAzadDlg&) { GetCoderInfor(); };
}
