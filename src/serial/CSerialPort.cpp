#include "CSerialPort.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <system_error>
#include <sys/eventfd.h>
#include <unistd.h>

#include "CLogFile.h"

CSerialPort::CSerialPort() : m_receiveBuffer(kBufferSize) { }

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
    m_lineGone = false;
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
    static const uint32_t kOrder[] = {EV_BREAK, EV_RXCHAR, EV_RLSD, EV_TXEMPTY, EV_CTS, EV_DSR, EV_ERR, EV_RING};
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
    case 0x0001:
        return "Input buffer overflow";
    case 0x0002:
        return "Buffer overrun";
    case 0x0004:
        return "Input parity error";
    case 0x0008:
        return "Framing error";
    case 0x0010:
        return "Break condition";
    case 0x0100:
        return "Output buffer full";
    case 0x0400:
        return "IO device error";
    case 0x8000:
        return "Unsupported mode";
    default:
        return "Unknown";
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
