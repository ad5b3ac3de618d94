#include "HandOverLine.h"

namespace HandOverLine {

bool Parse(const std::string& line, std::string& file, std::string& why)
{
    file.clear();
    if (line.size() > kMaxBytes) {
        why = "a line of " + std::to_string(line.size()) + " bytes";
        return false;
    }
    if (line.find('\0') != std::string::npos) {
        why = "a line with a NUL byte";
        return false;
    }
    // The running copy's working folder is not the later start's.
    if (!line.empty() && line[0] != '/') {
        why = "a relative path";
        return false;
    }
    file = line;
    return true;
}

}  // namespace HandOverLine
