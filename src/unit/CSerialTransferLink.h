// ITransferLink over the program's serial port.
#pragma once

#include "ITransferLink.h"

class CSerialTransferLink : public ITransferLink {
public:
    explicit CSerialTransferLink(CSerialPort& port) : m_port(port) { }

    int32_t Open(const char* portName, uint32_t inQueue, uint32_t outQueue) override;
    int32_t Close() override;
    bool IsOpen() override;
    int32_t SetupBaudrate(int32_t baudRate) override;
    int32_t SetupHandshakingMode(int mode) override;
    int32_t SetTimeoutForIO() override;
    int32_t Purge() override;
    int32_t SetMask(uint32_t mask) override;
    bool GetCTS() override;
    bool GetDSR() override;
    bool GetRLSD() override;
    int32_t StartWorker() override;
    void SendData(const void* data, uint32_t length) override;
    TransferRequest& Request() override;
    void ClearTransfer() override;
    std::mutex& TransferMutex() override;
    void SetEventSink(ITransferEventSink* sink) override;
    bool IsLineGone() override;
    void Trace(const std::string& text) override;

    CSerialPort& Port() { return m_port; }

private:
    CSerialPort& m_port;
};
