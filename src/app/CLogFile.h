// The program log "ORMID.log" in the program folder; off unless the debug INI
// file switches it on. Written from the user-interface thread and the serial
// worker thread.
#pragma once

#include <string>

class CLogFile {
public:
    bool Open(const char* fileName);
    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Close();
    bool IsOpen() const;
};

// The one program log.
CLogFile& TheLog();

// One line describing the operating system, for the log.
std::string GetOsDescription();
