// What ormid-cli shows while many units are programmed at once: on a
// terminal a table, one line per port (percent, bytes/s, current sector,
// status), redrawn in place; otherwise one line per status change, prefixed
// with the port. At the end one summary line per unit.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CGangTransfer.h"

class CGangDisplay : public CGangTransfer::IObserver {
public:
    CGangDisplay(CGangTransfer& gang, FILE* out, bool table);

    void OnStatus(size_t unit, const std::string& text) override;
    void OnWake() override;
    // The table as it ends, then the summary lines.
    void Finish();

    // "PORT: completed in 12.3 s, 4 sectors written, verify OK" and the like.
    static std::string SummaryLine(const std::string& port, const CGangTransfer::Outcome& outcome);

private:
    void Draw();

    CGangTransfer& m_gang;
    FILE* m_out;
    bool m_table;
    bool m_drawn = false;
    std::vector<std::string> m_last;
    std::chrono::steady_clock::time_point m_nextDraw;
};
