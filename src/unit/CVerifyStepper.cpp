#include "CVerifyStepper.h"

#include <cstring>

#include "CRecoveryStepper.h"
#include "CSectorReader.h"
#include "CTransferSession.h"
#include "ITransferView.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

CVerifyStepper::CVerifyStepper(CTransferSession& session, CSectorReader& reader, CRecoveryStepper& recovery)
    : m_session(session), m_reader(reader), m_recovery(recovery)
{
}

void CVerifyStepper::Prepare(std::vector<uint8_t> sectors)
{
    m_sectors = std::move(sectors);
    m_next = 0;
    m_afterWrite = false;
}

bool CVerifyStepper::CanRead() const
{
    return m_reader.HasBuffer();
}

void CVerifyStepper::ClearResult()
{
    m_verified = false;
    m_differing.clear();
}

void CVerifyStepper::ReadBack(const std::vector<uint8_t>& written)
{
    m_session.View().EnableControls(false);
    m_session.SetMode(CTransferSession::Mode::Verify);
    Prepare(written);
    m_afterWrite = true;
    m_differing.clear();
    m_session.EnterTimed(kNextSector);
}

bool CVerifyStepper::Step(uint8_t state, uint32_t expected)
{
    switch (state) {
    case kNextSector:
        return NextSector();
    case kReceiveSector:
        return ReceiveSector(expected);
    }
    return false;
}

bool CVerifyStepper::NextSector()
{
    if (m_next >= m_sectors.size())
        return Finish();
    const uint8_t sector = m_sectors[m_next++];
    m_session.Status(FormatText("Verifying sector %d", int(sector)));
    m_reader.Request(sector);
    m_session.EnterTimed(kReceiveSector);
    return false;
}

bool CVerifyStepper::ReceiveSector(uint32_t expected)
{
    // Only the first command of a verify of its own can meet a unit still
    // inside a cut-off sector; it is asked again once the unit listens.
    if (m_next == 1 && !m_afterWrite &&
        m_recovery.TryAfterSilence(expected, m_reader.ReplyBytes(), kNextSector,
                                   SectorCommand(kReadSectorLetter, m_sectors[0]).substr(0, 3))) {
        m_next = 0;
        return false;
    }
    const CSectorReader::Reply reply = m_reader.Receive(expected, false);
    if (reply != CSectorReader::Reply::Good)
        return reply == CSectorReader::Reply::Failed;
    const uint8_t sector = m_reader.Sector();
    const uint8_t* image =
        static_cast<const cMemoryMap&>(m_session.Image()).GetImageBuffer() + cMemoryMap::GetSectorStart(sector);
    if (memcmp(image, m_reader.Data(), m_reader.Length()) != 0)
        m_differing.push_back(sector);
    m_session.EnterTimed(kNextSector);
    return false;
}

bool CVerifyStepper::Finish()
{
    m_verified = true;
    m_session.Complete();
    if (m_differing.empty())
        return m_session.EndWith("Verify OK - " + SectorCountText(int(m_sectors.size())) +
                                 (m_sectors.size() == 1 ? " matches" : " match"));
    std::string list;
    for (uint8_t sector : m_differing)
        list += (list.empty() ? "" : ", ") + std::to_string(sector);
    return m_session.EndWith(
        std::string(m_differing.size() == 1 ? "Verify failed - sector differs: " : "Verify failed - sectors differ: ") +
        list);
}
