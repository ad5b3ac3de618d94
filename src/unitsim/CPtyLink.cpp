#include "CPtyLink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct SSpeed {
    unsigned baud;
    speed_t code;
};

const SSpeed kSpeeds[] = {
    {1200, B1200},   {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

unsigned BaudOf(speed_t code)
{
    for (const auto& s : kSpeeds)
        if (s.code == code)
            return s.baud;
    return 0;
}

}  // namespace

CPtyLink::CPtyLink(const CLinePacer& pacer, const volatile std::sig_atomic_t* stop) : m_pacer(pacer), m_stop(stop) { }

CPtyLink::~CPtyLink()
{
    Close();
}

speed_t CPtyLink::SpeedConstant(unsigned baud)
{
    for (const auto& s : kSpeeds)
        if (s.baud == baud)
            return s.code;
    return B0;
}

bool CPtyLink::Open(std::string* error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        *error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    m_slavePath = name;
    // Our own slave descriptor keeps the pty alive while no host has it open;
    // without it the master reads EIO and poll reports it readable for ever.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        *error = "cannot open " + m_slavePath + ": " + std::strerror(errno);
        Close();
        return false;
    }
    // A fresh port is raw at 9600 baud: a host must set the unit's rate itself.
    struct termios t { };
    if (::tcgetattr(m_slave, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        ::tcsetattr(m_slave, TCSANOW, &t);
    }
    const int flags = ::fcntl(m_master, F_GETFL);
    ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void CPtyLink::Close()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = -1;
    m_slave = -1;
}

void CPtyLink::Vanish()
{
    // Closing the master hangs up every open slave: the host sees POLLHUP and
    // EIO, as when a USB adapter is pulled.
    Close();
}

ssize_t CPtyLink::Receive(uint8_t* buf, size_t max, int timeoutMs)
{
    if (m_master < 0)
        return -1;
    struct pollfd p {
        m_master, POLLIN, 0
    };
    const int rc = ::poll(&p, 1, timeoutMs);
    if (rc <= 0)
        return rc < 0 && errno != EINTR ? -1 : 0;
    if (!(p.revents & POLLIN))
        return (p.revents & (POLLERR | POLLNVAL)) ? -1 : 0;

    size_t want = max;
    int64_t base = 0;
    if (!m_pacer.Fast()) {
        int queued = 0;
        if (::ioctl(m_master, FIONREAD, &queued) == 0 && queued > 0 && static_cast<size_t>(queued) < want)
            want = static_cast<size_t>(queued);
        if (want > m_pacer.SliceBytes())
            want = m_pacer.SliceBytes();
        // The bytes reach the unit one line time apart. While the host keeps
        // bytes queued the line never idles, so the schedule runs on from the
        // last deadline even when this thread woke late; only a line that
        // went quiet starts again from now.
        const int64_t now = CLinePacer::NowNs();
        base = (m_rxBacklog || m_rxFreeAt > now) ? m_rxFreeAt : now;
        if (!CLinePacer::SleepUntil(base + m_pacer.BytesNs(want)) && Stopping())
            return 0;
    }
    const ssize_t n = ::read(m_master, buf, want);
    if (n < 0)
        return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    if (!m_pacer.Fast()) {
        m_rxFreeAt = base + m_pacer.BytesNs(static_cast<size_t>(n));
        int left = 0;
        m_rxBacklog = ::ioctl(m_master, FIONREAD, &left) == 0 && left > 0;
    }
    return n;
}

bool CPtyLink::Send(const uint8_t* data, size_t n)
{
    size_t done = 0;
    bool sending = false;  // the line is carrying this reply without a gap
    int64_t lastProgress = CLinePacer::NowNs();
    while (done < n) {
        if (m_master < 0 || Stopping())
            return false;
        size_t k = n - done;
        int64_t base = 0;
        if (!m_pacer.Fast()) {
            if (k > m_pacer.SliceBytes())
                k = m_pacer.SliceBytes();
            // Bytes leave no sooner than the line can have carried them. Within
            // one reply the line is busy without a gap, so a late wake does not
            // move the schedule.
            const int64_t now = CLinePacer::NowNs();
            base = (sending || m_txFreeAt > now) ? m_txFreeAt : now;
            if (!CLinePacer::SleepUntil(base + m_pacer.BytesNs(k)) && Stopping())
                return false;
        }
        const ssize_t w = ::write(m_master, data + done, k);
        if (w > 0) {
            if (!m_pacer.Fast())
                m_txFreeAt = base + m_pacer.BytesNs(static_cast<size_t>(w));
            done += static_cast<size_t>(w);
            sending = true;
            lastProgress = CLinePacer::NowNs();
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // The host is not reading: wait for room, but not for ever.
        if (CLinePacer::NowNs() - lastProgress > static_cast<int64_t>(kStuckMs) * 1000000)
            return false;
        // The host held the line: once there is room, timing starts afresh.
        sending = false;
        struct pollfd p {
            m_master, POLLOUT, 0
        };
        ::poll(&p, 1, 100);
    }
    return true;
}

bool CPtyLink::Pause(unsigned ms)
{
    const int64_t until = CLinePacer::NowNs() + static_cast<int64_t>(ms) * 1000000;
    while (CLinePacer::NowNs() < until) {
        if (Stopping())
            return false;
        // Short slices so that a stop request is noticed promptly.
        int64_t next = CLinePacer::NowNs() + 100 * 1000000LL;
        CLinePacer::SleepUntil(next < until ? next : until);
    }
    return !Stopping();
}

bool CPtyLink::HostSettingsMatch(std::string* why) const
{
    struct termios t { };
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0)
        return true;  // nothing to judge by
    return SettingsMatch(t, m_pacer.Baud(), why);
}

bool CPtyLink::SettingsMatch(const struct termios& t, unsigned baud, std::string* why)
{
    const speed_t want = SpeedConstant(baud);
    const speed_t out = ::cfgetospeed(&t);
    const speed_t in = ::cfgetispeed(&t);
    if (out != want || (in != B0 && in != want)) {
        if (why) {
            const unsigned got = BaudOf(out != want ? out : in);
            *why = "host line at " + (got ? std::to_string(got) : std::string("an unknown rate")) + " baud, unit at " +
                   std::to_string(baud);
        }
        return false;
    }
    if ((t.c_cflag & CSIZE) != CS8 || (t.c_cflag & PARENB) || (t.c_cflag & CSTOPB)) {
        if (why)
            *why = "host line not 8N1";
        return false;
    }
    return true;
}

uint8_t CPtyLink::Garble(uint8_t b)
{
    // Bytes read at the wrong rate or framing come out as high-bit noise.
    return static_cast<uint8_t>(0x80 | ((b * 37u) ^ 0x55u));
}
