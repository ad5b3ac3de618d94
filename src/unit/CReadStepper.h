// The read: sector 0 with the unit's message table first, then every sector
// up to the last one that table uses, each checked by its checksum. The
// sectors go into a staging copy; the image takes them only when the whole
// read succeeded.
#pragma once

#include <cstdint>
#include <memory>

#include "UnitProtocol.h"

class CRecoveryStepper;
class CSectorReader;
class CTransferSession;

class CReadStepper : public UnitProtocol {
public:
    CReadStepper(CTransferSession& session, CSectorReader& reader, CRecoveryStepper& recovery);

    // Before a read: false, with the status telling why, when there is no
    // memory to receive it.
    bool Prepare();
    // One step of a read state; true when the transfer is to finish. The
    // caller holds the transfer mutex.
    bool Step(uint8_t state, uint32_t expected);

private:
    bool RequestSector0();
    bool ReceiveSector(uint32_t expected, bool firstSector);
    bool NextSector();
    bool StopOnInvalidTable();
    bool StopOnBlankUnit();
    bool Complete();

    CTransferSession& m_session;
    CSectorReader& m_reader;
    CRecoveryStepper& m_recovery;
    std::unique_ptr<uint8_t[]> m_stage;
    uint8_t m_current = 0;
    int m_last = 0;
};
