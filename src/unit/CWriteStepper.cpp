#include "CWriteStepper.h"

#include <algorithm>
#include <cstring>

#include "CLogFile.h"
#include "CRecoveryStepper.h"
#include "CTransferSession.h"
#include "CVerifyStepper.h"
#include "ITransferView.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

namespace {

// What GetNextNeededSector leaves when no sector is needed.
constexpr uint8_t kNoSector = 255;

// A reply to "P1" that begins with what a unit says at the end of a written
// sector and goes on with the echo of "P1" and its acceptance.
bool EndOfAnEarlierSector(const uint8_t* reply)
{
    const std::string echo = std::string(UnitProtocol::kEnterPgmModeCommand) + char(UnitProtocol::kAccepted);
    for (uint32_t lead = 1; lead < UnitProtocol::kModeReplyBytes; lead++) {
        const uint8_t b = reply[lead - 1];
        if (b != UnitProtocol::kAccepted && b != UnitProtocol::kRefused && b != UnitProtocol::kProgrammed)
            return false;
        if (memcmp(reply + lead, echo.data(), UnitProtocol::kModeReplyBytes - lead) == 0)
            return true;
    }
    return false;
}

}  // namespace

CWriteStepper::CWriteStepper(CTransferSession& session, CRecoveryStepper& recovery, CVerifyStepper& readBack)
    : m_session(session), m_recovery(recovery), m_readBack(readBack)
{
}

void CWriteStepper::Prepare(const TransferSettings& settings, bool readBack)
{
    m_oneSectorAtATime = settings.writeOneSectorAtATime;
    m_readBackWanted = readBack;
    m_recoveryChecked = false;
    m_written.clear();
    m_rewritten.clear();
    m_owed.clear();
    m_owedNamed = false;
    m_inFlight = false;
    m_journalActive = true;
    m_sector = 0;
    // Whatever its writer meant, the sector it left open is this image's now.
    const int left = m_session.InterruptedSector();
    if (left >= 0) {
        m_owed.push_back(uint8_t(left));
        m_owedNamed = true;
        m_session.Image().SetSectorNeeded(uint8_t(left));
    }
}

void CWriteStepper::Reset()
{
    m_sendPos = nullptr;
    m_bytesToSend = 0;
    m_sector = 0;
    if (!m_journalActive)
        return;
    m_journalActive = false;
    if (m_inFlight)
        return;
    // A sector still owed is kept for the next write, whichever it is.
    if (!m_owed.empty())
        m_session.BeginJournal(*std::min_element(m_owed.begin(), m_owed.end()));
    else
        m_session.Journal().Clear();
}

void CWriteStepper::ShowSectors()
{
    m_session.View().SetSectorLines(WriteSectorLines(m_session.Image()));
}

bool CWriteStepper::Step(uint8_t state, uint32_t expected)
{
    switch (state) {
    case kEnterPgmMode:
        if (m_recovery.Tried() && !m_recoveryChecked) {
            m_recoveryChecked = true;
            OweSectorsAfterRecovery();
        }
        return SendModeCommand(kEnterPgmModeCommand, kAwaitPgmModeAck, "Request start pgm mode");
    case kAwaitPgmModeAck:
        return AwaitPgmModeAck(expected);
    case kNextNeededSector:
        return NextNeededSector();
    case kAwaitSectorStartAck:
        return AwaitSectorStartAck(expected);
    case kSendSectorData:
        return SendSectorData();
    case kSendChecksum:
        return SendChecksum();
    case kAwaitChecksumAck:
        return AwaitChecksumAck(expected);
    case kAwaitPgmResult:
        return AwaitPgmResult(expected);
    case kLeavePgmMode:
        return SendModeCommand(kLeavePgmModeCommand, kAwaitExitAck, "Request stop program mode.");
    case kAwaitExitAck:
        return AwaitExitAck(expected);
    }
    return false;
}

// The examined byte is the last one.
void CWriteStepper::AskForReply(uint32_t bytes)
{
    m_ack[bytes - 1] = kNotAnswered;
    m_session.Expect(m_ack, bytes);
}

// "P1" or "P0", with its echo and the unit's status asked for.
bool CWriteStepper::SendModeCommand(const char* command, uint8_t awaitState, const char* status)
{
    AskForReply(kModeReplyBytes);
    m_session.Send(command, kModeCommandBytes);
    m_session.EnterTimed(awaitState);
    m_session.Status(status);
    return false;
}

