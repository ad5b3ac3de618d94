// The main panel's Transfer, "Program Units...": the window over a copy of
// the program's image; and the window on its own over an image file, as
// "ormid --program-units [IMAGE]" opens it.
#pragma once

#include <QString>

struct CPanelCommands;

void InstallProgramUnitsCommand(CPanelCommands& commands);
// Shows the window modally over the file (none: the operator chooses one in
// the window); returns when it closes.
int RunProgramUnitsWindow(const QString& imagePath);
