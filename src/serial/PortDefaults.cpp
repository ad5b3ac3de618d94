#include "PortDefaults.h"

#include <atomic>

namespace {
std::atomic<IPortDefaultsProvider*> g_provider{nullptr};
}

void SetPortDefaultsProvider(IPortDefaultsProvider* provider)
{
    g_provider.store(provider);
}

IPortDefaultsProvider* GetPortDefaultsProvider()
{
    return g_provider.load();
}
