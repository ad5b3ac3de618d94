#include "CStartOptions.h"

#include <algorithm>
#include <cstring>

const char* const CStartOptions::kNoDisplayText =
    "ORMID needs a graphical display; run it under xvfb-run, or use ormid-cli";

const char* const CStartOptions::kUsageText =
    "Usage: ormid [IMAGE.txi]\n"
    "       ormid --program-units [IMAGE.txi]\n"
    "Prepares the messages of a voice-message unit and moves them to and from the unit.\n"
    "\n"
    "  IMAGE.txi   an image file to load at start; when ORMID already runs, that\n"
    "              copy comes to the front and loads it\n"
    "  --program-units  open only the Program Units window, over IMAGE.txi,\n"
    "              to write one image into many units\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Qt's own options apply too, e.g. -platform offscreen.\n"
    "Without a display use ormid-cli, or run ormid under xvfb-run.\n";

namespace {

bool Is(const char* arg, const char* option)
{
    // Qt takes its options with one dash or two.
    if (std::strcmp(arg, option) == 0)
        return true;
    return arg[0] == '-' && arg[1] == '-' && std::strcmp(arg + 1, option) == 0;
}

// Qt's own options that take a value in the next argument.
bool TakesValue(const char* arg)
{
    for (const char* option :
         {"-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowtitle",
          "-qwindowicon", "-display", "-geometry", "-title", "-name", "-style", "-stylesheet", "-session"})
        if (Is(arg, option))
            return true;
    return false;
}

// The options of the unattended runs (screenshots, tests): they take a value.
bool IsOwnValueOption(const char* arg)
{
    return std::strcmp(arg, "--auto-close") == 0 || std::strcmp(arg, "--grab") == 0;
}

}  // namespace

CStartOptions::CStartOptions(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            version = true;
        } else if (std::strcmp(arg, "--program-units") == 0) {
            programUnits = true;
        } else if (Is(arg, "-platform") && i + 1 < argc) {
            platform = argv[++i];
        } else if (std::strncmp(arg, "-platform=", 10) == 0 || std::strncmp(arg, "--platform=", 11) == 0) {
            platform = std::strchr(arg, '=') + 1;
        } else if (TakesValue(arg) || IsOwnValueOption(arg)) {
            ++i;
        } else if (std::strcmp(arg, "--") == 0) {
            if (i + 1 < argc && file.empty())
                file = argv[i + 1];
            break;
        } else if (arg[0] != '-' && file.empty()) {
            file = arg;
        }
    }
}

bool CStartOptions::PlatformNeedsDisplay(const std::string& name)
{
    // "name:option=value,..." names the plugin before its options. Qt's
    // platforms that draw into memory, a framebuffer or a VNC client; every
    // other one (xcb, wayland, ...) needs a display server.
    const std::string plugin = name.substr(0, name.find(':'));
    for (const char* own : {"offscreen", "minimal", "minimalegl", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"})
        if (plugin == own)
            return false;
    return true;
}

bool CStartOptions::CanShowWindows(const char* qpaPlatform, const char* display, const char* waylandDisplay) const
{
    if ((display && *display) || (waylandDisplay && *waylandDisplay))
        return true;
    if (!platform.empty())
        return !PlatformNeedsDisplay(platform);
    if (!qpaPlatform || !*qpaPlatform)
        return false;
    // Qt tries the entries in turn; one that draws without a display will do.
    std::string list = qpaPlatform;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(';', start), list.size());
        if (end > start && !PlatformNeedsDisplay(list.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}
