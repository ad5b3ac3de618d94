// The line as it runs: waiting for and looking at line events, reading and
// writing bytes, purging, line errors and modem lines. Port set-up lives in
// CSerial.cpp.
#include "CSerial.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <linux/serial.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CLogFile.h"
#include "CNetworkLine.h"

namespace {

int32_t Errno()
{
    return errno != 0 ? errno : EIO;
}

}  // namespace

int32_t CSerial::WaitEvent(int timeoutMs)
{
    m_lastError = 0;
    if (!IsOpen())
        return Fail(SERIAL_NOT_OPEN);
    pollfd pfd{m_fd, POLLIN, 0};
    int n = poll(&pfd, 1, timeoutMs);
    if (n < 0 && errno != EINTR)
        return Fail(Errno());
    if (n > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return Fail(SERIAL_EOF);
    return CheckEvents();
}

int32_t CSerial::CheckEvents()
{
    m_lastError = 0;
    if (!IsOpen())
        return Fail(SERIAL_NOT_OPEN);
    int queued = 0;
    if (ioctl(m_fd, FIONREAD, &queued) == 0 && queued > 0)
        m_eventsReceived |= EV_RXCHAR;
    bool ok = false;
    int lines = ModemStatus(ok);
    if (ok) {
        int changed = lines ^ m_modemBase;
        if (changed & TIOCM_CTS)
            m_eventsReceived |= EV_CTS;
        if (changed & TIOCM_DSR)
            m_eventsReceived |= EV_DSR;
        if (changed & TIOCM_CD)
            m_eventsReceived |= EV_RLSD;
        if ((lines & ~m_modemBase) & TIOCM_RI)
            m_eventsReceived |= EV_RING;
        m_modemBase = lines;
    }
    LineCounters now;
    if (m_hasCounters && ReadCounters(now)) {
        if (now.brk != m_eventBase.brk)
            m_eventsReceived |= EV_BREAK;
        if (now.frame != m_eventBase.frame || now.overrun != m_eventBase.overrun || now.parity != m_eventBase.parity ||
            now.bufOverrun != m_eventBase.bufOverrun)
            m_eventsReceived |= EV_ERR;
        m_eventBase = now;
    }
    return 0;
}

int32_t CSerial::Write(const void* data, uint32_t* length)
{
    uint32_t written = 0;
    int32_t code = Write(data, length ? *length : 0, &written);
    if (length)
        *length = written;
    return code;
}

int32_t CSerial::Write(const void* data, uint32_t length, uint32_t* written)
{
    if (written)
        *written = 0;
    if (int32_t code = RequireOpen("Write"))
        return code;
    if (length == 0)
        return 0;
    ssize_t n;
    do {
        // A network port's end of its socket pair must not raise SIGPIPE
        // when the connection is gone.
        n = m_net ? ::send(m_fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(m_fd, data, length);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        // A full output queue is not a failure: the rest goes when there is room.
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        int32_t code = Errno();
        TheLog().Write("CSerial::Write - Unable to write the data");
        return Fail(code);
    }
    if (written)
        *written = uint32_t(n);
    return 0;
}

int32_t CSerial::Read(void* buffer, uint32_t maxLength, uint32_t* count)
{
    uint32_t local = 0;
    uint32_t& got = count ? *count : local;
    got = 0;
    if (int32_t code = RequireOpen("Read"))
        return code;
    int queued = 0;
    if (ioctl(m_fd, FIONREAD, &queued) != 0)
        return Fail(Errno());
    if (queued <= 0 || maxLength == 0)
        return 0;
    uint32_t want = uint32_t(queued) < maxLength ? uint32_t(queued) : maxLength;
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, want);
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
        TheLog().Write("CSerial::Read - EOF");
        return Fail(SERIAL_EOF);
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return Fail(Errno());
    }
    got = uint32_t(n);
    return 0;
}

