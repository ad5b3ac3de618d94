// The verify: reads the given sectors back from the unit and compares them
// byte for byte with the image, which it does not change. It runs on its
// own or right after a write, on the line the write opened.
#pragma once

#include <cstdint>
#include <vector>

#include "UnitProtocol.h"

class CRecoveryStepper;
class CSectorReader;
class CTransferSession;

class CVerifyStepper : public UnitProtocol {
public:
    CVerifyStepper(CTransferSession& session, CSectorReader& reader, CRecoveryStepper& recovery);

    // The sectors to read, in order.
    void Prepare(std::vector<uint8_t> sectors);
    // Forgets the last verify's result.
    void ClearResult();
    bool CanRead() const;
    // After a write: reads back the sectors it programmed, starting at once.
    // The caller holds the transfer mutex.
    void ReadBack(const std::vector<uint8_t>& written);
    // One step of a verify state; true when the transfer is to finish. The
    // caller holds the transfer mutex.
    bool Step(uint8_t state, uint32_t expected);

    // After a verify that ran to its end: the sectors whose bytes differ.
    bool Verified() const { return m_verified; }
    const std::vector<uint8_t>& Differing() const { return m_differing; }

private:
    bool NextSector();
    bool ReceiveSector(uint32_t expected);
    bool Finish();

    CTransferSession& m_session;
    CSectorReader& m_reader;
    CRecoveryStepper& m_recovery;
    bool m_afterWrite = false;
    std::vector<uint8_t> m_sectors;
    size_t m_next = 0;
    std::vector<uint8_t> m_differing;
    bool m_verified = false;
};
