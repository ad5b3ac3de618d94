// What the parts of the program share while it runs: the unit image, the
// program folder, the remembered folders and list positions, the scratch WAV
// path, the audio and transfer flags, and the commands that other modules
// carry out for the main panel. The application object is this state (it
// derives from it); the panel, the edit command and printing are handed it and
// so never reach up to the application above them.
#pragma once

#include <QString>

#include <cstdint>

#include "AudioState.h"
#include "CGetAppPath.h"
#include "CPanelCommands.h"
#include "cMemoryMap.h"

struct CAppState {
    uint8_t m_audioState = AudioIdle;
    QString m_imageFilePath;
    int32_t m_unitReadDone = 0;
    int32_t m_commPortSel = 0;
    int32_t m_baudRateSel = 0;
    QString m_exportFilePath;
    QString m_importFilePath;
    QString m_tempWavPath;
    CGetAppPath m_appPath;
    cMemoryMap m_memoryMap;
    int32_t m_audioAvailable = 0;

    // Commands that other modules hand to the main panel (edit, printing,
    // the guide and the About box); empty ones do nothing.
    CPanelCommands m_panelCommands;
    // Unattended runs (screenshots, process tests): close the panel after
    // this many milliseconds, grabbing it into m_grabPath first if set.
    int m_autoCloseMs = -1;
    QString m_grabPath;
    // The image file named on the command line, loaded once the panel shows.
    QString m_startFile;

    // Folder of the executable, ending with '/': where the guide lies.
    QString ProgramFolder() const;
    // Where the scratch WAV files, the logs and the debug INI live: the
    // program folder, or the user's data folder when that is not writable.
    QString WorkingFolder() const;
};
