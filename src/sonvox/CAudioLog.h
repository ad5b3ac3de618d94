// The library's diagnostics log: a text file named by the client, written as a
// ring of about one megabyte. Lines carry a local time stamp with milliseconds
// and are at most 255 bytes including CR LF; longer messages continue on
// further lines. One log per process, open from the first successful Open
// until the library is unloaded.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

class CAudioLog {
public:
    // Past this write position the next line goes to the start of the file.
    static constexpr uint32_t kRingBytes = 1020000;
    static constexpr size_t kMaxMessage = 2550;
    static constexpr size_t kMaxLine = 255;

    CAudioLog() = default;
    ~CAudioLog();
    CAudioLog(const CAudioLog&) = delete;
    CAudioLog& operator=(const CAudioLog&) = delete;

    // Opens (creating when missing, keeping the content) the file at path;
    // the last folder of the path is created when it does not exist. True
    // without a change when the log is already open.
    bool Open(const char* path);
    bool IsOpen() const;
    void Write(const char* text);

    // The stamp that starts a message, such as "2026-03-07 09:05:03:007 ".
    static std::string TimeStamp();

private:
    mutable std::mutex m_lock;
    int m_fd = -1;
    uint32_t m_pos = 0;
};

// The one log of the library.
CAudioLog& TheAudioLog();

// Formats like printf and writes the text as one message; does nothing while
// the log is not open.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Failure reports start with the reporting unit's name and source line. Each
// source file defines kLogUnit.
#define SVLOG(fmt, ...) LogPrintf("%s ln:%d - " fmt, kLogUnit, __LINE__, ##__VA_ARGS__)
