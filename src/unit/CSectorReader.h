// One sector read from the unit, as the read and the verify ask for it: the
// "Unn" request with the reply landing at the start of the read buffer, and
// the checks of that reply (its time limit and its checksum).
#pragma once

#include <cstdint>
#include <memory>

#include "UnitProtocol.h"

class CTransferSession;

class CSectorReader : public UnitProtocol {
public:
    enum class Reply { Waiting, Failed, Good };

    explicit CSectorReader(CTransferSession& session);

    bool HasBuffer() const { return m_buffer != nullptr; }
    // Asks for the sector; the caller holds the transfer mutex.
    void Request(uint8_t sector);
    // One step of a receive state. Waiting: bytes are still expected (the
    // progress moved on). Failed: the reply is late or its checksum wrong;
    // the status (and the message box) tell why and the transfer is to
    // finish. Sector 0 has its fixed limit; a later sector gets its line time
    // and a margin, so a unit that goes silent does not hold the read.
    Reply Receive(uint32_t expected, bool firstSector);

    uint8_t Sector() const { return m_sector; }
    uint32_t Length() const { return m_length; }
    // The whole reply to the request: the lead, the sector, its checksum.
    uint32_t ReplyBytes() const { return m_length + kReadReplyExtra; }
    // The sector's bytes of the complete reply.
    const uint8_t* Data() const { return m_buffer.get() + kReadReplyLead; }

private:
    bool ChecksumMatches(bool firstSector);

    CTransferSession& m_session;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint8_t m_sector = 0;
    uint32_t m_length = 0;
};
