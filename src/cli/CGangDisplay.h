// What ormid-cli shows while many units are programmed at once: on a
// terminal a table, one line per port (percent, bytes/s, current sector,
// status), redrawn in place; otherwise, and on a terminal with too few rows
// for the table, one line per status change, prefixed with the port. The
// choice is made again when the terminal is resized. At the end one summary
// line per unit.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CGangTransfer.h"

class CGangDisplay : public CGangTransfer::IObserver {
public:
    // terminal: out is a terminal, where the table may be shown.
    CGangDisplay(CGangTransfer& gang, FILE* out, bool terminal);

    // Has SIGWINCH noted, so that the next wake re-decides between the table
    // and lines for the terminal's new size.
    static void WatchResize();

    void OnStatus(size_t unit, const std::string& text) override;
    void OnWake() override;
    // The table as it ends, then the summary lines.
    void Finish();

    bool ShowsTable() const { return m_table; }
    // The table is redrawn by moving the cursor up over it, so every unit's
    // line and the cursor's own must be on the screen; 0 rows: unknown.
    static bool TableFits(size_t units, int rows) { return rows <= 0 || size_t(rows) > units; }

    // "PORT: completed in 12.3 s, 4 sectors written, verify OK" and the like.
    static std::string SummaryLine(const std::string& port, const CGangTransfer::Outcome& outcome);

private:
    void Decide(bool resized);
    void FollowResize();
    void Draw();
    void PrintChange(size_t unit, const std::string& text);

    CGangTransfer& m_gang;
    FILE* m_out;
    bool m_terminal;
    bool m_table = false;
    bool m_drawn = false;
    int m_columns = 0;  // 0: unknown
    unsigned m_resizesSeen = 0;
    std::vector<std::string> m_last;
    std::chrono::steady_clock::time_point m_nextDraw;
};
