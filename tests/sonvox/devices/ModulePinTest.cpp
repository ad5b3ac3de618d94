// Pinned modules stay loaded after their last dlclose; others go.
#include "devices/CModulePin.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace {

const std::string kModule = PIN_MODULE;

bool Resident(const std::string& path)
{
    void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
}

std::string Base(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// The path under which the loader lists a module.
std::string ListedPath(const std::string& file)
{
    for (const std::string& m : CModulePin::LoadedModules())
        if (m.size() >= file.size() && m.compare(m.size() - file.size(), file.size(), file) == 0)
            return m;
    return {};
}

TEST(ModulePin, AModuleLoadedMeanwhileOutlivesItsLastClose)
{
    ASSERT_FALSE(Resident(kModule)) << "the test needs a module this program does not link";

    // Unpinned: the last dlclose unloads it.
    void* h = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    EXPECT_NE(ListedPath("/" + Base(kModule)), "");
    dlclose(h);
    EXPECT_FALSE(Resident(kModule));
    EXPECT_EQ(ListedPath("/" + Base(kModule)), "");

    // Pinned between load and close: it stays, with what it needs.
    CModulePin pin;
    h = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    EXPECT_GE(pin.PinNewModules(), 1);
    dlclose(h);
    EXPECT_TRUE(Resident(kModule));
    // Nothing new since: a second call pins nothing and keeps it.
    EXPECT_EQ(pin.PinNewModules(), 0);
    EXPECT_TRUE(Resident(kModule));
}

TEST(ModulePin, ModulesLoadedBeforeAreLeftAlone)
{
    void* h = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    CModulePin pin;  // sees it already loaded
    EXPECT_EQ(pin.PinNewModules(), 0);
    dlclose(h);
}

}  // namespace
