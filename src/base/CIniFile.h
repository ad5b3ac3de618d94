// Reader of plain-text INI files such as the debug file "TXDoruvevAzad.ini".
// Section and key names compare without regard to letter case; keys and values
// are read exactly as written, with no trimming. A key must stand at the very
// start of its line followed directly by '='. Lines are at most 254 characters.
// Only regular files are read (a FIFO of that name never blocks the program).
#pragma once

#include <sstream>
#include <string>

class CIniFile {
public:
    // Files are looked up in the working folder of the program.
    CIniFile();
    // Files are looked up in the given folder.
    explicit CIniFile(const std::string& folder);
    virtual ~CIniFile() = default;

    bool OpenFile(const char* fileName);
    // Section text with its brackets, e.g. "[DEBUG]".
    bool FindSection(const char* section);
    bool FindKey(const char* key, std::string& value);
    // Open, find section and key, close. value is untouched on false.
    bool ReadValue(const char* fileName, const char* section, const char* key, std::string& value);
    void Close();

    static constexpr size_t kMaxLine = 254;

private:
    bool ReadLine(std::string& line, char delimiter);

    std::string m_folder;
    std::istringstream m_stream;
    bool m_isOpen = false;
};
