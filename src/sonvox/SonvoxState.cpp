#include "SonvoxState.h"

#include "CWaveFile.h"

#include <dlfcn.h>

SonvoxState::SonvoxState() = default;
SonvoxState::~SonvoxState() = default;

SonvoxState& State()
{
    // Never destroyed: a playback thread that did not end when told to still
    // drains the play queue, and a client may call in from its own exit
    // handlers; at exit the process gives the memory back anyway.
    static SonvoxState* const state = new SonvoxState;
    return *state;
}

std::string FindModuleFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&FindModuleFolder), &info) || !info.dli_fname)
        return std::string();
    std::string path(info.dli_fname);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}
