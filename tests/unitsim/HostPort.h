#pragma once
// The host's end of the simulator's line: the pty slave opened as a serial port
// with plain termios (raw, 8N1).

#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& s);

class HostPort {
public:
    HostPort() = default;
    ~HostPort();
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    bool Open(const std::string& path, speed_t speed = B115200, bool twoStopBits = false);
    bool SetLine(speed_t speed, bool twoStopBits);
    void Close();

    // Writes everything, waiting for room; false on error or after 30 s.
    bool Write(const Bytes& data);
    bool Write(const std::string& text) { return Write(ToBytes(text)); }
    // Reads until n bytes have come or timeoutMs has passed.
    Bytes Read(size_t n, int timeoutMs = 10000);
    // Reads whatever arrives until the line has been quiet for quietMs.
    Bytes ReadUntilQuiet(int quietMs);
    // True when the line is hung up (the other end closed) within timeoutMs.
    bool WaitHangUp(int timeoutMs);

private:
    int m_fd = -1;
};
