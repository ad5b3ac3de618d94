// A pseudo-terminal for tests: the test plays the far end on the master side
// and hands the slave path to the code under test.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <string>
#include <unistd.h>
#include <vector>

class PtyPair {
public:
    PtyPair()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        if (const char* name = ptsname(m_master))
            m_slave = name;
    }
    ~PtyPair() { CloseMaster(); }

    bool Ok() const { return m_master >= 0 && !m_slave.empty(); }
    const std::string& Slave() const { return m_slave; }
    int Master() const { return m_master; }

    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    bool Write(const void* data, size_t length)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (length > 0 && std::chrono::steady_clock::now() < deadline) {
            ssize_t n = ::write(m_master, p, length);
            if (n > 0) {
                p += n;
                length -= size_t(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else {
                pollfd pfd{m_master, POLLOUT, 0};
                poll(&pfd, 1, 20);
            }
        }
        return length == 0;
    }

    // Reads until `count` bytes have come or the deadline passes.
    std::vector<uint8_t> Read(size_t count, int timeoutMs = 10000)
    {
        std::vector<uint8_t> bytes;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t buffer[4096];
        while (bytes.size() < count) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0)
                break;
            pollfd pfd{m_master, POLLIN, 0};
            if (poll(&pfd, 1, int(left < 50 ? left : 50)) <= 0)
                continue;
            size_t want = count - bytes.size();
            ssize_t n = ::read(m_master, buffer, want < sizeof buffer ? want : sizeof buffer);
            if (n > 0)
                bytes.insert(bytes.end(), buffer, buffer + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        return bytes;
    }

    // Everything that arrives until the line has been quiet for quietMs.
    std::string Drain(int quietMs = 100)
    {
        std::string text;
        for (;;) {
            const std::vector<uint8_t> bytes = Read(4096, quietMs);
            if (bytes.empty())
                return text;
            text.append(bytes.begin(), bytes.end());
        }
    }

    // The window size the slave side sees (as a terminal emulator sets it).
    bool SetSize(unsigned short rows, unsigned short columns)
    {
        winsize size{};
        size.ws_row = rows;
        size.ws_col = columns;
        return ioctl(m_master, TIOCSWINSZ, &size) == 0;
    }

private:
    int m_master = -1;
    std::string m_slave;
};