bool CWriteStepper::AwaitPgmModeAck(uint32_t expected)
{
    if (expected > 0)
        return NoPgmModeAck(expected);
    if (Answer(kModeReplyBytes) == kAccepted) {
        // A unit inside a cut-off sector would have taken "P1" as data. The
        // sector stays owed by this write all the same.
        if (!m_recovery.Tried() && memcmp(m_ack, kEnterPgmModeCommand, kModeCommandBytes) == 0)
            m_session.DropJournal("the unit answered P1 at once");
        m_session.Enter(kNextNeededSector);
        return false;
    }
    if (!m_recovery.Tried() && EndOfAnEarlierSector(m_ack)) {
        // The answer to a sector of a write that ended while its bytes were
        // still on their way, then the echo of "P1": let the line settle and
        // ask again.
        m_recovery.MarkTried();
        TheLog().Write("Answers of an earlier sector before the echo of P1: let the line settle");
        m_recovery.Settle(kEnterPgmMode);
        return false;
    }
    return m_session.EndWith(
        FormatText("Bad Ack (Enter program mode). Expecting 'A', had '%c'\n", Answer(kModeReplyBytes)));
}

bool CWriteStepper::NoPgmModeAck(uint32_t expected)
{
    if (m_recovery.TryAfterSilence(expected, kModeReplyBytes, kEnterPgmMode, "P1") ||
        m_recovery.TryAfterLoneAnswer(m_ack, expected, kModeReplyBytes, kEnterPgmMode, "P1"))
        return false;
    return m_session.TimedOut(kAckTimeoutMs) &&
           m_session.EndWith(WithInterruptedWriteHint("Timeout - Enter program Mode"));
}

// The unit programmed the filler into a sector no journal names: every sector
// the image uses may be that one.
void CWriteStepper::OweSectorsAfterRecovery()
{
    if (!m_recovery.FillerMayHaveProgrammed() || m_owedNamed)
        return;
    cMemoryMap& image = m_session.Image();
    const int last = std::min<int>(image.GetLastUsedSector(), kLastImageSector);
    for (int sector = 0; sector <= last; ++sector) {
        image.SetSectorNeeded(uint8_t(sector));
        if (std::find(m_owed.begin(), m_owed.end(), uint8_t(sector)) == m_owed.end())
            m_owed.push_back(uint8_t(sector));
    }
    ShowSectors();
    m_session.Status("A sector cut off by an interrupted write was completed; every sector the image uses is "
                     "written again");
}

// Owed sectors first, so that the journal never forgets one for a later sector.
uint8_t CWriteStepper::NextSectorToWrite()
{
    for (uint8_t sector : m_owed)
        if (m_session.Image().IsSectorNeeded(sector))
            return sector;
    // Read only: the image's bytes may be shared with other units.
    const cMemoryMap& image = m_session.Image();
    for (uint8_t sector = 0; sector < cMemoryMap::kSectorCount; ++sector)
        if (image.IsSectorNeeded(sector))
            return sector;
    return kNoSector;
}

bool CWriteStepper::NextNeededSector()
{
    const uint8_t sector = NextSectorToWrite();
    m_sector = sector;
    if (sector == kNoSector) {
        m_session.Enter(kLeavePgmMode);
        m_session.Image().LoadTableFromImage();
        m_session.View().SetUnitReadDone();
        m_session.Status("Ready");
        m_session.View().EnableControls(true);
        return false;
    }
    if (m_owedNamed && std::find(m_owed.begin(), m_owed.end(), sector) != m_owed.end())
        m_session.Status(FormatText("Sector %d was cut off by an interrupted write; it is written again", int(sector)));
    // Recorded before the unit can take a byte of it.
    m_session.BeginJournal(sector);
    m_inFlight = true;
    m_session.Status(FormatText("Sending TX request sector R%02d\n", int(sector)));
    m_session.Send(SectorCommand(kWriteSectorLetter, sector));
    AskForReply(kSectorStartReplyBytes);
    m_session.EnterTimed(kAwaitSectorStartAck);
    return false;
}

bool CWriteStepper::AwaitSectorStartAck(uint32_t expected)
{
    const int n = m_sector;
    if (expected > 0)
        return m_session.TimedOut(kAckTimeoutMs) &&
               m_session.EndWith(FormatText("Timeout - Sector start Ack sector %d\n", n));
    const uint8_t answer = Answer(kSectorStartReplyBytes);
    if (answer != kAccepted) {
        m_inFlight = false;  // refused: the unit takes commands again
        return m_session.EndWith(
            FormatText("Got bad or illegal sector start Ack. Expecting 'A', got '%c' - sector %d.\n", answer, n));
    }
    const uint32_t start = cMemoryMap::GetSectorStart(m_sector);
    const uint32_t length = cMemoryMap::GetSectorEnd(m_sector) - start;
    m_sendPos = static_cast<const cMemoryMap&>(m_session.Image()).GetImageBuffer() + start;
    m_bytesToSend = length;
    m_checksumAckLimit = m_session.LineTimeLimit(length);
    m_session.Status(FormatText("Transmitting sector %d", n));
    m_session.ShowProgress(m_session.Progress().Reset(length));
    m_session.EnterTimed(kSendSectorData);
    return false;
}

