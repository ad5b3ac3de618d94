// Completing a sector whose write was cut off, so that the unit takes
// commands again, then letting the line settle. The unit counts the sector's
// bytes itself; whatever it answers once it has them all (normally 'N' for
// the checksum) ends the filler. A unit that was not inside a sector hears
// only zeros, which form no command, and its answer to "P1" ends the filler
// the same way. When the line is quiet the transfer goes on in the state
// given at the start.
#pragma once

#include <cstdint>
#include <string>

#include "UnitProtocol.h"

class CTransferSession;

class CRecoveryStepper : public UnitProtocol {
public:
    explicit CRecoveryStepper(CTransferSession& session);

    // Before a transfer: nothing tried yet.
    void Reset();
    // The unit has said nothing to the transfer's first command (named by
    // command) for a while: when a recovery is allowed and was not tried in
    // this transfer, starts it and returns true; the transfer goes on in
    // resumeState. With time-outs off and no recovery allowed, says once what
    // the operator can do. The caller holds the transfer mutex.
    bool TryAfterSilence(uint32_t expected, uint32_t wholeReply, uint8_t resumeState, const std::string& command);
    // The unit answered the first command with a few bytes that are not its
    // echo while a cut-off sector is known: the command's first bytes were
    // the sector's last data and checksum, the answer (a lone 'N', mostly)
    // ended it. Counts as a recovery: the line is settled and the transfer
    // goes on in resumeState. The caller holds the transfer mutex.
    bool TryAfterLoneAnswer(const uint8_t* reply, uint32_t expected, uint32_t wholeReply, uint8_t resumeState,
                            const std::string& command);
    // Tried in this transfer (once is enough: a second silence is a silent unit).
    bool Tried() const { return m_tried; }
    void MarkTried() { m_tried = true; }
    // The unit answered the filler with anything but a refusal of its
    // checksum: it may have programmed the cut-off sector with the filler.
    bool FillerMayHaveProgrammed() const { return m_programmed; }

    // Sends the filler until the unit answers, then settles the line. The
    // caller holds the transfer mutex.
    void CompleteSector(uint8_t resumeState);
    // Drops whatever the unit still says until the line is quiet, then enters
    // the given state. The caller holds the transfer mutex.
    void Settle(uint8_t resumeState);
    // One step of a recovery state; true when the transfer is to finish. The
    // caller holds the transfer mutex.
    bool Step(uint8_t state, uint32_t expected);

private:
    bool SendFiller();
    bool TakeAnswer(uint32_t expected);
    bool SettleStep(uint32_t expected);
    void ArmSink();

    CTransferSession& m_session;
    uint8_t m_resumeState = kIdle;
    bool m_tried = false;
    bool m_hintShown = false;
    bool m_programmed = false;
    bool m_fillerStopped = false;
    uint32_t m_fillerSent = 0;
    uint32_t m_fillerStart = 0;
    uint32_t m_quietSince = 0;
    bool m_talkShown = false;
    uint8_t m_answer[2] = {};
    // Where the settling line's bytes go to be dropped.
    uint8_t m_sink[256] = {};
};
