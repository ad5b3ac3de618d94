// The serial port as a unit transfer sees it: opening and configuring the
// line, the worker that moves the bytes, and the transfer request shared with
// that worker under the transfer mutex. CSerialTransferLink forwards to the
// program's CSerialPort; logic tests put a scripted line behind it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "serialport.h"

class ITransferLink {
public:
    virtual ~ITransferLink() = default;

    virtual int32_t Open(const char* portName, uint32_t inQueue, uint32_t outQueue) = 0;
    virtual int32_t Close() = 0;
    virtual bool IsOpen() = 0;
    virtual int32_t SetupBaudrate(int32_t baudRate) = 0;
    virtual int32_t SetupHandshakingMode(int mode) = 0;
    virtual int32_t SetTimeoutForIO() = 0;
    virtual int32_t Purge() = 0;
    virtual int32_t SetMask(uint32_t mask) = 0;
    virtual bool GetCTS() = 0;
    virtual bool GetDSR() = 0;
    virtual bool GetRLSD() = 0;
    virtual int32_t StartWorker() = 0;

    // The caller holds TransferMutex() for these three.
    virtual void SendData(const void* data, uint32_t length) = 0;
    virtual TransferRequest& Request() = 0;
    // Send length and every request field back to 0.
    virtual void ClearTransfer() = 0;

    virtual std::mutex& TransferMutex() = 0;
    // Who is told, on the worker's thread, that the transfer can step now.
    virtual void SetEventSink(ITransferEventSink* sink) { (void)sink; }
    // True once the port has gone away under a running transfer.
    virtual bool IsLineGone() { return false; }
    // A line for the platform's debug output.
    virtual void Trace(const std::string& text) = 0;
};