bool CWriteStepper::SendSectorData()
{
    if (m_bytesToSend == 0) {
        m_session.Enter(kSendChecksum);
        m_session.Status(FormatText("Sector %d sent finished doing checksum\n", int(m_sector)));
        return false;
    }
    const uint32_t k = std::min(m_bytesToSend, kBlockSize);
    m_session.Send(m_sendPos, k);
    m_bytesToSend -= k;
    m_sendPos += k;
    m_session.ShowProgress(m_session.Progress().Update(m_bytesToSend));
    return false;
}

bool CWriteStepper::SendChecksum()
{
    const uint16_t checksum = m_session.Image().GetSectorChecksum(m_sector);
    // The checksum's acceptance and the programming result are asked for
    // together: a unit that programs quickly can send its result before the
    // next step, and bytes that come while nothing is asked for are lost.
    AskForReply(kChecksumReplyBytes);
    m_ack[kChecksumStatusAt] = kNotAnswered;
    const uint8_t bytes[kChecksumBytes] = {uint8_t(checksum & 0xFF), uint8_t(checksum >> 8)};
    m_session.Send(bytes, kChecksumBytes);
    // The limit counts from the acceptance of the sector start.
    m_session.Enter(kAwaitChecksumAck);
    return false;
}

bool CWriteStepper::AwaitChecksumAck(uint32_t expected)
{
    // The checksum's status is the first byte of the two.
    if (expected > kChecksumReplyBytes - 1)
        return m_session.TimedOut(m_checksumAckLimit) && m_session.EndWith("Timeout - Checksum Ack");
    const uint8_t answer = m_ack[kChecksumStatusAt];
    if (answer != kAccepted) {
        // A refused sum: the unit has every byte and programs nothing.
        if (answer == kRefused)
            m_inFlight = false;
        const std::string text = FormatText("Got bad or illegal checksum Ack. Expecting 'A', got '%c' - sector %d.\n",
                                            answer, int(m_sector));
        TheLog().Write("%s", text.c_str());
        return m_session.EndWith(text);
    }
    // The programming result is already asked for.
    m_session.EnterTimed(kAwaitPgmResult);
    m_session.Status("Waiting for unit to erase/pgm");
    return false;
}

bool CWriteStepper::AwaitPgmResult(uint32_t expected)
{
    // The unit's own text for a missing result names no sector; the transfer's
    // EndSector() tells which it was.
    if (expected > 0)
        return m_session.TimedOut(kPgmResultTimeoutMs) && m_session.EndWith("Timeout - Sector start Ack");
    const uint8_t answer = m_ack[kPgmResultAt];
    if (answer != kProgrammed)
        return m_session.EndWith(FormatText(
            "Got bad or illegal programming result ack. Expecting 'G', got %c - sector %d", answer, int(m_sector)));
    m_session.Image().ClearSectorNeeded(m_sector);
    m_session.Journal().Clear();
    m_inFlight = false;
    m_written.push_back(m_sector);
    const auto owed = std::find(m_owed.begin(), m_owed.end(), m_sector);
    if (owed != m_owed.end()) {
        m_owed.erase(owed);
        m_rewritten.push_back(m_sector);
    }
    m_sector++;
    ShowSectors();
    m_session.Enter(m_oneSectorAtATime ? kLeavePgmMode : kNextNeededSector);
    return false;
}

bool CWriteStepper::AwaitExitAck(uint32_t expected)
{
    if (expected > 0)
        return m_session.TimedOut(kAckTimeoutMs) && m_session.EndWith("Timeout - Exit program Mode");
    const uint8_t answer = Answer(kModeReplyBytes);
    if (answer == kAccepted) {
        m_session.Status("Stop Program Mode OK");
    } else {
        const std::string text = FormatText("Bad Ack (Exit program mode).Expecting 'A', got '%c'.", answer);
        TheLog().Write("%s", text.c_str());
        m_session.Status(text);
    }
    // With nothing needed there is no sector to name.
    if (m_oneSectorAtATime && m_sector != kNoSector)
        m_session.Status(FormatText("sector %d completed", int(m_sector) - 1));
    else
        m_session.Status("Unit write completed.");
    // A sector written again after an interrupted write is always read back.
    const std::vector<uint8_t>& readBack = m_readBackWanted ? m_written : m_rewritten;
    if (!readBack.empty() && m_readBack.CanRead()) {
        m_readBack.ReadBack(readBack);
        return false;
    }
    m_session.Complete();
    return true;
}
