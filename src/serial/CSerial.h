// One serial port on a POSIX tty: open, line settings, time-out modes, line
// events, read, write, purge, line errors and modem lines. Every operation
// returns a code (0 success, errno for system failures, or one of the codes
// below) and remembers it for GetLastError().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "DebugTrace.h"
#include "PortDefaults.h"

struct termios2;
class CNetworkLine;

// Codes the rest of the program relies on.
constexpr int32_t SERIAL_NOT_OPEN = 6;                        // the port is not open
constexpr int32_t SERIAL_ALREADY_OPEN = 1247;                 // Open on an open port
constexpr int32_t SERIAL_INVALID_ARG = int32_t(0x80070057u);  // unknown mode number
constexpr int32_t SERIAL_EOF = 38;                            // the line hung up
// Network ports (rfc2217:// and tcp://).
constexpr int32_t SERIAL_NET_NAME_NOT_FOUND = 0x4E450001;  // the host name does not resolve
constexpr int32_t SERIAL_NET_IN_USE = 0x4E450002;          // the server turned us away at once
constexpr int32_t SERIAL_NET_BAD_NAME = 0x4E450003;        // not a well-formed network port name
// The server answered a baud rate with another one: this base plus the rate asked for.
constexpr int32_t SERIAL_NET_BAUD_REFUSED = 0x4E500000;
constexpr int32_t SerialNetBaudRefused(int baud)
{
    return SERIAL_NET_BAUD_REFUSED + (baud & 0xFFFFF);
}

// Line events (event masks).
constexpr uint32_t EV_RXCHAR = 0x0001;
constexpr uint32_t EV_RXFLAG = 0x0002;
constexpr uint32_t EV_TXEMPTY = 0x0004;
constexpr uint32_t EV_CTS = 0x0008;
constexpr uint32_t EV_DSR = 0x0010;
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_BREAK = 0x0040;
constexpr uint32_t EV_ERR = 0x0080;
constexpr uint32_t EV_RING = 0x0100;

// Line-error flags returned by GetError().
constexpr uint32_t CE_RXOVER = 0x0001;
constexpr uint32_t CE_OVERRUN = 0x0002;
constexpr uint32_t CE_RXPARITY = 0x0004;
constexpr uint32_t CE_FRAME = 0x0008;
constexpr uint32_t CE_BREAK = 0x0010;

// The read and write time-outs as the program sets them. Reads never wait on
// this platform (the port is non-blocking); the values are kept for callers
// that pace themselves on them.
struct SerialTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};

struct SerialProperties {
    uint32_t maxBaud = 0;
    uint32_t inQueue = 0;          // bytes waiting in the driver's input queue
    uint32_t outQueue = 0;         // bytes waiting in the driver's output queue
    bool hasLineCounters = false;  // the driver counts framing, parity and overrun errors
    bool hasModemLines = false;    // the driver reports CTS, DSR and CD
};

class CSerial {
public:
    CSerial();
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // Opens the device exclusively, raw 8N1, non-blocking; the stored default of
    // the port (see PortDefaults.h) is applied before the caller's settings.
    // The queue sizes are accepted for the caller's sake; the driver's are fixed.
    virtual int32_t Open(const char* port, uint32_t inQueue, uint32_t outQueue);
    virtual int32_t Close();

    // parity: 0 none, 1 odd, 2 even, 3 mark, 4 space; stopBits: 0 one, 1 one and a half, 2 two.
    int32_t Setup(int baud, int dataBits, int parity, int stopBits);
    int32_t SetEventChar(uint8_t eventChar, bool addToMask);
    int32_t SetMask(uint32_t mask);
    // Waits up to timeoutMs (-1: no limit) for input, then looks at the line:
    // the events found go to GetEventsReceived(). A hang-up returns SERIAL_EOF.
    int32_t WaitEvent(int timeoutMs);
    // Looks at the line without waiting and adds what changed to the received
    // events: queued input, modem-line changes, breaks and line errors.
    int32_t CheckEvents();
    int32_t SetupHandshaking(int mode);   // 0 none, 1 hardware (RTS/CTS), 2 software (XON/XOFF)
    int32_t SetupReadTimeouts(int mode);  // 0 return at once with what is queued, 1 blocking
    int32_t SetTimeoutForIO();

