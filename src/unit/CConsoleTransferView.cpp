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
    if (m_echo && changed && !text.empty()) {
        EndProgressLine();
        fprintf(m_echo, "%s\n", StatusOneLine(text).c_str());
        fflush(m_echo);
    }
}

void CConsoleTransferView::ShowProgressPercent(const std::string& text, int percent)
{
    (void)text;
    m_percent = percent;
    m_percentages.push_back(percent);
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
    if (m_echo) {
        EndProgressLine();
        std::string shown = text;
        while (!shown.empty() && shown.back() == '\n')
            shown.pop_back();
        fprintf(m_echo, "%s\n", shown.c_str());
        fflush(m_echo);
    }
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
