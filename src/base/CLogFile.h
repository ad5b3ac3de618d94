// The program log "ORMID.log" in the working folder; off unless the debug INI
// file "TXDoruvevAzad.ini" there has a non-zero Log in section [DEBUG].
// Written from the user-interface thread and the serial worker thread: a
// process mutex and an advisory lock on the file keep each message whole.
//
// The panel replaces its log at every start and writes it as a ring. Runs of
// ormid-cli, of which many may be going at once beside a running panel, keep a
// log of their own ("ormid-cli.log") that each run appends to: no run ever
// cuts or overwrites another's lines. Either log is only ever a regular file
// reached without a symbolic link; anything else leaves logging off.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <sys/types.h>

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    enum Mode {
        kReplace,  // a new log for this run, written as a ring
        kAppend,   // lines added at the end, under the file's lock
    };

    // Opens the log in the program's working folder.
    bool Open(const char* fileName, Mode mode = kReplace);
    // Opens the log in the given folder, reading the debug switch from there.
    bool Open(const char* fileName, const std::string& folder, Mode mode = kReplace);
    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Close();
    bool IsOpen() const;

    static constexpr uint32_t kWrapAt = 0x80000;  // 524,288 bytes
    static constexpr size_t kLineLength = 510;    // characters before CR LF
    static constexpr size_t kTextSize = 1024;     // formatted message, with its NUL
    // An appended log past this size is moved aside to NAME.old when a run
    // opens it, so that it never grows without end.
    static constexpr off_t kAppendLimit = 0x200000;

private:
    void WriteLocked(const char* text);
    int OpenAppended(const std::string& path);

    mutable std::mutex m_lock;
    int m_file = -1;
    uint32_t m_writePos = 0;
    bool m_open = false;
    bool m_append = false;
    int m_level = 0;
    char m_text[kTextSize] = {};
    char m_prefix[255] = {};
};

// The one program log.
CLogFile& TheLog();

// One line describing the operating system, for the log.
std::string GetOsDescription();
