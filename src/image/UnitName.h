// Message names between the terminal and the unit. The unit keeps 8-bit names
// (at most 15 characters); the image holds them as Latin-1, as the panel shows
// them. Command-line text is UTF-8 and is converted at the edges.
#pragma once

#include <cstddef>
#include <string>

struct UnitName {
    std::string latin1;     // what goes into the image, at most the limit in characters
    bool replaced = false;  // a character Latin-1 cannot hold (or a broken byte) became '?'
    bool control = false;   // the text holds a control character (tab, newline, ...)
    bool cut = false;       // the text was longer than the limit
};

// Converts UTF-8 text to a slot name of at most maxChars characters. Control
// characters are kept as '?' in latin1 and flagged, so that callers may refuse
// them or accept the replacement.
UnitName UnitNameFromUtf8(const std::string& utf8, size_t maxChars = 15);

// A stored name for the terminal: Latin-1 to UTF-8, with control characters
// shown as '?', so that one name is always one piece of one line.
std::string UnitNameToUtf8(const char* latin1);
