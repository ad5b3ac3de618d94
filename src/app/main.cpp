// The ORMID program.
#include <QCommandLineParser>
#include <cstdio>
#include <cstring>

#include "OrmidVersion.h"

#include "CLogFile.h"
#include "CEditCommand.h"
#include "CQtOperatorReport.h"
#include "CTXDoruvevAzadApp.h"
#include "HelpCommands.h"
#include "PrintCommands.h"

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so it works on a console.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("ormid %s\n", ORMID_VERSION);
            return 0;
        }
    }
    CTXDoruvevAzadApp app(argc, argv);

    // Unattended runs for screenshots and process tests; not for operators.
    QCommandLineParser parser;
    QCommandLineOption autoClose("auto-close", "Close the panel after MS milliseconds.", "MS");
    QCommandLineOption grab("grab", "Save a picture of the panel before closing it.", "FILE");
    autoClose.setFlags(QCommandLineOption::HiddenFromHelp);
    grab.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(autoClose);
    parser.addOption(grab);
    parser.parse(app.arguments());
    if (parser.isSet(autoClose))
        app.m_autoCloseMs = parser.value(autoClose).toInt();
    if (parser.isSet(grab)) {
        app.m_grabPath = parser.value(grab);
        if (app.m_autoCloseMs < 0)
            app.m_autoCloseMs = 500;
    }

    // The commands that other modules carry out for the panel: the edit
    // dialog, printing, the guide and the About box (the unit communications
    // dialog is the panel's own).
    InstallEditCommand(app.m_panelCommands);
    InstallPrintCommands(app.m_panelCommands);
    InstallHelpCommands(app.m_panelCommands);

    if (!app.m_memoryMap.HasBuffer()) {
        CQtOperatorReport().ShowMessage(cMemoryMap::kAllocationFailedText);
        return 1;
    }

    app.InitInstance();
    if (app.HoldsInstanceLock())
        app.ExitInstance();
    TheLog().Close();
    return 0;
}
