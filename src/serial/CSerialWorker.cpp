// The worker thread: waits on the port and the two events, delivers received
// bytes to the transfer request, writes the handed-over blocks in order and
// reports modem lines and line errors.
#include "CSerialPort.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "CLogFile.h"

namespace {

// How often the worker looks at the modem lines, which no pseudo-terminal
// and few drivers can signal.
constexpr int kLinePollMs = 50;
// How soon input left in the driver's queue is looked at again.
constexpr int kParkedPollMs = 20;

constexpr uint32_t kWorkerMask = EV_RXCHAR | EV_CTS | EV_ERR;

}  // namespace

bool CSerialPort::LockTransfer(std::unique_lock<std::mutex>& lock)
{
    // A caller that closes the port while holding the transfer mutex must not
    // wait for a worker that waits for the mutex.
    lock = std::unique_lock<std::mutex>(m_transferMutex, std::defer_lock);
    while (!lock.try_lock()) {
        pollfd pfd{m_stopEvent, POLLIN, 0};
        if (poll(&pfd, 1, 2) > 0)
            return false;
    }
    return true;
}

void CSerialPort::NotifyTransfer()
{
    if (ITransferEventSink* sink = m_eventSink.load())
        sink->OnTransferEvent();
}

CSerialPort::Pass CSerialPort::DeliverReceived()
{
    bool delivered = false;
    Pass pass = DeliverPass(delivered);
    // Told after letting go of the mutex, so that the transfer can step at once.
    if (delivered)
        NotifyTransfer();
    return pass;
}

CSerialPort::Pass CSerialPort::DeliverPass(bool& delivered)
{
    std::unique_lock<std::mutex> lock;
    if (!LockTransfer(lock))
        return Pass::Stop;
    if (m_request.receiveEnabled == 0) {
        // Left in the driver's queue until the protocol asks for it.
        m_receiveParked = true;
        return Pass::Go;
    }
    m_receiveParked = false;
    uint8_t* buffer = m_receiveBuffer.data();
    for (;;) {
        uint32_t n = 0;
        if (GetRcvBuff(buffer, &n) != 0)
            return GetLastError() == SERIAL_EOF ? Pass::Lost : Pass::Go;
        if (n == 0)
            return Pass::Go;
        uint32_t k = 0;
        if (m_request.destination != nullptr)
            k = n < m_request.bytesExpected ? n : m_request.bytesExpected;
        if (k > 0) {
            std::memcpy(m_request.destination, buffer, k);
            m_request.destination += k;
            m_request.bytesExpected -= k;
            m_totalDelivered += k;
            delivered = true;
        }
        m_lastBytesExpected = m_request.bytesExpected;
        if (n > k)
            LogUnwantedData(buffer + k, n - k);
    }
}

CSerialPort::Pass CSerialPort::TakeBlocks()
{
    std::unique_lock<std::mutex> lock;
    if (!LockTransfer(lock))
        return Pass::Stop;
    Drain(m_sendEvent);
    uint32_t generation = m_sendGeneration.load();
    if (generation != m_writingGeneration) {
        m_writing.clear();
        m_writeOffset = 0;
        m_writingGeneration = generation;
    }
    while (!m_sendQueue.empty()) {
        m_writing.push_back(std::move(m_sendQueue.front()));
        m_sendQueue.pop_front();
    }
    return Pass::Go;
}

CSerialPort::Pass CSerialPort::WritePending()
{
    if (m_sendGeneration.load() != m_writingGeneration) {
        // The transfer was cleared: what it still had to send is dropped.
        m_writing.clear();
        m_writeOffset = 0;
        return Pass::Go;
    }
    bool wrote = false;
    while (!m_writing.empty()) {
        std::vector<uint8_t>& block = m_writing.front();
        if (m_writeOffset >= block.size()) {
            m_writing.pop_front();
            m_writeOffset = 0;
            continue;
        }
        uint32_t written = 0;
        int32_t code = Write(block.data() + m_writeOffset, uint32_t(block.size() - m_writeOffset), &written);
        if (code != 0) {
            TheLog().Write("serialport ln:%d - Error: %s", 451, ErrorText(code).c_str());
            // A network port's end reports a lost connection as a closed pipe.
            if (code == EIO || code == ENXIO || code == ENODEV || code == EPIPE || code == ECONNRESET)
                return Pass::Lost;
            m_writing.pop_front();
            m_writeOffset = 0;
            continue;
        }
        if (written == 0)
            return Pass::Go;  // the driver's queue is full; wait until it has room
        m_writeOffset += written;
        wrote = true;
    }
    // Everything handed over is with the driver: the transfer may hand over
    // the next block now rather than on its next tick.
    if (wrote)
        NotifyTransfer();
    return Pass::Go;
}

void CSerialPort::EndWorker()
{
    TheLog().Write("Worker Thread Terminated. Total bytes read: %d, dwByteCount=%d", int(m_totalDelivered.load()),
                   int(m_lastBytesExpected));
    m_workerRunning = false;
}

void CSerialPort::LineLost(const char* what)
{
    TheLog().Write("serialport - The port %s is gone (%s); the worker ends", PortName().c_str(), what);
    m_lineGone = true;
    EndWorker();
    NotifyTransfer();
}

void CSerialPort::Worker()
{
    SetMask(kWorkerMask);
    TheLog().Write("Worker Thread Created");
    for (;;) {
        short portEvents = 0;
        if (!m_receiveParked)
            portEvents |= POLLIN;
        if (!m_writing.empty())
            portEvents |= POLLOUT;
        pollfd fds[3] = {{Descriptor(), portEvents, 0}, {m_sendEvent, POLLIN, 0}, {m_stopEvent, POLLIN, 0}};
        int n = poll(fds, 3, m_receiveParked ? kParkedPollMs : kLinePollMs);
        if (n < 0 && errno != EINTR) {
            LineLost(std::strerror(errno));
            return;
        }
        if (n < 0)
            continue;
        bool hungUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;

        // The port first, then the send event, then the stop event; all that
        // are ready are served on the same wake so that none starves.
        if (CheckEvents() != 0) {
            LineLost(ErrorText(GetLastError()).c_str());
            return;
        }
        for (int event = GetEventPriority(); event != -1; event = GetEventPriority()) {
            IModemLineSink* owner = m_owner.load();
            switch (uint32_t(event)) {
            case EV_RXCHAR:
                switch (DeliverReceived()) {
                case Pass::Go:
                    break;
                case Pass::Stop:
                    EndWorker();
                    return;
                case Pass::Lost:
                    LineLost("end of file");
                    return;
                }
                break;
            case EV_CTS:
                if (owner)
                    owner->OnModemLine(WM_CTS_CHANGED, GetCTS());
                break;
            case EV_DSR:
                if (owner)
                    owner->OnModemLine(WM_DSR_CHANGED, GetDSR());
                break;
            case EV_RLSD:
                if (owner)
                    owner->OnModemLine(WM_RLSD_CHANGED, GetRLSD());
                break;
            case EV_ERR:
                TheLog().Write("%s", GetErrorText().c_str());
                break;
            default:
                break;
            }
        }
        if (hungUp) {
            LineLost("hang-up");
            return;
        }
        if (fds[1].revents & POLLIN) {
            if (TakeBlocks() == Pass::Stop) {
                EndWorker();
                return;
            }
        }
        if (!m_writing.empty() && WritePending() == Pass::Lost) {
            LineLost("write failed");
            return;
        }
        if (fds[2].revents & POLLIN) {
            Drain(m_stopEvent);
            EndWorker();
            return;
        }
    }
}
