// One unit transfer, read or write, as the communications dialog runs it: the
// dialog's transfer state, opening and configuring the port, starting a read
// or a write, one protocol state per Step() under the transfer mutex, and the
// finish step. The caller drives Step() from its timer (200 ms reading, 80 ms
// writing) and sees everything through ITransferView.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CTransferProgress.h"

class cMemoryMap;
class ITransferLink;
class ITransferView;

// What the operator chose for a transfer: port, baud list position (0 is
// "115200", 1 is "57600") and the two check boxes.
struct TransferSettings {
    std::string portName;
    int portPosition = 0;
    int baudPosition = 0;
    bool writeOneSectorAtATime = false;
    bool disableTimeouts = false;
};

class CUnitTransfer {
public:
    // Protocol states; 0 is idle.
    enum : uint8_t {
        kIdle = 0,
        kEnterPgmMode = 1,
        kAwaitPgmModeAck = 2,
        kNextNeededSector = 3,
        kAwaitSectorStartAck = 4,
        kSendSectorData = 5,
        kSendChecksum = 6,
        kAwaitChecksumAck = 7,
        kAwaitPgmResult = 8,
        kLeavePgmMode = 9,
        kAwaitExitAck = 10,
        kRequestSector0 = 23,
        kReceiveSector0 = 24,
        kNextSector = 25,
        kReceiveSector = 26,
    };

    static constexpr uint32_t kReadBufferSize = 4128776;
    static constexpr unsigned kReadPeriodMs = 200;
    static constexpr unsigned kWritePeriodMs = 80;
    static constexpr uint32_t kBlockSize = 1024;
    static constexpr uint32_t kAckTimeoutMs = 5000;
    static constexpr uint32_t kPgmResultTimeoutMs = 10000;

    CUnitTransfer(cMemoryMap& image, ITransferLink& link, ITransferView& view);
    ~CUnitTransfer();

    // Replaces the millisecond tick count (tests).
    void SetTickSource(std::function<uint32_t()> tick);

    // "Read Unit" and "Write Unit". Each opens the port anew; on success the
    // timer is running and the controls are disabled.
    void StartRead(const TransferSettings& settings);
    void StartWrite(const TransferSettings& settings);
    // One timer tick.
    void Step();
    // The common end of every transfer; also run when the caller closes.
    void Finish();

    // Fills the "Sectors" list for a write from the image's needed sectors.
    void ShowWriteSectors();

    uint8_t ProtocolState();
    // True once the last transfer ended with "TX Data read OK" or with the
    // unit leaving programming mode after a write.
    bool Completed() const { return m_completed; }
    bool HasReadBuffer() const { return m_readBuffer != nullptr; }
    float PerByteFactor() const { return m_perByteFactor; }
    uint32_t ChecksumAckLimit() const { return m_checksumAckLimit; }

private:
    bool OpenPort(const TransferSettings& settings);
    void ShowLamps();
    void Progress(const CTransferProgress::Display& display);
    bool TimedOut(uint32_t limitMs);

    void IssueReadRequest(uint8_t sector);
    void IssueAckRequest(uint32_t bytes);
    bool ReadStep(uint8_t state, uint32_t expected);
    bool WriteStep(uint8_t state, uint32_t expected);

    cMemoryMap& m_image;
    ITransferLink& m_link;
    ITransferView& m_view;
    std::function<uint32_t()> m_tick;

    std::unique_ptr<uint8_t[]> m_readBuffer;
    uint8_t m_ack[5] = {};
    uint8_t m_currentSector = 0;
    uint32_t m_sectorLength = 0;
    const uint8_t* m_sendPos = nullptr;
    uint32_t m_bytesToSend = 0;
    uint32_t m_sentCount = 0;
    uint32_t m_transferStart = 0;
    uint32_t m_checksumAckLimit = 0;
    float m_perByteFactor = 0.0f;
    CTransferProgress m_progress;
    bool m_writeOneSectorAtATime = false;
    bool m_disableTimeouts = false;
    bool m_completed = false;
    // A message box raised by a step, shown once the step has let go of the
    // transfer mutex and finished the transfer.
    std::string m_pendingMessage;
    bool m_pendingInformation = false;
};
