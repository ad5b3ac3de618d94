#include "HostPort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int64_t MsLeft(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
}

}  // namespace

Bytes ToBytes(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

HostPort::~HostPort()
{
    Close();
}

bool HostPort::Open(const std::string& path, speed_t speed, bool twoStopBits)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    if (!SetLine(speed, twoStopBits))
        return false;
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

bool HostPort::SetLine(speed_t speed, bool twoStopBits)
{
    struct termios t { };
    if (::tcgetattr(m_fd, &t) != 0)
        return false;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (twoStopBits)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return ::tcsetattr(m_fd, TCSANOW, &t) == 0;
}

void HostPort::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool HostPort::Write(const Bytes& data)
{
    size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (done < data.size()) {
        const ssize_t w = ::write(m_fd, data.data() + done, data.size() - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (MsLeft(deadline) <= 0)
            return false;
        struct pollfd p {
            m_fd, POLLOUT, 0
        };
        ::poll(&p, 1, 100);
    }
    return true;
}

Bytes HostPort::Read(size_t n, int timeoutMs)
{
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        const int64_t left = MsLeft(deadline);
        if (left <= 0)
            break;
        struct pollfd p {
            m_fd, POLLIN, 0
        };
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        uint8_t buf[8192];
        const size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
        const ssize_t r = ::read(m_fd, buf, want);
        if (r > 0)
            out.insert(out.end(), buf, buf + r);
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

Bytes HostPort::ReadUntilQuiet(int quietMs)
{
    Bytes out;
    for (;;) {
        struct pollfd p {
            m_fd, POLLIN, 0
        };
        if (::poll(&p, 1, quietMs) <= 0)
            return out;
        uint8_t buf[8192];
        const ssize_t r = ::read(m_fd, buf, sizeof buf);
        if (r > 0)
            out.insert(out.end(), buf, buf + r);
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            return out;
    }
}

bool HostPort::WaitHangUp(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (MsLeft(deadline) > 0) {
        struct pollfd p {
            m_fd, POLLIN, 0
        };
        if (::poll(&p, 1, static_cast<int>(MsLeft(deadline) > 0 ? MsLeft(deadline) : 0)) <= 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        uint8_t buf[4096];
        const ssize_t r = ::read(m_fd, buf, sizeof buf);
        if (r == 0 || (r < 0 && errno == EIO))
            return true;
    }
    return false;
}
