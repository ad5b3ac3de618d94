// What the ormid command line asks for before any window exists: --help and
// --version (answered on a console), whether the window system it will use
// needs a display server, and the image file to open. Plain C++: it is read
// before the application object is built, which would abort without a display.
#pragma once

#include <string>
#include <vector>

class CStartOptions {
public:
    CStartOptions(int argc, const char* const* argv);

    bool help = false;
    bool version = false;
    // The Qt platform chosen with -platform NAME (empty when none).
    std::string platform;
    // The image file named on the command line (empty when none), as given.
    std::string file;
    // --program-units: the "Program Units" window alone, over file if named.
    bool programUnits = false;

    // Whether the program can show its windows: a display server is named,
    // or the platform chosen (-platform first, else QT_QPA_PLATFORM, which
    // may list fallbacks separated by ';') draws without one.
    bool CanShowWindows(const char* qpaPlatform, const char* display, const char* waylandDisplay) const;
    static bool PlatformNeedsDisplay(const std::string& name);

    static const char* const kNoDisplayText;
    static const char* const kUsageText;
};
