// The program folder: the folder that holds the running executable, ending
// with '/'. Working files (scratch WAV files, the log, the debug INI file) live
// there, or in the user's data folder when the program folder is not writable.
#pragma once

#include <string>

class CGetAppPath {
public:
    CGetAppPath();
    virtual ~CGetAppPath() = default;

    const std::string& GetModulePath() const { return m_modulePath; }
    const std::string& GetName() const { return m_name; }
    const std::string& GetDrive() const { return m_drive; }  // always empty here
    const std::string& GetDirectory() const { return m_directory; }
    const std::string& GetExtension() const { return m_extension; }
    // Folder of the executable with the trailing '/', e.g. "/opt/ormid/bin/".
    const std::string& GetFolder() const { return m_folder; }

    // The same folder as a plain value, computed once per process.
    static const std::string& ProgramFolder();
    // Where working files go: the program folder when it is writable,
    // otherwise $XDG_DATA_HOME/ORMID/ (~/.local/share/ORMID/), created on
    // demand. ORMID_WORKING_FOLDER, when set, overrides both (tests use it).
    // Ends with '/'.
    static std::string WorkingFolder();

private:
    std::string m_modulePath;
    std::string m_name;
    std::string m_drive;
    std::string m_directory;
    std::string m_extension;
    std::string m_folder;
};
