#include "PortDefaults.h"

#include <atomic>
#include <string>

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

std::string DescribePortDefaults(const PortDefaults& defaults)
{
    static const char* const kParities[] = {"no", "odd", "even", "mark", "space"};
    static const char* const kStopBits[] = {"1", "1.5", "2"};
    static const char* const kHandshakes[] = {"no handshaking", "hardware handshaking", "software handshaking"};
    auto pick = [](const char* const* names, int count, int value) {
        return value >= 0 && value < count ? names[value] : "?";
    };
    return std::to_string(defaults.baud) + " baud, " + std::to_string(defaults.dataBits) + " data bits, " +
           pick(kParities, 5, defaults.parity) + " parity, " + pick(kStopBits, 3, defaults.stopBits) +
           (defaults.stopBits == 0 ? " stop bit, " : " stop bits, ") + pick(kHandshakes, 3, defaults.handshaking);
}
