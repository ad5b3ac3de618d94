// The day's report: every unit's result, from the Program Units window and
// from ormid-cli write and verify alike, one JSON line each in
// $XDG_STATE_HOME/ORMID/reports/YYYY-MM-DD.jsonl (the program's state
// folder). Lines are appended under an exclusive lock, one write each, so
// that runs at the same time never mix their lines; a link, a FIFO or another
// user's file in the day's place is never written.
#pragma once

#include <ctime>
#include <string>
#include <vector>

class CDailyReport {
public:
    // Appends the lines (each ending in a line break) to the day's file of
    // `when`; false with the reason ("PATH: reason") when any is not written.
    static bool Append(const std::vector<std::string>& lines, std::string& why, time_t when = time(nullptr));
    // Reads the day's file ("YYYY-MM-DD"); false with the reason.
    static bool Read(const std::string& day, std::string& text, std::string& why);
    // The days that have a report, newest first ("YYYY-MM-DD").
    static std::vector<std::string> Days();

    // "YYYY-MM-DD" of the local date of when.
    static std::string Day(time_t when);
    // Where the day's file is, whether it exists or not.
    static std::string PathOf(const std::string& day);
    // Said when Append fails, above its reason.
    static const char* const kNotAddedText;
    static const char* const kFolder;
    static const char* const kExtension;
};
