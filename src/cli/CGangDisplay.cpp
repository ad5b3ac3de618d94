#include "CGangDisplay.h"

#include <atomic>
#include <csignal>
#include <sys/ioctl.h>

#include "TransferTexts.h"

namespace {

std::atomic<unsigned> g_resizes{0};

void OnResize(int)
{
    g_resizes.fetch_add(1);
}

// The terminal's rows and columns; 0 when they cannot be had.
void TerminalSize(FILE* out, int& rows, int& columns)
{
    winsize size{};
    rows = columns = 0;
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0) {
        rows = size.ws_row;
        columns = size.ws_col;
    }
}

// Redrawing more often only costs the terminal.
constexpr auto kDrawPeriod = std::chrono::milliseconds(250);
// A status is cut to this many characters in the table.
constexpr size_t kStatusWidth = 60;

std::string SectorList(const std::vector<uint8_t>& sectors)
{
    std::string list;
    for (uint8_t sector : sectors)
        list += (list.empty() ? "" : " ") + std::to_string(sector);
    return list;
}

}  // namespace

CGangDisplay::CGangDisplay(CGangTransfer& gang, FILE* out, bool terminal)
    : m_gang(gang), m_out(out), m_terminal(terminal), m_resizesSeen(g_resizes.load()), m_last(gang.Count()),
      m_nextDraw(std::chrono::steady_clock::now())
{
    Decide(false);
}

void CGangDisplay::WatchResize()
{
    struct sigaction action { };
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
}

void CGangDisplay::Decide(bool resized)
{
    if (!m_terminal)
        return;
    int rows = 0, columns = 0;
    TerminalSize(m_out, rows, columns);
    const bool table = TableFits(m_gang.Count(), rows);
    // A terminal that changed its width may have rewrapped the old table:
    // the next one starts below it rather than over lines it cannot count.
    if (table != m_table || columns != m_columns)
        m_drawn = false;
    m_columns = columns;
    if (table == m_table)
        return;
    m_table = table;
    m_nextDraw = std::chrono::steady_clock::now();
    if (!table && resized) {
        // From the table to lines: each unit's status once, to go on from.
        for (size_t i = 0; i < m_gang.Count(); ++i)
            PrintChange(i, m_gang.Status(i));
    }
}

void CGangDisplay::OnStatus(size_t unit, const std::string& text)
{
    if (m_table)
        return;
    PrintChange(unit, text);
}

void CGangDisplay::PrintChange(size_t unit, const std::string& text)
{
    if (text.empty() || text == m_last[unit])
        return;
    m_last[unit] = text;
    fprintf(m_out, "%s: %s\n", m_gang.Port(unit).c_str(), StatusOneLine(text).c_str());
    fflush(m_out);
}

void CGangDisplay::FollowResize()
{
    const unsigned resizes = g_resizes.load();
    if (resizes != m_resizesSeen) {
        m_resizesSeen = resizes;
        Decide(true);
    }
}

void CGangDisplay::OnWake()
{
    FollowResize();
    if (!m_table || std::chrono::steady_clock::now() < m_nextDraw)
        return;
    m_nextDraw = std::chrono::steady_clock::now() + kDrawPeriod;
    Draw();
}

void CGangDisplay::Draw()
{
    if (m_drawn)
        fprintf(m_out, "\033[%zuA", m_gang.Count());
    for (size_t i = 0; i < m_gang.Count(); ++i) {
        const int sector = m_gang.CurrentSector(i);
        std::string status = StatusOneLine(m_gang.Status(i));
        if (status.size() > kStatusWidth)
            status = status.substr(0, kStatusWidth - 3) + "...";
        std::string line =
            FormatText("%-14s %3d %%  %6.0f B/s  sector %-2s  %s", m_gang.Port(i).c_str(), m_gang.Percent(i),
                       m_gang.BytesPerSecond(i), sector < 0 ? "-" : std::to_string(sector).c_str(), status.c_str());
        // A line that wrapped would take two rows and throw the redraw off.
        if (m_columns > 1 && line.size() >= size_t(m_columns))
            line.resize(size_t(m_columns - 1));
        fprintf(m_out, "\r\033[K%s\n", line.c_str());
    }
    fflush(m_out);
    m_drawn = true;
}

void CGangDisplay::Finish()
{
    FollowResize();
    if (m_table)
        Draw();
    for (size_t i = 0; i < m_gang.Count(); ++i)
        fprintf(m_out, "%s\n", SummaryLine(m_gang.Port(i), m_gang.GetOutcome(i)).c_str());
    fflush(m_out);
}

std::string CGangDisplay::SummaryLine(const std::string& port, const CGangTransfer::Outcome& outcome)
{
    std::string verify;
    switch (outcome.verify) {
    case CGangTransfer::Verify::Ok:
        verify = "verify OK";
        break;
    case CGangTransfer::Verify::Differs:
        verify = std::string(outcome.differing.size() == 1 ? "verify: sector differs: " : "verify: sectors differ: ") +
                 SectorList(outcome.differing);
        break;
    case CGangTransfer::Verify::NotDone:
        verify = "verify not done";
        break;
    case CGangTransfer::Verify::None:
        verify = "no verify";
        break;
    }
    std::string line =
        FormatText("%s: %s in %.1f s, %s written, %s", port.c_str(), CGangTransfer::ResultWord(outcome.result),
                   outcome.seconds, SectorCountText(int(outcome.sectorsWritten)).c_str(), verify.c_str());
    if (outcome.result != CGangTransfer::Result::Completed) {
        const std::string why = outcome.openFailure.empty() ? StatusOneLine(outcome.status) : outcome.openFailure;
        if (!why.empty())
            line += " - " + why;
    }
    return line;
}
