// The write: programming mode, then for every needed sector its start, its
// bytes in blocks, its checksum, the unit's acceptance and its programming
// result, then out of programming mode again. Each sector is entered in the
// port's journal before it goes out. A sector an interrupted write left open
// is written again first and read back; a unit silent after "P1" gets that
// sector completed first, when a recovery is allowed (once per write).
// Afterwards the write may read back what it programmed.
#pragma once

#include <cstdint>
#include <vector>

#include "UnitProtocol.h"

class CRecoveryStepper;
class CTransferSession;
class CVerifyStepper;
struct TransferSettings;

class CWriteStepper : public UnitProtocol {
public:
    CWriteStepper(CTransferSession& session, CRecoveryStepper& recovery, CVerifyStepper& readBack);

    // Before a write: what the operator chose, and whether the written
    // sectors are read back afterwards.
    void Prepare(const TransferSettings& settings, bool readBack);
    // One step of a write state; true when the transfer is to finish. The
    // caller holds the transfer mutex.
    bool Step(uint8_t state, uint32_t expected);
    // The finish step: nothing left to send; the journal keeps a sector only
    // while the unit may still be inside it or it is still owed.
    void Reset();
    // Fills the "Sectors" list from the image's needed sectors.
    void ShowSectors();

    uint32_t ChecksumAckLimit() const { return m_checksumAckLimit; }
    // The sectors the unit confirmed in this write, and the one under way.
    const std::vector<uint8_t>& Written() const { return m_written; }
    uint8_t Sector() const { return m_sector; }

private:
    void AskForReply(uint32_t bytes);
    uint8_t Answer(uint32_t bytes) const { return m_ack[bytes - 1]; }

    bool SendModeCommand(const char* command, uint8_t awaitState, const char* status);
    bool AwaitPgmModeAck(uint32_t expected);
    bool NoPgmModeAck(uint32_t expected);
    void OweSectorsAfterRecovery();
    uint8_t NextSectorToWrite();
    bool NextNeededSector();
    bool AwaitSectorStartAck(uint32_t expected);
    bool SendSectorData();
    bool SendChecksum();
    bool AwaitChecksumAck(uint32_t expected);
    bool AwaitPgmResult(uint32_t expected);
    bool AwaitExitAck(uint32_t expected);

    CTransferSession& m_session;
    CRecoveryStepper& m_recovery;
    CVerifyStepper& m_readBack;
    bool m_oneSectorAtATime = false;
    bool m_readBackWanted = false;
    bool m_journalActive = false;  // the journal belongs to this write
    bool m_inFlight = false;       // a sector started and not yet ended by the unit
    bool m_recoveryChecked = false;
    // Sectors that may not hold what they should: written again first, then
    // read back. m_owedNamed: they come from the journal and are named.
    std::vector<uint8_t> m_owed;
    bool m_owedNamed = false;
    std::vector<uint8_t> m_rewritten;
    uint8_t m_ack[kSectorStartReplyBytes] = {};
    uint8_t m_sector = 0;
    const uint8_t* m_sendPos = nullptr;
    uint32_t m_bytesToSend = 0;
    uint32_t m_checksumAckLimit = 0;
    std::vector<uint8_t> m_written;  // sectors this write programmed
};