    int GetBaudrate();
    int GetDataBits();
    int GetParity();
    int GetStopBits();
    int GetHandshaking();
    uint32_t GetEventMask();
    uint8_t GetEventChar();
    uint32_t GetEventsReceived() const { return m_eventsReceived; }
    SerialTimeouts GetTimeouts() const { return m_timeouts; }

    // Writes what the driver takes now; *written (or *length) gets the count.
    int32_t Write(const void* data, uint32_t* length);
    int32_t Write(const void* data, uint32_t length, uint32_t* written);
    // Reads at most maxLength of the bytes already queued; never waits.
    int32_t Read(void* buffer, uint32_t maxLength, uint32_t* count);

    int32_t Purge();
    uint32_t GetError();
    int GetCTS();
    int GetDSR();
    int GetRLSD();
    bool GetProperties(SerialProperties& properties);
    // Lets the operator edit the stored default of a port through the editor
    // and stores it when confirmed; closes this port first if it is open.
    bool ShowConfigDialog(const char* port, IPortConfigEditor* editor, PortDefaults& config);
    bool IsOpen() const { return m_fd >= 0; }
    int32_t SetupBaudrate(int baud);
    int32_t SetupHandshakingMode(int mode);
    int32_t GetLastError() const { return m_lastError.load(); }
    const std::string& PortName() const { return m_portName; }
    // After Open: the stored default of the port when the device could not
    // take it (it was then left out), else empty. A pseudo-terminal, for
    // one, has no parity.
    const std::string& RefusedDefaults() const { return m_refusedDefaults; }
    int Descriptor() const { return m_fd; }

    // The port is on the network (rfc2217:// or tcp://).
    bool IsNetwork() const { return m_net != nullptr; }
    // The text for a code of this layer.
    static std::string ErrorText(int32_t code);
    // What to tell the operator when a port cannot be opened.
    static std::string OpenFailureText(const std::string& port, int32_t code);
    // What to tell the operator when the port went away during a transfer.
    static std::string LineLostText(const std::string& port);

protected:
    int32_t Fail(int32_t code)
    {
        m_lastError = code;
        return code;
    }

    // The dialog thread and the worker both call operations of the port.
    std::atomic<int32_t> m_lastError{0};
    int m_fd = -1;
    uint32_t m_eventsReceived = 0;
    std::atomic<uint32_t> m_eventMask{0};

private:
    struct LineCounters {
        uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    // The guards of the operations: 0 to go on, else the failure, traced as
    // "CSerial::<operation> - <why>" and remembered for GetLastError().
    // RequireOpen wants the port open; RequireState also reads its line state.
    int32_t RequireOpen(const char* operation);
    int32_t RequireState(const char* operation, termios2& tio);
    int32_t TraceFailure(const char* operation, const char* why, int32_t code);
    bool ReadCounters(LineCounters& counters);
    int ModemStatus(bool& ok);
    // One modem line (TIOCM_*): 1 on, 0 off or unknown.
    int ModemLine(const char* operation, int line);
    int32_t ApplyDefaults(const PortDefaults& defaults);

    int32_t OpenNetwork(const char* port);

    std::unique_ptr<CNetworkLine> m_net;  // set while a network port is open
    uint8_t m_eventChar = 0;              // a network port has no line state to keep it in
    std::string m_portName;
    std::string m_refusedDefaults;
    SerialTimeouts m_timeouts;
    bool m_hasCounters = false;
    LineCounters m_errorBase;  // counters at the last GetError()
    LineCounters m_eventBase;  // counters at the last CheckEvents()
    int m_modemBase = 0;       // modem lines at the last CheckEvents()
};
