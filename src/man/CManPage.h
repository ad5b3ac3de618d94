// Turns a manual page written in a small Markdown dialect into roff for man(1).
//
//   % NAME SECTION                title line, first line of the file
//   # HEADING                     section (.SH)
//   ## text                       subsection (.SS), e.g. one command
//   term                          a term, when the next line starts with ": "
//   : text                        its description (.TP); indented lines continue it
//   - text                        bullet item; indented lines continue it
//   ```                           example lines, kept as they are (.EX)
//   blank line                    new paragraph
//   **bold**  *italic*  `code`    inline (code is set bold); \* is a star
//   @VERSION@                     replaced by the program version
#pragma once

#include <string>

class CManPage {
public:
    // Converts the whole page. On a malformed page (no title line, an
    // unterminated example) returns false and says why in error.
    static bool ToRoff(const std::string& markdown, const std::string& version, std::string& roff, std::string& error);

    // One line of running text: inline markup to font changes, roff's
    // special characters escaped, a leading '.' or '\'' made harmless.
    static std::string Inline(const std::string& text);
    // Text kept as it is (examples): only escaped.
    static std::string Escape(const std::string& text);
};
