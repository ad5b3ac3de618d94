// The main panel's Help menu, carried out by the program: the user guide
// beside the program, opened in the desktop's PDF viewer, the audio library's
// codec report and the About box.
#pragma once

struct CPanelCommands;
class IDesktopOpener;

// Puts both commands into commands; desktop stands for the desktop's viewers
// (the freedesktop tools when null).
void InstallHelpCommands(CPanelCommands& commands, IDesktopOpener* desktop = nullptr);
