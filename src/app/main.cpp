// The ORMID program.
#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

#include "OrmidVersion.h"

#include "CLogFile.h"
#include "CEditCommand.h"
#include "CQtOperatorReport.h"
#include "CStartOptions.h"
#include "CTXDoruvevAzadApp.h"
#include "HelpCommands.h"
#include "PrintCommands.h"
#include "ProgramUnitsCommand.h"

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so they work on a console;
    // without a display Qt would abort with its own text.
    const CStartOptions options(argc, argv);
    if (options.help) {
        std::fputs(CStartOptions::kUsageText, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ormid %s\n", ORMID_VERSION);
        return 0;
    }
    if (!options.CanShowWindows(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                std::getenv("WAYLAND_DISPLAY"))) {
        std::fprintf(stderr, "%s\n", CStartOptions::kNoDisplayText);
        return 1;
    }
    CTXDoruvevAzadApp app(argc, argv);

    // Unattended runs for screenshots and process tests; not for operators.
    QCommandLineParser parser;
    QCommandLineOption autoClose("auto-close", "Close the panel after MS milliseconds.", "MS");
    QCommandLineOption grab("grab", "Save a picture of the panel before closing it.", "FILE");
    for (QCommandLineOption* option : {&autoClose, &grab}) {
        option->setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(*option);
    }
    parser.parse(app.arguments());
    if (parser.isSet(autoClose))
        app.m_autoCloseMs = parser.value(autoClose).toInt();
    if (parser.isSet(grab)) {
        app.m_grabPath = parser.value(grab);
        if (app.m_autoCloseMs < 0)
            app.m_autoCloseMs = 500;
    }
    // "ormid FILE", as the desktop's file manager starts it (Exec=ormid %f);
    // a file: URL is taken as its path.
    if (!options.file.empty()) {
        QString file = QString::fromLocal8Bit(options.file.c_str());
        if (file.startsWith("file:"))
            file = QUrl(file).toLocalFile();
        app.m_startFile = QFileInfo(file).absoluteFilePath();
    }

    // The commands that other modules carry out for the panel: the edit
    // dialog, printing, the guide and the About box (the unit communications
    // dialog is the panel's own).
    InstallEditCommand(app.m_panelCommands);
    InstallPrintCommands(app.m_panelCommands);
    InstallHelpCommands(app.m_panelCommands);
    InstallProgramUnitsCommand(app.m_panelCommands);

    if (!app.m_memoryMap.HasBuffer()) {
        CQtOperatorReport().ShowMessage(cMemoryMap::kAllocationFailedText);
        return 1;
    }

    // A production station's shortcut: the batch window alone, beside any
    // panel that runs (it takes no instance lock and hands nothing over).
    if (options.programUnits) {
        RunProgramUnitsWindow(app.m_startFile);
        TheLog().Close();
        return 0;
    }

    app.InitInstance();
    if (app.HoldsInstanceLock())
        app.ExitInstance();
    TheLog().Close();
    return 0;
}
