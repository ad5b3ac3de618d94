#include "CTransferSession.h"

#include "CLogFile.h"
#include "ITransferView.h"
#include "TickCount.h"
#include "TransferTexts.h"

CTransferSession::CTransferSession(cMemoryMap& image, ITransferLink& link, ITransferView& view)
    : m_image(image), m_link(link), m_view(view), m_tick(GetTickCountMs)
{
}

void CTransferSession::SetTickSource(std::function<uint32_t()> tick)
{
    m_tick = tick ? std::move(tick) : std::function<uint32_t()>(GetTickCountMs);
}

void CTransferSession::TakeJournal(const TransferSettings& settings)
{
    m_recover = settings.recover;
    m_journal = CWriteJournal(settings.portName);
    m_left = m_journal.Read();
    if (!m_left.notice.empty())
        Status(m_left.notice);
    if (m_left.interrupted)
        TheLog().Write("A write to %s that did not end left sector %d open (started %s, process %ld)",
                       settings.portName.c_str(), m_left.sector, m_left.started.c_str(), m_left.pid);
}

void CTransferSession::BeginJournal(uint8_t sector)
{
    std::string notice;
    if (!m_journal.Begin(sector, &notice) && !notice.empty())
        Status(notice);
}

void CTransferSession::DropJournal(const std::string& why)
{
    if (!m_left.interrupted)
        return;
    TheLog().Write("The write journal of %s named sector %d, but %s: the journal is dropped", m_portName.c_str(),
                   m_left.sector, why.c_str());
    m_left = CWriteJournal::Entry();
    m_journal.Clear();
}

bool CTransferSession::Open(const TransferSettings& settings)
{
    m_link.Close();
    m_disableTimeouts = settings.disableTimeouts;
    const LineSpeed& speed = kLineSpeeds[settings.baudPosition == 1 ? 1 : 0];
    m_perByteFactor = speed.msPerByte;
    m_link.Trace(FormatText("Comm Settings: %d,N,8,1, serial port: %s", int(speed.baud), settings.portName.c_str()));

    m_lastOpenError = 0;
    if (int32_t code = m_link.Open(settings.portName.c_str(), kQueueSize, kQueueSize)) {
        m_lastOpenError = code;
        TheLog().Write("Unable to open serial port: %s", settings.portName.c_str());
        return false;
    }
    if (!SetUpStep(m_link.SetupBaudrate(speed.baud), FormatText("Setup BaudRate=%d failed", int(speed.baud))) ||
        !SetUpStep(m_link.SetupHandshakingMode(1), "SetupHandshaking failed") ||
        !SetUpStep(m_link.SetTimeoutForIO(), "SetTimeoutForIO failed"))
        return false;
    m_view.StorePortSelection(settings.portPosition, settings.baudPosition);
    if (!m_link.IsOpen())
        return false;
    m_view.SetLamps(m_link.GetCTS(), m_link.GetDSR(), m_link.GetRLSD());
    m_completed = false;
    m_portName = settings.portName;
    m_transferStart = m_tick();
    return true;
}

bool CTransferSession::SetUpStep(int32_t code, const std::string& failure)
{
    if (code == 0)
        return true;
    // The reason is kept before closing, which starts the port afresh.
    m_lastOpenError = code;
    TheLog().Write("%s", failure.c_str());
    m_link.Close();
    return false;
}

bool CTransferSession::StartWorker()
{
    if (m_link.StartWorker() == 0)
        return true;
    TheLog().Write("Unable to start the serial worker");
    return false;
}

void CTransferSession::Finish()
{
    m_view.StopTimer();
    {
        std::lock_guard<std::mutex> lock(m_link.TransferMutex());
        m_link.ClearTransfer();
    }
    m_progress.SetScale(1);
    m_view.SetProgressPos(0);
    m_view.SetLamps(false, false, false);
    if (m_link.IsOpen()) {
        // Closing purges the port; purging here too would report a vanished
        // port twice.
        m_link.SetMask(0);
        m_link.Close();
    }
    m_view.EnableControls(true);
}

uint8_t CTransferSession::State()
{
    std::lock_guard<std::mutex> lock(m_link.TransferMutex());
    return Request().protocolState;
}

void CTransferSession::Expect(uint8_t* destination, uint32_t bytes)
{
    TransferRequest& request = Request();
    request.destination = destination;
    request.bytesExpected = bytes;
    request.receiveEnabled = 1;
}

void CTransferSession::EnterTimed(uint8_t state)
{
    Request().requestStartTime = Now();
    Enter(state);
}

bool CTransferSession::TimedOut(uint32_t limitMs)
{
    return !m_disableTimeouts && SinceRequest() > limitMs;
}

uint32_t CTransferSession::LineTimeLimit(uint32_t bytes) const
{
    return uint32_t(m_perByteFactor * float(bytes) + float(kLineTimeMarginMs));
}

std::string CTransferSession::ElapsedText() const
{
    return ::ElapsedText(Now() - m_transferStart);
}

void CTransferSession::Status(const std::string& text)
{
    m_view.SetStatus(text);
}

bool CTransferSession::EndWith(const std::string& status)
{
    Status(status);
    return true;
}

void CTransferSession::ShowProgress(const CTransferProgress::Display& display)
{
    if (display.rangeChanged)
        m_view.SetProgressRange(display.range);
    if (display.percent > 0)
        m_view.ShowProgressPercent(FormatText(ProgressFormat(), display.percent), display.percent);
    m_view.SetProgressPos(display.position);
}

const char* CTransferSession::ProgressFormat() const
{
    switch (m_mode) {
    case Mode::Write:
        return "Writing - %d %%";
    case Mode::Verify:
        return "Verifying - %d %%";
    default:
        return "Reading - %d %%";
    }
}

void CTransferSession::PendMessage(const std::string& text, bool information)
{
    m_pendingMessage = text;
    m_pendingInformation = information;
}

void CTransferSession::ShowPendingMessage()
{
    if (m_pendingMessage.empty())
        return;
    std::string text;
    text.swap(m_pendingMessage);
    m_view.ShowMessage(text, m_pendingInformation);
}
