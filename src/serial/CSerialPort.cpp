#include "CSerialPort.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <system_error>
#include <sys/eventfd.h>
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

CSerialPort::CSerialPort() : m_receiveBuffer(kBufferSize) {}

CSerialPort::~CSerialPort()
{
    StopWorker();
    Close();
    for (int* fd : {&m_sendEvent, &m_stopEvent}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void CSerialPort::Signal(int eventFd)
{
    if (eventFd < 0)
        return;
    uint64_t one = 1;
    ssize_t ignored = ::write(eventFd, &one, sizeof one);
    (void)ignored;
}

void CSerialPort::Drain(int eventFd)
{
    uint64_t value = 0;
    ssize_t ignored = ::read(eventFd, &value, sizeof value);
    (void)ignored;
}

void CSerialPort::StopWorker()
{
    if (!m_worker.joinable())
        return;
    // The worker looks at the stop event on every wake and never waits for
    // the transfer mutex while a stop is pending, so this join is short.
    Signal(m_stopEvent);
    m_worker.join();
    m_workerRunning = false;
}

int32_t CSerialPort::Open(const char* port, uint32_t inQueue, uint32_t outQueue)
{
    StopWorker();
    for (int* fd : {&m_sendEvent, &m_stopEvent}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    {
        std::lock_guard<std::mutex> lock(m_transferMutex);
        m_sendQueue.clear();
    }
    if (m_sendEvent < 0 || m_stopEvent < 0) {
        return Fail(errno != 0 ? errno : EMFILE);
    }
    return CSerial::Open(port, inQueue, outQueue);
}

int32_t CSerialPort::Close()
{
    m_lastError = 0;
    if (!IsOpen())
        return 0;
    // The worker must be gone before the descriptor it polls is closed.
    StopWorker();
    Purge();
    CSerial::Close();
    for (int* fd : {&m_sendEvent, &m_stopEvent}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_workerRunning = false;
    m_lastError = 0;
    return 0;
}

int32_t CSerialPort::StartWorker()
{
    m_lastError = 0;
    if (!IsOpen())
        return Fail(SERIAL_NOT_OPEN);
    if (m_workerRunning)
        return Fail(SERIAL_ALREADY_OPEN);
    if (m_worker.joinable())
        m_worker.join();  // ended by itself when the line went away
    Drain(m_stopEvent);
    m_totalDelivered = 0;
    m_writing.clear();
    m_writeOffset = 0;
    m_receiveParked = false;
    m_lastBytesExpected = 0;
    m_workerRunning = true;
    try {
        m_worker = std::thread(&CSerialPort::Worker, this);
    } catch (const std::system_error& e) {
        m_workerRunning = false;
        return Fail(e.code().value() != 0 ? e.code().value() : EAGAIN);
    }
    return 0;
}

void CSerialPort::SendData(const void* data, uint32_t length)
{
    if (length > kBufferSize)
        length = kBufferSize - 1;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_sendQueue.emplace_back(bytes, bytes + length);
    Signal(m_sendEvent);
}

void CSerialPort::ClearTransfer()
{
    m_sendQueue.clear();
    ++m_sendGeneration;
    m_request = TransferRequest();
}

int32_t CSerialPort::GetRcvBuff(uint8_t* buffer, uint32_t* count)
{
    int32_t code = Read(buffer, kMaxRead, count);
    if (code != 0) {
        TheLog().Write("GetRcvBuff ln:%d - Error: %s", 128, ErrorText(code).c_str());
        return -1;
    }
    return 0;
}

int CSerialPort::GetEventPriority()
{
    static const uint32_t kOrder[] = {EV_BREAK, EV_RXCHAR, EV_RLSD, EV_TXEMPTY,
                                      EV_CTS,   EV_DSR,    EV_ERR,  EV_RING};
    uint32_t events = m_eventsReceived & m_eventMask;
    for (uint32_t event : kOrder) {
        if (events & event) {
            // Only the event handled is cleared: a poll can find several at once.
            m_eventsReceived = events & ~event;
            return int(event);
        }
    }
    m_eventsReceived = 0;
    return -1;
}

std::string CSerialPort::ErrorFlagsText(uint32_t flags)
{
    switch (flags) {
    case 0x0001: return "Input buffer overflow";
    case 0x0002: return "Buffer overrun";
    case 0x0004: return "Input parity error";
    case 0x0008: return "Framing error";
    case 0x0010: return "Break condition";
    case 0x0100: return "Output buffer full";
    case 0x0400: return "IO device error";
    case 0x8000: return "Unsupported mode";
    default: return "Unknown";
    }
}

std::string CSerialPort::GetErrorText()
{
    return ErrorFlagsText(GetError());
}

void CSerialPort::LogUnwantedData(const uint8_t* bytes, uint32_t count)
{
    if (!bytes)
        return;
    char text[160];
    int len = snprintf(text, sizeof text, "Unwanted data (%u bytes) received\nFirst few bytes were:\n", count);
    for (uint32_t i = 0; i < count && i < 16 && len < int(sizeof text) - 4; ++i)
        len += snprintf(text + len, sizeof text - size_t(len), "%x ", bytes[i]);
    TheLog().Write("%s", text);
}

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

CSerialPort::Pass CSerialPort::DeliverReceived()
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
            if (code == EIO || code == ENXIO || code == ENODEV)
                return Pass::Lost;
            m_writing.pop_front();
            m_writeOffset = 0;
            continue;
        }
        if (written == 0)
            return Pass::Go;  // the driver's queue is full; wait until it has room
        m_writeOffset += written;
    }
    return Pass::Go;
}

void CSerialPort::EndWorker()
{
    TheLog().Write("Worker Thread Terminated. Total bytes read: %d, dwByteCount=%d",
                   int(m_totalDelivered.load()), int(m_lastBytesExpected));
    m_workerRunning = false;
}

void CSerialPort::LineLost(const char* what)
{
    TheLog().Write("serialport - The port %s is gone (%s); the worker ends", PortName().c_str(), what);
    EndWorker();
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
                case Pass::Go: break;
                case Pass::Stop: EndWorker(); return;
                case Pass::Lost: LineLost("end of file"); return;
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
