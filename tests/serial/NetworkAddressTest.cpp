// The names of network ports, and the remembered list the settings keep.
#include <gtest/gtest.h>

#include "NetworkAddress.h"
#include "RememberedNetworkPorts.h"

namespace {

struct NameRow {
    const char* name;
    bool valid;
    const char* canonical;  // valid names: the one spelling; malformed: part of the reason
    const char* hostPort;
};

const NameRow kNames[] = {
    {"rfc2217://127.0.0.1:2000", true, "rfc2217://127.0.0.1:2000", "127.0.0.1:2000"},
    {"RFC2217://Server-3.Site:65535", true, "rfc2217://server-3.site:65535", "server-3.site:65535"},
    {"tcp://[::1]:7", true, "tcp://[::1]:7", "[::1]:7"},
    {"TCP://[FE80::1]:4001", true, "tcp://[fe80::1]:4001", "[fe80::1]:4001"},
    {"tcp://host:1", true, "tcp://host:1", "host:1"},
    {"tcp://host", false, "no :PORT", ""},
    {"tcp://:2000", false, "no HOST", ""},
    {"tcp://host:", false, "PORT is not a number", ""},
    {"tcp://host:0", false, "PORT out of range", ""},
    {"tcp://host:65536", false, "PORT out of range", ""},
    {"tcp://host:123456", false, "PORT is not a number", ""},
    {"tcp://host:20x0", false, "PORT is not a number", ""},
    {"tcp://::1:2000", false, "an IPv6 address goes in [ ]", ""},
    {"tcp://[::1:2000", false, "no closing ]", ""},
    {"tcp://[::1]2000", false, "no :PORT after the address", ""},
    {"tcp://[]:2000", false, "no IPv6 address", ""},
    {"tcp://[host]:2000", false, "no IPv6 address", ""},
    {"tcp://ho st:2000", false, "characters no name", ""},
    {"rfc2217://a/b:2000", false, "characters no name", ""},
};

}  // namespace

TEST(NetworkAddressTest, NamesParseToOneSpellingOrSayWhatIsExpected)
{
    for (const NameRow& row : kNames) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(IsNetworkPortName(row.name));
        NetworkAddress address;
        std::string why;
        ASSERT_EQ(ParseNetworkAddress(row.name, address, &why), row.valid) << why;
        if (row.valid) {
            EXPECT_EQ(address.Canonical(), row.canonical);
            EXPECT_EQ(address.HostPort(), row.hostPort);
            EXPECT_EQ(CanonicalPortName(row.name), row.canonical);
            EXPECT_EQ(PortDisplayName(row.name), row.hostPort);
        } else {
            EXPECT_NE(why.find(row.canonical), std::string::npos) << why;
            EXPECT_NE(why.find("expected rfc2217://HOST:PORT or tcp://HOST:PORT"), std::string::npos) << why;
        }
    }
    // Local devices are not network names and keep their spelling.
    for (const char* local : {"/dev/ttyUSB0", "/run/user/1000/ormid/unitsim-12", "tcp:/x:1", "COM1"}) {
        EXPECT_FALSE(IsNetworkPortName(local)) << local;
        EXPECT_EQ(CanonicalPortName(local), local);
        EXPECT_EQ(PortDisplayName(local), local);
    }
}

TEST(NetworkAddressTest, RememberedPortsAreNewestFirstOnceEachAndAtMost32)
{
    // Damaged and repeated entries of a stored text are left out.
    RememberedNetworkPorts stored("tcp://a:1  garbage RFC2217://B:2 tcp://A:1 tcp://c:99999");
    EXPECT_EQ(stored.Ports(), (std::vector<std::string>{"tcp://a:1", "rfc2217://b:2"}));

    stored.Remember("rfc2217://b:2");  // known: moves to the front
    stored.Remember("TCP://[::1]:3");
    stored.Remember("/dev/ttyUSB0");  // not a network port: not kept
    EXPECT_EQ(stored.Stored(), "tcp://[::1]:3 rfc2217://b:2 tcp://a:1");
    EXPECT_EQ(RememberedNetworkPorts(stored.Stored()).Ports(), stored.Ports());

    RememberedNetworkPorts many;
    for (int port = 1; port <= 40; ++port)
        many.Remember("tcp://host:" + std::to_string(port));
    ASSERT_EQ(many.Ports().size(), RememberedNetworkPorts::kMax);
    EXPECT_EQ(many.Ports().front(), "tcp://host:40");
    EXPECT_EQ(many.Ports().back(), "tcp://host:9");
}
