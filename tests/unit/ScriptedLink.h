// A serial line for logic tests: records what the transfer sends and
// configures, and delivers the unit's replies into the transfer request the
// way the worker does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ITransferLink.h"

class ScriptedLink : public ITransferLink {
public:
    int32_t Open(const char* portName, uint32_t, uint32_t) override
    {
        openedName = portName;
        if (openResult != 0)
            return openResult;
        open = true;
        return 0;
    }
    int32_t Close() override
    {
        open = false;
        closes++;
        return 0;
    }
    bool IsOpen() override { return open; }
    int32_t SetupBaudrate(int32_t rate) override
    {
        baud = rate;
        return baudResult;
    }
    int32_t SetupHandshakingMode(int mode) override
    {
        handshaking = mode;
        return 0;
    }
    int32_t SetTimeoutForIO() override { return 0; }
    int32_t Purge() override
    {
        purges++;
        return 0;
    }
    int32_t SetMask(uint32_t m) override
    {
        mask = m;
        return 0;
    }
    bool GetCTS() override { return true; }
    bool GetDSR() override { return false; }
    bool GetRLSD() override { return true; }
    int32_t StartWorker() override { return 0; }
    void SendData(const void* data, uint32_t length) override
    {
        auto p = static_cast<const uint8_t*>(data);
        sent.emplace_back(p, p + length);
    }
    TransferRequest& Request() override { return request; }
    void ClearTransfer() override { request = TransferRequest(); }
    std::mutex& TransferMutex() override { return mutex; }
    void Trace(const std::string& text) override { traces.push_back(text); }
    bool IsLineGone() override { return lineGone; }

    // The unit's reply, delivered as the worker would; surplus bytes are dropped.
    void Deliver(const std::vector<uint8_t>& bytes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (uint8_t b : bytes) {
            if (!request.receiveEnabled || request.bytesExpected == 0)
                break;
            *request.destination++ = b;
            request.bytesExpected--;
        }
    }
    void Deliver(const std::string& text) { Deliver(std::vector<uint8_t>(text.begin(), text.end())); }
    std::string SentText(size_t i) const { return std::string(sent.at(i).begin(), sent.at(i).end()); }
    uint8_t State() const { return request.protocolState; }

    bool open = false;
    bool lineGone = false;
    int32_t openResult = 0;
    int32_t baudResult = 0;
    int32_t baud = 0;
    int handshaking = -1;
    uint32_t mask = 0xFFFFFFFF;
    int closes = 0;
    int purges = 0;
    std::string openedName;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::string> traces;
    TransferRequest request;
    std::mutex mutex;
};
