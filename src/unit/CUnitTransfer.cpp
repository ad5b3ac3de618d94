#include "CUnitTransfer.h"

#include <algorithm>

#include "ITransferLink.h"
#include "ITransferView.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

CUnitTransfer::CUnitTransfer(cMemoryMap& image, ITransferLink& link, ITransferView& view)
    : m_session(image, link, view), m_reader(m_session), m_recovery(m_session), m_read(m_session, m_reader, m_recovery),
      m_verify(m_session, m_reader, m_recovery), m_write(m_session, m_recovery, m_verify)
{
}

CUnitTransfer::~CUnitTransfer()
{
    ITransferLink& link = m_session.Link();
    // The worker must not deliver into the read buffer once it is gone.
    {
        std::lock_guard<std::mutex> lock(link.TransferMutex());
        link.ClearTransfer();
    }
    if (link.IsOpen())
        link.Close();
}

bool CUnitTransfer::Busy(const char* refusal)
{
    if (ProtocolState() == kIdle)
        return false;
    m_session.Status(refusal);
    return true;
}

void CUnitTransfer::StartRead(const TransferSettings& settings)
{
    if (Busy("Read TX - previous read/write operation not completed") || !m_read.Prepare())
        return;
    m_session.SetMode(Mode::Read);
    m_session.TakeJournal(settings);
    Launch(settings, kRequestSector0, kReadPeriodMs, "Read TX - could not open Comm Port");
}

void CUnitTransfer::StartWrite(const TransferSettings& settings)
{
    if (Busy("Write TX - previous read/write operation not complete"))
        return;
    m_session.SetMode(Mode::Write);
    m_session.TakeJournal(settings);
    m_write.Prepare(settings, settings.verifyAfterWrite && m_reader.HasBuffer());
    m_write.ShowSectors();
    Launch(settings, kEnterPgmMode, kWritePeriodMs, "Write TX - could not open Comm Port");
}

void CUnitTransfer::StartVerify(const TransferSettings& settings, std::vector<uint8_t> sectors)
{
    if (Busy("Verify - previous read/write operation not completed") || !CheckVerifyList(sectors))
        return;
    m_session.View().SetSectorLines({});
    m_session.SetMode(Mode::Verify);
    m_session.TakeJournal(settings);
    m_verify.Prepare(std::move(sectors));
    Launch(settings, kNextSector, kReadPeriodMs, "Verify - could not open Comm Port");
}

// Only sectors of the unit's memory can be compared with the image; the ones
// past it (70 and up) have no bytes in the image to compare with. An empty
// list becomes every sector the image uses.
bool CUnitTransfer::CheckVerifyList(std::vector<uint8_t>& sectors)
{
    if (!m_reader.HasBuffer()) {
        m_session.Status("Read TX - receive buffer not available");
        return false;
    }
    for (uint8_t sector : sectors) {
        if (sector > kLastImageSector) {
            m_session.Status(FormatText("Verify - sector %d is not in the unit's memory", int(sector)));
            return false;
        }
    }
    if (sectors.empty()) {
        const int last = std::min<int>(m_session.Image().GetLastUsedSector(), kLastImageSector);
        for (int sector = 0; sector <= last; ++sector)
            sectors.push_back(uint8_t(sector));
    }
    return true;
}

void CUnitTransfer::Launch(const TransferSettings& settings, uint8_t firstState, unsigned periodMs,
                           const char* openFailed)
{
    m_endSector = -1;
    if (!m_session.Open(settings)) {
        m_session.Status(openFailed);
        return;
    }
    m_verify.ClearResult();
    m_recovery.Reset();
    // A read or a verify cannot mend a sector an interrupted write left open.
    const int left = m_session.InterruptedSector();
    if (left >= 0 && firstState != kEnterPgmMode)
        m_session.Status(FormatText("Sector %d was cut off by an interrupted write; write the unit again", left));
    // A unit may still be sending what an interrupted transfer asked for (up
    // to a 64 KB sector): the transfer's first reply must be the answer to
    // its own first command. The wait is a state like any other, so a stop
    // ends it at once.
    m_session.Link().Purge();
    {
        std::lock_guard<std::mutex> lock(Link().TransferMutex());
        m_recovery.Settle(firstState);
    }
    if (!m_session.StartWorker()) {
        Finish();
        m_session.Status(openFailed);
        return;
    }
    if (!m_session.View().StartTimer(periodMs)) {
        m_session.Status("Timer start failed - no action taken.");
        Finish();
        return;
    }
    m_session.View().EnableControls(false);
}

void CUnitTransfer::Step()
{
    bool finish = false;
    {
        std::lock_guard<std::mutex> lock(Link().TransferMutex());
        const uint8_t state = m_session.Request().protocolState;
        const uint32_t expected = m_session.Request().bytesExpected;  // read once per step
        if (state != kIdle && Link().IsLineGone()) {
            // Nothing more will come from a port that has gone away.
            m_session.Status(CSerial::LineLostText(m_session.PortName()));
            finish = true;
        } else {
            finish = StepState(state, expected);
        }
    }
    // Finishing closes the port, which waits for the worker; the worker may
    // itself be waiting for the mutex, so finish only after letting go of it.
    if (finish)
        Finish();
    m_session.ShowPendingMessage();
    m_session.View().StepEnded();
}

bool CUnitTransfer::StepState(uint8_t state, uint32_t expected)
{
    if (IsWriteState(state))
        return m_write.Step(state, expected);
    if (IsRecoveryState(state))
        return m_recovery.Step(state, expected);
    if (!IsReadState(state))
        return false;
    if (m_session.GetMode() == Mode::Verify)
        return m_verify.Step(state, expected);
    return m_read.Step(state, expected);
}

void CUnitTransfer::StepNow()
{
    // Bounded: a step chain never runs longer than one sector's states.
    for (int i = 0; i < 8; ++i) {
        const uint8_t before = ProtocolState();
        if (before == kIdle)
            return;
        Step();
        uint8_t after;
        bool replyComplete;
        {
            std::lock_guard<std::mutex> lock(Link().TransferMutex());
            const TransferRequest& request = m_session.Request();
            after = request.protocolState;
            replyComplete = request.receiveEnabled != 0 && request.bytesExpected == 0;
        }
        // Go on into a state that acts on entry, or into one whose reply is
        // already in (a programming result right behind its checksum ack).
        if (after == kIdle || after == before || !(ActsOnEntry(after) || replyComplete))
            return;
    }
}

int CUnitTransfer::CurrentSector()
{
    const uint8_t state = ProtocolState();
    if (state >= kAwaitSectorStartAck && state <= kAwaitPgmResult)
        return m_write.Sector();
    if (state == kReceiveSector0 || state == kReceiveSector)
        return m_reader.Sector();
    return -1;
}

void CUnitTransfer::Finish()
{
    // Once finished, the state no longer tells which sector the unit still
    // owed an answer for.
    uint32_t owed = 0;
    {
        std::lock_guard<std::mutex> lock(Link().TransferMutex());
        owed = m_session.Request().protocolState != kIdle ? m_session.Request().bytesExpected : 0;
    }
    if (owed > 0)
        m_endSector = CurrentSector();
    m_session.Finish();
    m_write.Reset();
}
