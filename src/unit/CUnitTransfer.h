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
#include <vector>

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
    // After a write, read back the sectors it programmed and compare them.
    bool verifyAfterWrite = false;
};

class CUnitTransfer {
public:
    enum class Mode { Read, Write, Verify };

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
        // A unit that does not answer "P1" may still be taking the bytes of a
        // sector whose write was cut off: complete it, then start again.
        kCompletePartialSector = 11,
        kSettleLine = 12,
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
    // Silence after "P1" that starts completing a cut-off sector.
    static constexpr uint32_t kRecoveryProbeMs = 1000;
    // Filler that completes any sector: the largest one and its checksum.
    static constexpr uint32_t kFillerBytes = 65536 + 2;
    // How far the filler may run ahead of the line.
    static constexpr uint32_t kFillerLead = 2048;
    // Quiet line that ends the recovery.
    static constexpr uint32_t kSettleQuietMs = 200;

    CUnitTransfer(cMemoryMap& image, ITransferLink& link, ITransferView& view);
    ~CUnitTransfer();

    // Replaces the millisecond tick count (tests).
    void SetTickSource(std::function<uint32_t()> tick);
    // Replaces the pause while the line goes quiet before a write (tests
    // that drive the protocol on a fake clock).
    void SetQuietPause(std::function<void(uint32_t ms)> pause);

    // "Read Unit" and "Write Unit". Each opens the port anew; on success the
    // timer is running and the controls are disabled. The first state runs on
    // the first tick, or at once when the caller follows with StepNow().
    void StartRead(const TransferSettings& settings);
    void StartWrite(const TransferSettings& settings);
    // Reads the given sectors (none given: every sector the image uses) and
    // compares them byte for byte with the image; the image is not changed.
    // A list naming a sector past the unit's memory (70 and up) is refused.
    void StartVerify(const TransferSettings& settings, std::vector<uint8_t> sectors = {});
    // One timer tick.
    void Step();
    // Something happened on the line (a reply arrived, a block left, the
    // port went): runs the step it allows and every step that follows
    // without waiting, so the next request or block goes out at once.
    void StepNow();
    // The common end of every transfer; also run when the caller closes.
    void Finish();

    // Fills the "Sectors" list for a write from the image's needed sectors.
    void ShowWriteSectors();

    uint8_t ProtocolState();
    ITransferLink& Link() { return m_link; }
    // True once the last transfer ended with "TX Data read OK" or with the
    // unit leaving programming mode after a write.
    bool Completed() const { return m_completed; }
    bool HasReadBuffer() const { return m_readBuffer != nullptr; }
    float PerByteFactor() const { return m_perByteFactor; }
    uint32_t ChecksumAckLimit() const { return m_checksumAckLimit; }
    // After a verify that ran to its end: the sectors whose bytes differ.
    bool Verified() const { return m_verified; }
    // True while (or after) reading back for a verify.
    bool Verifying() const { return m_mode == Mode::Verify; }
    // Why the port could not be opened or set up (0: it could, or it was
    // never the port's fault).
    int32_t LastOpenError() const { return m_lastOpenError; }
    const std::vector<uint8_t>& DifferingSectors() const { return m_differing; }
    // The time-out of a read reply of a sector of the given length.
    uint32_t SectorReplyLimit(uint32_t length) const;

private:
    bool OpenPort(const TransferSettings& settings);
    void ShowLamps();
    void Progress(const CTransferProgress::Display& display);
    bool TimedOut(uint32_t limitMs);

    void IssueReadRequest(uint8_t sector);
    void IssueAckRequest(uint32_t bytes);
    bool ReadStep(uint8_t state, uint32_t expected);
    bool NextSector();
    void LetTheLineGoQuiet();
    bool FinishVerify();
    bool StartTransfer(const TransferSettings& settings, uint8_t firstState, unsigned periodMs,
                       const char* openFailed);
    bool WriteStep(uint8_t state, uint32_t expected);
    bool RecoveryStep(uint8_t state, uint32_t expected);
    void ArmSink();

    cMemoryMap& m_image;
    ITransferLink& m_link;
    ITransferView& m_view;
    std::function<uint32_t()> m_tick;
    std::function<void(uint32_t ms)> m_quietPause;

    std::unique_ptr<uint8_t[]> m_readBuffer;
    // A read collects the sectors here; they reach the image only when the
    // whole read succeeded.
    std::unique_ptr<uint8_t[]> m_stage;
    Mode m_mode = Mode::Read;
    std::string m_portName;
    int m_readLast = 0;
    std::vector<uint8_t> m_written;     // sectors the write programmed
    std::vector<uint8_t> m_verifyList;  // sectors the verify reads, in order
    size_t m_verifyIndex = 0;
    std::vector<uint8_t> m_differing;
    bool m_verifyAfterWrite = false;
    bool m_verified = false;
    int32_t m_lastOpenError = 0;
    uint8_t m_ack[5] = {};
    // Completing a cut-off sector before a write.
    bool m_recoveryTried = false;
    bool m_fillerStopped = false;
    uint32_t m_fillerSent = 0;
    uint32_t m_recoveryStart = 0;
    uint32_t m_quietSince = 0;
    uint8_t m_recoveryReply[2] = {};
    uint8_t m_sink[256] = {};
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
