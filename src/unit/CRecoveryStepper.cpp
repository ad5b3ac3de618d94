#include "CRecoveryStepper.h"

#include <algorithm>

#include "CLogFile.h"
#include "CTransferSession.h"
#include "ITransferView.h"
#include "TransferTexts.h"

namespace {

// What completes a cut-off sector: zeros carry no command, and the two that
// the unit takes as the sector's checksum read 0x0000, which matches only
// when everything the unit collected sums to 0 modulo 65536.
const uint8_t kFiller[UnitProtocol::kBlockSize] = {};

const char* const kFillerProgrammedStatus =
    "A sector cut off by an interrupted write was completed; write the unit again";

}  // namespace

CRecoveryStepper::CRecoveryStepper(CTransferSession& session) : m_session(session) { }

void CRecoveryStepper::Reset()
{
    m_tried = false;
    m_hintShown = false;
    m_programmed = false;
}

bool CRecoveryStepper::TryAfterSilence(uint32_t expected, uint32_t wholeReply, uint8_t resumeState,
                                       const std::string& command)
{
    // Not one byte back, where a unit taking commands answers at once: it may
    // be inside a sector write that was cut off, taking the command as data.
    if (m_tried || expected != wholeReply || m_session.SinceRequest() <= kRecoveryProbeMs)
        return false;
    if (!m_session.RecoveryAllowed()) {
        // Nothing will end the wait: say what would.
        if (m_session.TimeoutsDisabled() && !m_hintShown) {
            m_hintShown = true;
            m_session.Status(WithInterruptedWriteHint("No answer to " + command));
        }
        return false;
    }
    m_tried = true;
    const std::string text = "No answer to " + command + " - completing an interrupted sector write";
    TheLog().Write("%s", text.c_str());
    m_session.Status(text);
    CompleteSector(resumeState);
    return true;
}

bool CRecoveryStepper::TryAfterLoneAnswer(const uint8_t* reply, uint32_t expected, uint32_t wholeReply,
                                          uint8_t resumeState, const std::string& command)
{
    if (m_tried || expected == 0 || expected >= wholeReply || command.empty() || reply[0] == uint8_t(command[0]) ||
        m_session.SinceRequest() <= kRecoveryProbeMs || !m_session.RecoveryAllowed())
        return false;
    m_tried = true;
    m_programmed = reply[0] != kRefused;
    TheLog().Write("The unit answered %s with '%c' and no echo: the cut-off sector ended there", command.c_str(),
                   reply[0]);
    if (m_programmed && m_session.GetMode() != CTransferSession::Mode::Write)
        m_session.Status(kFillerProgrammedStatus);
    Settle(resumeState);
    return true;
}

void CRecoveryStepper::CompleteSector(uint8_t resumeState)
{
    m_resumeState = resumeState;
    m_answer[0] = m_answer[1] = kNotAnswered;
    m_session.Expect(m_answer, sizeof m_answer);
    m_fillerSent = 0;
    m_fillerStopped = false;
    m_fillerStart = m_session.Now();
    m_session.Request().requestStartTime = m_fillerStart;
    m_session.Enter(kCompletePartialSector);
}

void CRecoveryStepper::Settle(uint8_t resumeState)
{
    m_resumeState = resumeState;
    m_talkShown = false;
    ArmSink();
    m_quietSince = m_session.Now();
    m_session.Request().requestStartTime = m_quietSince;
    m_session.Enter(kSettleLine);
}

bool CRecoveryStepper::Step(uint8_t state, uint32_t expected)
{
    if (state == kSettleLine)
        return SettleStep(expected);
    if (expected == sizeof m_answer)
        return SendFiller();
    return TakeAnswer(expected);
}

bool CRecoveryStepper::SendFiller()
{
    if (m_fillerSent < kFillerBytes) {
        // Kept close to what the line has carried: once the unit answers,
        // zeros still queued in the driver would hold up the next "P1"
        // behind them.
        const float elapsed = float(uint32_t(m_session.Now() - m_fillerStart));
        const float perByte = m_session.PerByteFactor();
        const float carried = perByte > 0.0f ? elapsed / perByte : float(kFillerBytes);
        if (float(m_fillerSent) <= carried + float(kFillerLead)) {
            const uint32_t k = std::min(kBlockSize, kFillerBytes - m_fillerSent);
            m_session.Send(kFiller, k);
            m_fillerSent += k;
        }
        return false;
    }
    // Every byte a sector can want went out, and nothing came back.
    return m_session.TimedOut(m_session.LineTimeLimit(kFillerBytes)) &&
           m_session.EndWith(WithInterruptedWriteHint("Timeout - Enter program Mode"));
}

bool CRecoveryStepper::TakeAnswer(uint32_t expected)
{
    if (!m_fillerStopped) {
        // The sector is complete; filler still queued would only reach a
        // unit that takes commands again.
        m_fillerStopped = true;
        const uint32_t got = sizeof m_answer - expected;
        m_session.Link().ClearTransfer();
        m_session.Expect(m_answer + got, expected);
        m_session.EnterTimed(kCompletePartialSector);
        TheLog().Write("The unit answered '%c' after %u filler bytes", m_answer[0], unsigned(m_fillerSent));
        m_programmed = m_answer[0] != kRefused;
        if (m_programmed && m_session.GetMode() != CTransferSession::Mode::Write)
            m_session.Status(kFillerProgrammedStatus);
    }
    // Accepted: the unit found the sum right and is programming; let it end.
    if (expected > 0 && m_answer[0] == kAccepted && !m_session.TimedOut(kPgmResultTimeoutMs))
        return false;
    Settle(m_resumeState);
    return false;
}

bool CRecoveryStepper::SettleStep(uint32_t expected)
{
    if (expected < sizeof m_sink) {
        if (!m_talkShown) {
            // A unit that goes on sending can hold the start for seconds.
            m_talkShown = true;
            m_session.Status("Waiting for the unit to finish sending");
        }
        ArmSink();
        m_quietSince = m_session.Now();
    }
    const bool chatty = m_session.SinceRequest() > m_session.SectorReplyLimit(kLargestSectorBytes);
    if (uint32_t(m_session.Now() - m_quietSince) < kSettleQuietMs && !chatty)
        return false;
    TransferRequest& request = m_session.Request();
    request.destination = nullptr;
    request.bytesExpected = 0;
    request.receiveEnabled = 0;
    m_session.Enter(m_resumeState);
    return false;
}

void CRecoveryStepper::ArmSink()
{
    m_session.Expect(m_sink, sizeof m_sink);
}
