#include "CConsoleTransferView.h"

#include "TickCount.h"
#include "TransferTexts.h"

CConsoleTransferView::CConsoleTransferView(FILE* echo, bool progressLine)
    : m_echo(echo), m_progressLine(progressLine && echo != nullptr)
{
}

void CConsoleTransferView::SetEcho(FILE* echo, bool progressLine)
{
    EndProgressLine();
    m_echo = echo;
    m_progressLine = progressLine && echo != nullptr;
}

void CConsoleTransferView::EndProgressLine()
{
    if (m_lineDrawn) {
        fputs("\r\033[K", m_echo);
        fflush(m_echo);
        m_lineDrawn = false;
    }
}

void CConsoleTransferView::SetStatus(const std::string& text)
{
    const bool changed = text != m_status;
    m_status = text;
    m_statusHistory.push_back(text);
    if (m_echo && changed) {
        ShowHeldStatus();
        m_held = text;
    }
}

void CConsoleTransferView::ShowHeldStatus()
{
    if (m_held.empty())
        return;
    EndProgressLine();
    fprintf(m_echo, "%s\n", StatusOneLine(m_held).c_str());
    fflush(m_echo);
    m_shown.swap(m_held);
    m_held.clear();
}

void CConsoleTransferView::StepEnded()
{
    // A transfer that ended leaves its last status to the caller.
    if (m_timerRunning)
        ShowHeldStatus();
}

void CConsoleTransferView::ShowProgressPercent(const std::string& text, int percent)
{
    m_percent = percent;
    m_percentages.push_back(percent);
    m_progressTexts.push_back(text);
}

void CConsoleTransferView::SetProgressRange(int maximum)
{
    m_range = maximum;
    m_position = 0;
    m_percent = 0;
}

void CConsoleTransferView::SetProgressPos(int position)
{
    if (position > m_position)
        m_bytesMoved += uint64_t(position - m_position) * 64;
    m_position = position;
    DrawProgress();
}

void CConsoleTransferView::DrawProgress()
{
    if (!m_progressLine || !m_timerRunning)
        return;
    const double seconds = double(uint32_t(GetTickCountMs() - m_startTick)) / 1000.0;
    const double rate = seconds > 0 ? double(m_bytesMoved) / seconds : 0.0;
    fprintf(m_echo, "\r\033[K%3d %%  %llu/%llu bytes  %.0f bytes/s", m_percent, (unsigned long long)m_position * 64,
            (unsigned long long)m_range * 64, rate);
    fflush(m_echo);
    m_lineDrawn = true;
}

void CConsoleTransferView::SetSectorLines(const std::vector<std::string>& lines)
{
    m_sectorLines = lines;
}

void CConsoleTransferView::ShowMessage(const std::string& text, bool information)
{
    m_messages.push_back(text);
    m_messageInformation.push_back(information);
    if (!m_echo)
        return;
    std::string shown = text;
    while (!shown.empty() && shown.back() == '\n')
        shown.pop_back();
    // The dialog shows such a text twice, in the status line and a box; a
    // console once.
    const std::string status = StatusOneLine(m_held.empty() ? m_shown : m_held);
    if (shown.empty() || StatusOneLine(shown) == status)
        return;
    EndProgressLine();
    fprintf(m_echo, "%s\n", shown.c_str());
    fflush(m_echo);
}

void CConsoleTransferView::EnableControls(bool enable)
{
    m_controlsEnabled = enable;
}

void CConsoleTransferView::SetLamps(bool, bool, bool) { }

void CConsoleTransferView::SetUnitReadDone()
{
    m_unitReadDone = true;
}

bool CConsoleTransferView::StartTimer(unsigned periodMs)
{
    if (m_timerFails)
        return false;
    // What was said before the transfer started stays said.
    if (m_echo)
        ShowHeldStatus();
    m_timerRunning = true;
    m_timerPeriod = periodMs;
    m_startTick = GetTickCountMs();
    m_bytesMoved = 0;
    return true;
}

void CConsoleTransferView::StopTimer()
{
    m_timerRunning = false;
    EndProgressLine();
}
