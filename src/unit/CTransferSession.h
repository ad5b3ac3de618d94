// What every unit transfer shares, whichever protocol it runs: the image, the
// line and its transfer request, the operator's view, the clock and the time
// limits, the progress bar, and how the transfer ends (whether it completed
// and the message box it leaves to show). The steppers run their protocols
// over it; the session knows no state of theirs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "CTransferProgress.h"
#include "CWriteJournal.h"
#include "ITransferLink.h"
#include "UnitProtocol.h"

class cMemoryMap;
class ITransferView;

// What the operator chose for a transfer: port, baud list position (0 is
// "115200", 1 is "57600") and the check boxes.
struct TransferSettings {
    std::string portName;
    int portPosition = 0;
    int baudPosition = 0;
    bool writeOneSectorAtATime = false;
    bool disableTimeouts = false;
    // After a write, read back the sectors it programmed and compare them.
    bool verifyAfterWrite = false;
    // Complete a sector cut off by an interrupted write when the unit says
    // nothing to the first command, whether or not a journal tells of one.
    bool recover = false;
};

class CTransferSession : public UnitProtocol {
public:
    // What the running transfer does; a write becomes a verify when it
    // reads back what it programmed.
    enum class Mode { Read, Write, Verify };

    CTransferSession(cMemoryMap& image, ITransferLink& link, ITransferView& view);

    cMemoryMap& Image() { return m_image; }
    ITransferLink& Link() { return m_link; }
    ITransferView& View() { return m_view; }
    Mode GetMode() const { return m_mode; }
    void SetMode(Mode mode) { m_mode = mode; }

    // ---- The clock ----
    // Replaces the millisecond tick count (tests).
    void SetTickSource(std::function<uint32_t()> tick);
    uint32_t Now() const { return m_tick(); }

    // ---- What an interrupted write left on the port ----
    // Reads the port's journal and takes the choice of a recovery; before
    // the port opens.
    void TakeJournal(const TransferSettings& settings);
    CWriteJournal& Journal() { return m_journal; }
    // Writes the journal before a sector goes out; the operator is told once
    // when its place is taken by something that is not the user's file.
    void BeginJournal(uint8_t sector);
    // The unit showed it is inside no cut-off sector: the journal that said
    // otherwise goes, with why in the log.
    void DropJournal(const std::string& why);
    // The sector a write that did not end left open; -1 when none did.
    int InterruptedSector() const { return m_left.interrupted ? m_left.sector : -1; }
    // Whether a unit silent to the transfer's first command is sent the
    // filler that completes a cut-off sector: when asked for, or when a write
    // that did not end left its journal and time-outs are on (the filler
    // starts after a time limit of its own).
    bool RecoveryAllowed() const { return m_recover || (m_left.interrupted && !m_disableTimeouts); }
    bool TimeoutsDisabled() const { return m_disableTimeouts; }

    // ---- The port ----
    // Opens and sets up the port as chosen, shows the lamps and starts the
    // transfer's clock. False when the port could not be opened or set up.
    bool Open(const TransferSettings& settings);
    // Starts the worker on the state the caller entered; false when it could
    // not start.
    bool StartWorker();
    // The common end: timer stopped, request cleared, port closed, controls
    // enabled.
    void Finish();
    uint8_t State();  // takes the transfer mutex
    const std::string& PortName() const { return m_portName; }
    int32_t LastOpenError() const { return m_lastOpenError; }

    // ---- The request; the caller holds the transfer mutex ----
    TransferRequest& Request() { return m_link.Request(); }
    // The next reply lands at destination, bytes long.
    void Expect(uint8_t* destination, uint32_t bytes);
    void Send(const void* data, uint32_t length) { m_link.SendData(data, length); }
    void Send(const std::string& command) { Send(command.data(), uint32_t(command.size())); }
    void Enter(uint8_t state) { Request().protocolState = state; }
    // Into the state, its request timed from now.
    void EnterTimed(uint8_t state);
    uint32_t SinceRequest() { return Now() - Request().requestStartTime; }

    // ---- Time limits ----
    // More than the limit since the request started, unless time-outs are off.
    bool TimedOut(uint32_t limitMs);
    // The line time of so many bytes and a margin.
    uint32_t LineTimeLimit(uint32_t bytes) const;
    // The time-out of a read reply of a sector of the given length.
    uint32_t SectorReplyLimit(uint32_t length) const { return LineTimeLimit(length + kReadReplyExtra); }
    float PerByteFactor() const { return m_perByteFactor; }
    // "[hh:mm:ss:f]" since the transfer started.
    std::string ElapsedText() const;

    // ---- What the operator sees ----
    void Status(const std::string& text);
    // The status that tells why the transfer ends; true, for a step to return.
    bool EndWith(const std::string& status);
    CTransferProgress& Progress() { return m_progress; }
    void ShowProgress(const CTransferProgress::Display& display);
    // A message box raised by a step, shown once the step has let go of the
    // transfer mutex and finished the transfer.
    void PendMessage(const std::string& text, bool information);
    void ShowPendingMessage();

    // ---- The outcome ----
    bool Completed() const { return m_completed; }
    void Complete() { m_completed = true; }

private:
    bool SetUpStep(int32_t code, const std::string& failure);
    // "Reading - %d %%", "Writing - %d %%" or "Verifying - %d %%" as the mode is.
    const char* ProgressFormat() const;

    cMemoryMap& m_image;
    ITransferLink& m_link;
    ITransferView& m_view;
    std::function<uint32_t()> m_tick;
    Mode m_mode = Mode::Read;
    std::string m_portName;
    int32_t m_lastOpenError = 0;
    bool m_disableTimeouts = false;
    bool m_recover = false;
    CWriteJournal m_journal;
    CWriteJournal::Entry m_left;
    float m_perByteFactor = 0.0f;
    uint32_t m_transferStart = 0;
    CTransferProgress m_progress;
    bool m_completed = false;
    std::string m_pendingMessage;
    bool m_pendingInformation = false;
};
