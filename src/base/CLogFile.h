// The program log "ORMID.log" in the working folder; off unless the debug INI
// file "TXDoruvevAzad.ini" there has a non-zero Log in section [DEBUG].
// Written from the user-interface thread and the serial worker thread: a
// process mutex and an advisory lock on the file keep each message whole.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens the log in the program's working folder.
    bool Open(const char* fileName);
    // Opens the log in the given folder, reading the debug switch from there.
    bool Open(const char* fileName, const std::string& folder);
    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Close();
    bool IsOpen() const;

    static constexpr uint32_t kWrapAt = 0x80000;     // 524,288 bytes
    static constexpr size_t kLineLength = 510;       // characters before CR LF
    static constexpr size_t kTextSize = 1024;        // formatted message, with its NUL

private:
    void WriteLocked(const char* text);

    mutable std::mutex m_lock;
    int m_file = -1;
    uint32_t m_writePos = 0;
    bool m_open = false;
    int m_level = 0;
    char m_text[kTextSize] = {};
    char m_prefix[255] = {};
};

// The one program log.
CLogFile& TheLog();

// One line describing the operating system, for the log.
std::string GetOsDescription();
