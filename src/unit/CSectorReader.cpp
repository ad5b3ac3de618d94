#include "CSectorReader.h"

#include <new>

#include "CLogFile.h"
#include "CTransferSession.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

CSectorReader::CSectorReader(CTransferSession& session)
    : m_session(session), m_buffer(new (std::nothrow) uint8_t[kReadBufferSize])
{
}

void CSectorReader::Request(uint8_t sector)
{
    m_sector = sector;
    m_length = cMemoryMap::GetSectorEnd(sector) - cMemoryMap::GetSectorStart(sector);
    m_buffer[kReadReplyLead + m_length] = 0;
    m_buffer[kReadReplyLead + m_length + 1] = 0;
    m_session.Expect(m_buffer.get(), m_length + kReadReplyExtra);
    m_session.ShowProgress(m_session.Progress().Reset(0));
    m_session.Send(SectorCommand(kReadSectorLetter, sector));
}

CSectorReader::Reply CSectorReader::Receive(uint32_t expected, bool firstSector)
{
    if (expected == 0)
        return ChecksumMatches(firstSector) ? Reply::Good : Reply::Failed;
    m_session.ShowProgress(m_session.Progress().Update(expected));
    const uint32_t limit = firstSector ? kAckTimeoutMs : m_session.SectorReplyLimit(m_length);
    if (!m_session.TimedOut(limit))
        return Reply::Waiting;
    const std::string text = FormatText("Reading TX data timeout. elapsed time = %s", m_session.ElapsedText().c_str());
    // Not a byte of the transfer's first reply: the unit may be deaf to commands.
    m_session.Status(firstSector && expected == ReplyBytes() ? WithInterruptedWriteHint(text) : text);
    return Reply::Failed;
}

bool CSectorReader::ChecksumMatches(bool firstSector)
{
    const uint8_t* data = Data();
    uint16_t computed = 0;
    for (uint32_t i = 0; i < m_length; i++)
        computed = uint16_t(computed + data[i]);
    const uint8_t low = data[m_length];
    const uint8_t high = data[m_length + 1];
    const uint16_t received = uint16_t(low | (high << 8));
    if (computed == received)
        return true;
    const std::string text = ChecksumErrorText(received, computed, low, high, !firstSector);
    if (firstSector)
        TheLog().Write("%s", text.c_str());
    // A verify names the sector; the read keeps its one word.
    m_session.Status(m_session.GetMode() == CTransferSession::Mode::Verify
                         ? FormatText("Checksum error - sector %d", int(m_sector))
                         : std::string("Checksum error"));
    m_session.PendMessage(text, false);
    return false;
}
