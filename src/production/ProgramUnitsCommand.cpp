#include "ProgramUnitsCommand.h"

#include "CAppState.h"
#include "CPanelCommands.h"
#include "CPanelContext.h"
#include "CProgramUnitsDlg.h"

void InstallProgramUnitsCommand(CPanelCommands& commands)
{
    commands.programUnits = [](const CPanelContext& panel) {
        cMemoryMap& image = panel.state.m_memoryMap;
        // What a write sends starts with the live message table.
        image.StoreTableInImage();
        CProgramUnitsDlg dialog(panel.window);
        const QString name = panel.state.m_imageFilePath.isEmpty() ? QString("untitled") : panel.state.m_imageFilePath;
        dialog.UseImage(image, panel.changed ? name + " (changed)" : name);
        dialog.exec();
    };
}

int RunProgramUnitsWindow(const QString& imagePath)
{
    CProgramUnitsDlg dialog;
    if (!imagePath.isEmpty())
        dialog.LoadImage(imagePath);
    return dialog.exec();
}
