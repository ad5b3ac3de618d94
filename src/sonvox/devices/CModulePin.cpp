#include "CModulePin.h"

#include <dlfcn.h>
#include <link.h>

namespace {

int AddModule(dl_phdr_info* info, size_t, void* data)
{
    if (info->dlpi_name && info->dlpi_name[0])
        static_cast<std::set<std::string>*>(data)->insert(info->dlpi_name);
    return 0;
}

}  // namespace

CModulePin::CModulePin() : m_known(LoadedModules()) { }

std::set<std::string> CModulePin::LoadedModules()
{
    std::set<std::string> modules;
    dl_iterate_phdr(&AddModule, &modules);
    return modules;
}

int CModulePin::PinNewModules()
{
    int pinned = 0;
    for (const std::string& path : LoadedModules()) {
        if (!m_known.insert(path).second)
            continue;
        // Loads nothing: raises the module (and what it needs) to
        // never-unload. The reference this takes is never given back.
        if (dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE))
            ++pinned;
    }
    return pinned;
}
