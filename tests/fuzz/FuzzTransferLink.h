// A serial line for the transfer fuzz target: no port and no worker. Bytes
// reach the transfer request the way the worker delivers them, either taken
// from the fuzz input or as the reply a well-behaved unit would give to the
// last command sent.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ITransferLink.h"

class FuzzTransferLink : public ITransferLink {
public:
    // The message table the good unit holds in its sector 0.
    explicit FuzzTransferLink(const uint8_t table[192]);

    int32_t Open(const char*, uint32_t, uint32_t) override;
    int32_t Close() override;
    bool IsOpen() override { return m_open; }
    int32_t SetupBaudrate(int32_t) override { return 0; }
    int32_t SetupHandshakingMode(int) override { return 0; }
    int32_t SetTimeoutForIO() override { return 0; }
    int32_t Purge() override { return 0; }
    int32_t SetMask(uint32_t) override { return 0; }
    bool GetCTS() override { return true; }
    bool GetDSR() override { return true; }
    bool GetRLSD() override { return true; }
    int32_t StartWorker() override { return 0; }
    void SendData(const void* data, uint32_t length) override;
    TransferRequest& Request() override { return m_request; }
    void ClearTransfer() override { m_request = TransferRequest(); }
    std::mutex& TransferMutex() override { return m_mutex; }
    bool IsLineGone() override { return m_lineGone; }
    void Trace(const std::string&) override { }

    // Hands bytes to the request; what it does not ask for is dropped.
    // Returns how many were taken.
    size_t Deliver(const uint8_t* bytes, size_t n);
    // Up to n bytes of the good unit's reply to what is being waited for.
    size_t DeliverGood(size_t n);
    void SetLineGone(bool gone) { m_lineGone = gone; }
    uint64_t BytesSent() const { return m_bytesSent; }
    // True once a reply was asked for without a place to put it.
    bool AskedWithoutDestination() const { return m_noDestination; }

private:
    // The whole good reply to the current request; empty when none is known.
    const std::vector<uint8_t>& GoodReply();

    TransferRequest m_request;
    std::mutex m_mutex;
    bool m_open = false;
    bool m_lineGone = false;
    uint8_t m_table[192];
    std::string m_lastCommand;  // the last text command ("P1\r", "R05\r", "U03\r")
    std::vector<uint8_t> m_reply;
    std::string m_replyFor;  // command and state m_reply was built for
    uint64_t m_bytesSent = 0;
    bool m_noDestination = false;
};
