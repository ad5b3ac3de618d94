#pragma once
// Transcript of the unit's side of the line: every command and reply with the
// wall-clock time and the milliseconds since start.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CUnitLog {
public:
    CUnitLog();
    ~CUnitLog();
    CUnitLog(const CUnitLog&) = delete;
    CUnitLog& operator=(const CUnitLog&) = delete;

    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return m_file != nullptr; }
    void Write(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // Bytes as text: printable ASCII as is, others as \r, \n or \xHH; long runs
    // are cut after their first bytes with the total length noted.
    static std::string Printable(const uint8_t* data, size_t n, size_t keep = 24);

private:
    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};
