// Keeps the modules that the sound system loads in memory for the rest of the
// process. ALSA opens its plugins (sound-server clients, converters, and all
// they depend on) with dlopen while PortAudio starts or opens a stream, and
// closes them again when PortAudio ends: dozens of libraries, some with
// threads of their own, unmapped and mapped again at every start of the
// library, possibly while other threads run. Pinned modules are loaded once
// and never unloaded, so nothing can run on, or return into, unmapped code.
#pragma once

#include <set>
#include <string>

class CModulePin {
public:
    // Notes the modules loaded now.
    CModulePin();

    // Marks every module loaded since the constructor (or the last call) as
    // never to be unloaded. The number of modules newly pinned.
    int PinNewModules();

    // The paths of the modules now loaded (not the program itself).
    static std::set<std::string> LoadedModules();

private:
    std::set<std::string> m_known;
};
