// One unit transfer, read, write or verify, as the communications dialog and
// ormid-cli run it: starting it (the guards, opening the port, the first
// state), one protocol step per Step() under the transfer mutex, and the
// finish step. The caller drives Step() from its timer (200 ms reading, 80 ms
// writing) and StepNow() from the line's events, and sees everything through
// ITransferView. Each protocol has its stepper; this front starts the right
// one and hands each step to the stepper whose state is current.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "CReadStepper.h"
#include "CRecoveryStepper.h"
#include "CSectorReader.h"
#include "CTransferSession.h"
#include "CVerifyStepper.h"
#include "CWriteStepper.h"
#include "UnitProtocol.h"

class cMemoryMap;
class ITransferLink;
class ITransferView;

class CUnitTransfer : public UnitProtocol {
public:
    using Mode = CTransferSession::Mode;

    CUnitTransfer(cMemoryMap& image, ITransferLink& link, ITransferView& view);
    ~CUnitTransfer();

    // Replaces the millisecond tick count (tests).
    void SetTickSource(std::function<uint32_t()> tick) { m_session.SetTickSource(std::move(tick)); }

    // "Read Unit" and "Write Unit". Each opens the port anew; on success the
    // timer is running and the controls are disabled. Every transfer first
    // waits for a quiet line (kSettleLine), then runs its first state.
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

    uint8_t ProtocolState() { return m_session.State(); }
    ITransferLink& Link() { return m_session.Link(); }
    // True once the last transfer ended with "TX Data read OK", with the
    // unit leaving programming mode after a write, or with a verify's result.
    bool Completed() const { return m_session.Completed(); }
    // The sector a write that did not end left open on this unit; -1 when none.
    int InterruptedSector() const { return m_session.InterruptedSector(); }
    float PerByteFactor() const { return m_session.PerByteFactor(); }
    uint32_t ChecksumAckLimit() const { return m_write.ChecksumAckLimit(); }
    // Sectors the unit confirmed programmed in the last write.
    size_t SectorsWritten() const { return m_write.Written().size(); }
    // The sector being written or read now; -1 between sectors.
    int CurrentSector();
    // The sector whose answer the last transfer was still waiting for when
    // it ended (a time-out, a port gone); -1 when it waited for none.
    int EndSector() const { return m_endSector; }
    // After a verify that ran to its end: the sectors whose bytes differ.
    bool Verified() const { return m_verify.Verified(); }
    const std::vector<uint8_t>& DifferingSectors() const { return m_verify.Differing(); }
    // True while (or after) reading back for a verify.
    bool Verifying() const { return m_session.GetMode() == Mode::Verify; }
    // Why the port could not be opened or set up (0: it could, or it was
    // never the port's fault).
    int32_t LastOpenError() const { return m_session.LastOpenError(); }
    // The time-out of a read reply of a sector of the given length.
    uint32_t SectorReplyLimit(uint32_t length) const { return m_session.SectorReplyLimit(length); }

private:
    bool Busy(const char* refusal);
    bool CheckVerifyList(std::vector<uint8_t>& sectors);
    void Launch(const TransferSettings& settings, uint8_t firstState, unsigned periodMs, const char* openFailed);
    bool StepState(uint8_t state, uint32_t expected);

    CTransferSession m_session;
    CSectorReader m_reader;
    CRecoveryStepper m_recovery;
    CReadStepper m_read;
    CVerifyStepper m_verify;
    CWriteStepper m_write;
    int m_endSector = -1;
};
