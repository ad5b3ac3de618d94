// The program's one application object: the unit image, the program folder,
// the remembered folders and the state shared by every dialog.
#pragma once

#include <QApplication>
#include <QString>

#include <cstdint>
#include <memory>

#include "CGetAppPath.h"
#include "cMemoryMap.h"
#include "CPanelCommands.h"

class QLockFile;

// Audio activity in progress; one at a time, shared by the preview and the
// edit dialog.
enum AudioState : uint8_t { AudioIdle = 0, AudioPlaying = 1, AudioRecording = 2 };

class CTXDoruvevAzadApp : public QApplication {
public:
    CTXDoruvevAzadApp(int& argc, char** argv);
    ~CTXDoruvevAzadApp() override;

    // Start-up: refuses a second copy, reads the settings, runs the main
    // panel. Always false, so the caller ends the program when it returns.
    bool InitInstance();
    // End of a run that got past the single-instance check.
    int ExitInstance();

    // Takes the single-instance lock; false when another copy holds it.
    bool TakeInstanceLock();
    void ReleaseInstanceLock();
    bool HoldsInstanceLock() const { return m_instanceMutex != nullptr; }

    void ReadSettings();
    void WriteSettings();

    // Folder of the executable, ending with '/': where the guide lies.
    QString ProgramFolder() const;
    // Where the scratch WAV files, the logs and the debug INI live: the
    // program folder, or the user's data folder when that is not writable.
    QString WorkingFolder() const;

    std::unique_ptr<QLockFile> m_instanceMutex;
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
    // unit communications); empty ones do nothing.
    CPanelCommands m_panelCommands;
    // Unattended runs (screenshots, process tests): close the panel after
    // this many milliseconds, grabbing it into m_grabPath first if set.
    int m_autoCloseMs = -1;
    QString m_grabPath;
};

// The running application object (null before it is constructed).
CTXDoruvevAzadApp* TheApp();

// Name of the single-instance lock, after the system-wide mutex it stands for.
extern const char* const kInstanceMutexName;
