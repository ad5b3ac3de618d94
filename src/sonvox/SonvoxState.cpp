#include "SonvoxState.h"

#include "CWaveFile.h"

#include <dlfcn.h>

SonvoxState::SonvoxState() = default;
SonvoxState::~SonvoxState() = default;

SonvoxState& State()
{
    static SonvoxState state;
    return state;
}

std::string FindModuleFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&FindModuleFolder), &info) || !info.dli_fname) return std::string();
    std::string path(info.dli_fname);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}
