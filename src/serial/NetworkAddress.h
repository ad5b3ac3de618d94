// The names of serial ports on the network: rfc2217://HOST:PORT (Telnet with
// the COM port option: line settings and modem lines travel with the data)
// and tcp://HOST:PORT (a raw byte stream; the server keeps its own line
// settings). HOST is a name, an IPv4 address or [IPv6].
#pragma once

#include <string>

struct NetworkAddress {
    enum class Kind { Rfc2217, Tcp };
    Kind kind = Kind::Tcp;
    std::string host;  // lower case, without the brackets of an IPv6 address
    int port = 0;

    // "HOST:PORT" as messages name it, an IPv6 address in brackets.
    std::string HostPort() const;
    // The port name in one spelling: lower-case scheme and host. Journals and
    // the remembered list key a network port by it.
    std::string Canonical() const;
};

// True when the name asks for a network port (it starts with rfc2217:// or
// tcp://, in any case); ParseNetworkAddress then tells whether it is one.
bool IsNetworkPortName(const std::string& name);
// False, with *why saying what is expected, for a malformed name.
bool ParseNetworkAddress(const std::string& name, NetworkAddress& address, std::string* why);
// "HOST:PORT" of a network port name, else the name unchanged.
std::string PortDisplayName(const std::string& name);
// The spelling a port is kept under: Canonical() of a network port, else the name.
std::string CanonicalPortName(const std::string& name);
