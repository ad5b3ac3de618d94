// The names of the program's per-user settings store, written once: the
// company key, the program's name and the section that holds the program's
// own values. Plain C++, so that ormid-cli can name the store's file.
#pragma once

#include <string>

namespace ProgramSettings {

inline constexpr const char* kCompany = "Tarlex";
inline constexpr const char* kProgram = "ORMID";
inline constexpr const char* kSection = "Settings";
// Network ports that opened once, newest first, separated by spaces.
inline constexpr const char* kNetworkPortsKey = "Network ports";

// The store's file below the user's configuration folder: "Tarlex/ORMID.conf".
inline std::string FileInConfigFolder()
{
    return std::string(kCompany) + '/' + kProgram + ".conf";
}

}  // namespace ProgramSettings
