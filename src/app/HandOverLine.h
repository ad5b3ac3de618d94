// The one line a later start of the program sends the running copy: the
// absolute path of the image file to open, or nothing (to bring the window
// up), then a line feed.
#pragma once

#include <cstddef>
#include <string>

namespace HandOverLine {

// A path is never longer; a longer line is not a later start of ours and is
// refused whole, never cut to a path.
constexpr size_t kMaxBytes = 4096;

// Takes one received line (its line feed removed): true with the file to open
// (empty: just come to the front), false with why in the log's words.
bool Parse(const std::string& line, std::string& file, std::string& why);

}  // namespace HandOverLine
