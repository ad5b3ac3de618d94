#include "CReadStepper.h"

#include <cstring>
#include <new>

#include "CLogFile.h"
#include "CRecoveryStepper.h"
#include "CSectorReader.h"
#include "CTransferSession.h"
#include "ITransferView.h"
#include "LittleEndian.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

namespace {

// The last sector a message table reaches, without loading it anywhere:
// 71 when a message lies past the end of the unit's memory.
int LastUsedSectorOfTable(const uint8_t* table)
{
    uint32_t last = 0;
    for (int slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        const uint8_t* entry = table + 8 * slot;
        const uint32_t end = GetLE24(entry) + GetLE24(entry + 3) - 1;  // wraps for an empty slot at 0
        if (end >= last)
            last = end;
    }
    if (last >= cMemoryMap::kImageSize)
        return cMemoryMap::kOutsideSectors;
    for (uint8_t sector = 0; sector < cMemoryMap::kSectorCount; ++sector)
        if (last < cMemoryMap::GetSectorEnd(sector))
            return sector;
    return cMemoryMap::kOutsideSectors;
}

// A new or erased unit: its flash, the message table too, reads 0xFF.
bool IsErased(const uint8_t* table)
{
    for (uint32_t i = 0; i < cMemoryMap::kTableSize; ++i)
        if (table[i] != 0xFF)
            return false;
    return true;
}

}  // namespace

CReadStepper::CReadStepper(CTransferSession& session, CSectorReader& reader, CRecoveryStepper& recovery)
    : m_session(session), m_reader(reader), m_recovery(recovery)
{
}

bool CReadStepper::Prepare()
{
    if (m_reader.HasBuffer() && !m_stage)
        m_stage.reset(new (std::nothrow) uint8_t[cMemoryMap::kImageSize]);
    if (!m_reader.HasBuffer() || !m_stage) {
        m_session.Status("Read TX - receive buffer not available");
        return false;
    }
    m_session.View().SetSectorLines({});
    return true;
}

bool CReadStepper::Step(uint8_t state, uint32_t expected)
{
    switch (state) {
    case kRequestSector0:
        return RequestSector0();
    case kReceiveSector0:
        return ReceiveSector(expected, true);
    case kReceiveSector:
        return ReceiveSector(expected, false);
    case kNextSector:
        return NextSector();
    }
    return false;
}

bool CReadStepper::RequestSector0()
{
    m_session.Status("Sending RX request");
    m_current = 0;
    m_reader.Request(0);
    m_session.EnterTimed(kReceiveSector0);
    return false;
}

bool CReadStepper::ReceiveSector(uint32_t expected, bool firstSector)
{
    // A unit still inside a cut-off sector takes "U00" as data; once it
    // listens again, sector 0 is asked for anew.
    if (firstSector && (m_recovery.TryAfterSilence(expected, m_reader.ReplyBytes(), kRequestSector0, "U00") ||
                        m_recovery.TryAfterLoneAnswer(m_reader.Data() - kReadReplyLead, expected, m_reader.ReplyBytes(),
                                                      kRequestSector0, "U00")))
        return false;
    const CSectorReader::Reply reply = m_reader.Receive(expected, firstSector);
    if (reply != CSectorReader::Reply::Good)
        return reply == CSectorReader::Reply::Failed;
    const std::string okText = FormatText("TX Read OK. elapsed time = %s", m_session.ElapsedText().c_str());
    if (firstSector)
        m_session.Status(okText);
    else
        TheLog().Write("%s", okText.c_str());
    memcpy(m_stage.get() + cMemoryMap::GetSectorStart(m_current), m_reader.Data(), m_reader.Length());
    if (firstSector && IsErased(m_stage.get()))
        return StopOnBlankUnit();
    if (firstSector)
        m_last = LastUsedSectorOfTable(m_stage.get());
    m_session.EnterTimed(kNextSector);
    return false;
}

bool CReadStepper::NextSector()
{
    m_current++;
    if (m_last > kLastImageSector)
        return StopOnInvalidTable();
    m_session.View().SetSectorLines(ReadSectorLines(m_last, m_current));
    if (m_current > m_last)
        return Complete();
    m_session.Status("Sending RX request");
    m_reader.Request(m_current);
    m_session.EnterTimed(kReceiveSector);
    return false;
}

// The unit's table puts a message past the end of its memory. Nothing beyond
// sector 0 can be trusted, and nothing beyond sector 69 exists.
bool CReadStepper::StopOnInvalidTable()
{
    m_session.View().SetSectorLines({});
    m_session.Status("Read stopped - the unit's message table is invalid");
    m_session.PendMessage("The message table read from the unit is invalid: a message reaches past the "
                          "end of the unit's memory.\nOnly sector 0 was read.",
                          false);
    return true;
}

// Nothing to read: the image keeps what it holds.
bool CReadStepper::StopOnBlankUnit()
{
    m_session.View().SetSectorLines({});
    const char* text = "The unit is blank: it holds no messages";
    m_session.Status(text);
    m_session.PendMessage(text, true);
    return true;
}

bool CReadStepper::Complete()
{
    cMemoryMap& image = m_session.Image();
    // The unit may hold zeros where a sector's data belongs, with a checksum
    // that happened to match: the image read would carry them.
    if (m_recovery.FillerMayHaveProgrammed()) {
        const char* text = "The unit was read, but a sector cut off by an interrupted write was completed with "
                           "filler, so what it holds is damaged.\nThe image was not changed: write the unit "
                           "again from the image file you keep.";
        m_session.Status("Read stopped - the unit must be written again");
        m_session.PendMessage(text, false);
        return true;
    }
    for (int sector = 0; sector <= m_last; ++sector) {
        const uint32_t start = cMemoryMap::GetSectorStart(uint8_t(sector));
        memcpy(image.GetImageBuffer() + start, m_stage.get() + start,
               cMemoryMap::GetSectorEnd(uint8_t(sector)) - start);
    }
    image.LoadTableFromImage();
    m_session.Status("");
    m_session.PendMessage("TX Data read OK", true);
    m_session.View().SetUnitReadDone();
    m_session.Complete();
    return true;
}
