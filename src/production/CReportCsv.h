// A day's report as a CSV table for a spreadsheet: one row per unit, the
// columns of the report's lines. Text that a spreadsheet would take for a
// formula is kept as text.
#pragma once

#include <string>

class CReportCsv {
public:
    // The CSV of the report's JSON lines; lines that are not a report
    // object (a damaged line) are counted in skipped and left out.
    static std::string FromJsonLines(const std::string& lines, size_t& skipped);
    // One CSV field, quoted where needed.
    static std::string Field(const std::string& text);
};
