// Completing a sector whose write was cut off, so that the unit takes
// commands again, then letting the line settle. The unit counts the sector's
// bytes itself; whatever it answers once it has them all (normally 'N' for
// the checksum) ends the filler. A unit that was not inside a sector hears
// only zeros, which form no command, and its answer to "P1" ends the filler
// the same way. When the line is quiet the transfer goes on in the state
// given at the start.
#pragma once

#include <cstdint>

#include "UnitProtocol.h"

class CTransferSession;

class CRecoveryStepper : public UnitProtocol {
public:
    explicit CRecoveryStepper(CTransferSession& session);

    // Sends the filler until the unit answers, then settles the line. The
    // caller holds the transfer mutex.
    void CompleteSector(uint8_t resumeState);
    // Drops whatever the unit still says until the line is quiet. The caller
    // holds the transfer mutex.
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
    bool m_fillerStopped = false;
    uint32_t m_fillerSent = 0;
    uint32_t m_fillerStart = 0;
    uint32_t m_quietSince = 0;
    uint8_t m_answer[2] = {};
    // Where the settling line's bytes go to be dropped.
    uint8_t m_sink[256] = {};
};
