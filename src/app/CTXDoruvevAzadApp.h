// The program's one application object: the state every part of the program
// shares (CAppState: the unit image, the program folder, the remembered
// folders), the single-instance lock and the settings.
#pragma once

#include <QApplication>

#include <memory>

#include "CAppState.h"

class QLockFile;

class CTXDoruvevAzadApp : public QApplication, public CAppState {
public:
    CTXDoruvevAzadApp(int& argc, char** argv);
    ~CTXDoruvevAzadApp() override;

    // Start-up: refuses a second copy, reads the settings, runs the main
    // panel. Always false, so the caller ends the program when it returns.
    bool InitInstance();
    // End of a run that got past the single-instance check.
    int ExitInstance();

    // Where the single-instance lock and the running copy's socket lie.
    static QString InstanceFolder();
    static QString InstanceSocketPath();
    // Takes the single-instance lock; false when another copy holds it.
    bool TakeInstanceLock();
    void ReleaseInstanceLock();
    bool HoldsInstanceLock() const { return m_instanceMutex != nullptr; }

    void ReadSettings();
    void WriteSettings();

    std::unique_ptr<QLockFile> m_instanceMutex;
};

// The running application object (null before it is constructed).
CTXDoruvevAzadApp* TheApp();

// Name of the single-instance lock, after the system-wide mutex it stands for.
extern const char* const kInstanceMutexName;
