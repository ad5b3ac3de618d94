// The serial port with its worker thread: the worker delivers received bytes to
// the buffer named by the transfer request, writes the blocks handed to
// SendData in order, reports modem-line changes and logs line errors.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CSerial.h"

struct TransferRequest {             // guarded by the transfer mutex
    uint32_t requestStartTime = 0;   // tick count when the protocol issued the request
    int32_t receiveEnabled = 0;      // 0: received bytes stay in the driver's queue
    uint8_t protocolState = 0;       // state of the running protocol, 0 when idle
    uint32_t bytesExpected = 0;      // bytes the request still wants
    uint8_t* destination = nullptr;  // where the next expected byte goes
};

// Messages to the owner about modem lines.
constexpr int WM_CTS_CHANGED = 1034;
constexpr int WM_DSR_CHANGED = 1035;
constexpr int WM_RLSD_CHANGED = 1036;

class IModemLineSink {  // called on the worker thread; must not block
public:
    virtual ~IModemLineSink() = default;
    virtual void OnModemLine(int message /*1034 CTS, 1035 DSR, 1036 CD*/, int on) = 0;
};

// Told on the worker thread that a transfer can go on: bytes were delivered
// to the request, every handed-over block has gone to the driver, or the line
// is gone. Must return at once; the worker holds no lock while calling.
class ITransferEventSink {
public:
    virtual ~ITransferEventSink() = default;
    virtual void OnTransferEvent() = 0;
};

class CSerialPort : public CSerial {
public:
    static constexpr uint32_t kBufferSize = 65537;
    static constexpr uint32_t kMaxRead = 4096;

    CSerialPort();
    ~CSerialPort() override;

    int32_t Open(const char* port, uint32_t inQueue, uint32_t outQueue) override;
    int32_t Close() override;
    int32_t StartWorker();
    // Queues one block (at most 65,536 bytes) for the worker; never blocks.
    void SendData(const void* data, uint32_t length);  // caller holds TransferMutex()
    std::mutex& TransferMutex() { return m_transferMutex; }
    TransferRequest& Request() { return m_request; }  // hold TransferMutex()
    void ClearTransfer();                             // hold TransferMutex()
    void SetOwner(IModemLineSink* owner) { m_owner.store(owner); }
    void SetEventSink(ITransferEventSink* sink) { m_eventSink.store(sink); }
    // True once the worker found the port gone (unplugged, hung up); cleared
    // when the port is opened again.
    bool IsLineGone() const { return m_lineGone.load(); }
    bool IsWorkerRunning() const { return m_workerRunning.load(); }
    uint32_t TotalBytesDelivered() const { return m_totalDelivered.load(); }

    int32_t GetRcvBuff(uint8_t* buffer, uint32_t* count);
    int GetEventPriority();
    std::string GetErrorText();
    static std::string ErrorFlagsText(uint32_t flags);
    static void LogUnwantedData(const uint8_t* bytes, uint32_t count);

private:
    enum class Pass { Go, Stop, Lost };
    void Worker();
    void StopWorker();
    bool LockTransfer(std::unique_lock<std::mutex>& lock);
    Pass DeliverReceived();
    Pass DeliverPass(bool& delivered);
    Pass TakeBlocks();
    Pass WritePending();
    void EndWorker();
    void LineLost(const char* what);
    void NotifyTransfer();
    static void Signal(int eventFd);
    static void Drain(int eventFd);

    int m_sendEvent = -1;
    int m_stopEvent = -1;
    std::mutex m_transferMutex;
    TransferRequest m_request;
    std::deque<std::vector<uint8_t>> m_sendQueue;  // handed over, not yet taken by the worker
    std::atomic<uint32_t> m_sendGeneration{0};     // bumped by ClearTransfer to drop taken blocks
    std::vector<uint8_t> m_receiveBuffer;
    std::atomic<IModemLineSink*> m_owner{nullptr};
    std::atomic<ITransferEventSink*> m_eventSink{nullptr};
    std::atomic<bool> m_lineGone{false};
    std::atomic<bool> m_workerRunning{false};
    std::atomic<uint32_t> m_totalDelivered{0};
    std::thread m_worker;

    // Worker-only state.
    std::deque<std::vector<uint8_t>> m_writing;
    size_t m_writeOffset = 0;
    uint32_t m_writingGeneration = 0;
    bool m_receiveParked = false;
    uint32_t m_lastBytesExpected = 0;
};