int32_t CSerial::Purge()
{
    if (int32_t code = RequireOpen("Purge"))
        return code;
    if (m_net) {
        // What the server still holds, then what reached this end.
        int32_t code = m_net->Purge();
        char discard[4096];
        while (::recv(m_fd, discard, sizeof discard, MSG_DONTWAIT) > 0) { }
        return code != 0 ? Fail(code) : 0;
    }
    if (ioctl(m_fd, TCFLSH, TCIOFLUSH) != 0) {
        DebugTrace("CSerial::Purge - Overlapped completed without result\n");
        return Fail(Errno());
    }
    return 0;
}

bool CSerial::ReadCounters(LineCounters& counters)
{
    if (m_net)
        return false;
    serial_icounter_struct icount{};
    if (ioctl(m_fd, TIOCGICOUNT, &icount) != 0)
        return false;
    counters.frame = uint32_t(icount.frame);
    counters.overrun = uint32_t(icount.overrun);
    counters.parity = uint32_t(icount.parity);
    counters.brk = uint32_t(icount.brk);
    counters.bufOverrun = uint32_t(icount.buf_overrun);
    return true;
}

uint32_t CSerial::GetError()
{
    if (RequireOpen("GetError") != 0)
        return 0;
    // Drivers without counters (a pseudo-terminal) have no line errors to report.
    if (!m_hasCounters)
        return 0;
    LineCounters now;
    if (!ReadCounters(now)) {
        DebugTrace("CSerial::GetError - Unable to obtain COM status\n");
        Fail(Errno());
        return 0;
    }
    uint32_t flags = 0;
    if (now.bufOverrun != m_errorBase.bufOverrun)
        flags |= CE_RXOVER;
    if (now.overrun != m_errorBase.overrun)
        flags |= CE_OVERRUN;
    if (now.parity != m_errorBase.parity)
        flags |= CE_RXPARITY;
    if (now.frame != m_errorBase.frame)
        flags |= CE_FRAME;
    if (now.brk != m_errorBase.brk)
        flags |= CE_BREAK;
    m_errorBase = now;
    return flags;
}

int CSerial::ModemStatus(bool& ok)
{
    int lines = 0;
    if (m_net) {
        ok = m_net->HasModemLines();
        return ok ? m_net->ModemLines() : 0;
    }
    ok = m_fd >= 0 && ioctl(m_fd, TIOCMGET, &lines) == 0;
    return ok ? lines : 0;
}

int CSerial::ModemLine(const char* operation, int line)
{
    m_lastError = 0;
    bool ok = false;
    const int lines = ModemStatus(ok);
    if (!ok) {
        // A pseudo-terminal has no modem lines; that is no failure worth a trace.
        if (m_fd < 0 || (!m_net && errno != ENOTTY && errno != EINVAL))
            DebugTrace("CSerial::%s - Unable to obtain the modem status\n", operation);
        return 0;
    }
    return (lines & line) ? 1 : 0;
}

int CSerial::GetCTS()
{
    return ModemLine("GetCTS", TIOCM_CTS);
}
int CSerial::GetDSR()
{
    return ModemLine("GetDSR", TIOCM_DSR);
}
int CSerial::GetRLSD()
{
    return ModemLine("GetRLSD", TIOCM_CD);
}

bool CSerial::GetProperties(SerialProperties& properties)
{
    m_lastError = 0;
    termios2 tio{};
    if (!IsOpen() || (!m_net && ioctl(m_fd, TCGETS2, &tio) != 0)) {
        DebugTrace("CSerial::GetProperties - Unable to obtain property.");
        Fail(IsOpen() ? Errno() : SERIAL_NOT_OPEN);
        return false;
    }
    properties = SerialProperties();
    properties.maxBaud = 115200;
    int queued = 0;
    if (ioctl(m_fd, FIONREAD, &queued) == 0)
        properties.inQueue = uint32_t(queued);
    queued = 0;
    if (ioctl(m_fd, TIOCOUTQ, &queued) == 0)
        properties.outQueue = uint32_t(queued);
    properties.hasLineCounters = m_hasCounters;
    bool ok = false;
    ModemStatus(ok);
    properties.hasModemLines = ok;
    return true;
}
