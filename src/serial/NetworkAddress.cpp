#include "NetworkAddress.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char kRfc2217Scheme[] = "rfc2217://";
constexpr const char kTcpScheme[] = "tcp://";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return Lower(text.substr(0, std::char_traits<char>::length(prefix))) == prefix;
}

bool Fail(const std::string& name, const std::string& reason, std::string* why)
{
    if (why)
        *why = "'" + name + "' is not a network port (" + reason +
               "): expected rfc2217://HOST:PORT or tcp://HOST:PORT, HOST a name, an IPv4 address or [IPv6], PORT "
               "1 to 65535";
    return false;
}

bool IsHostNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string NetworkAddress::HostPort() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string NetworkAddress::Canonical() const
{
    return std::string(kind == Kind::Rfc2217 ? kRfc2217Scheme : kTcpScheme) + HostPort();
}

bool IsNetworkPortName(const std::string& name)
{
    return StartsWith(name, kRfc2217Scheme) || StartsWith(name, kTcpScheme);
}

bool ParseNetworkAddress(const std::string& name, NetworkAddress& address, std::string* why)
{
    NetworkAddress parsed;
    std::string rest;
    if (StartsWith(name, kRfc2217Scheme)) {
        parsed.kind = NetworkAddress::Kind::Rfc2217;
        rest = name.substr(sizeof kRfc2217Scheme - 1);
    } else if (StartsWith(name, kTcpScheme)) {
        parsed.kind = NetworkAddress::Kind::Tcp;
        rest = name.substr(sizeof kTcpScheme - 1);
    } else {
        return Fail(name, "unknown scheme", why);
    }
    std::string portText;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos)
            return Fail(name, "the IPv6 address has no closing ]", why);
        parsed.host = rest.substr(1, close - 1);
        if (parsed.host.empty() || parsed.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
            parsed.host.find(':') == std::string::npos)
            return Fail(name, "no IPv6 address between [ and ]", why);
        if (close + 1 >= rest.size() || rest[close + 1] != ':')
            return Fail(name, "no :PORT after the address", why);
        portText = rest.substr(close + 2);
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string::npos)
            return Fail(name, "no :PORT", why);
        parsed.host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        if (parsed.host.empty())
            return Fail(name, "no HOST", why);
        if (!std::all_of(parsed.host.begin(), parsed.host.end(), IsHostNameChar))
            return Fail(name, "HOST has characters no name or IPv4 address has; an IPv6 address goes in [ ]", why);
    }
    if (portText.empty() || portText.size() > 5 ||
        !std::all_of(portText.begin(), portText.end(), [](unsigned char c) { return std::isdigit(c); }))
        return Fail(name, "PORT is not a number", why);
    parsed.port = std::stoi(portText);
    if (parsed.port < 1 || parsed.port > 65535)
        return Fail(name, "PORT out of range", why);
    parsed.host = Lower(parsed.host);
    address = parsed;
    return true;
}

std::string PortDisplayName(const std::string& name)
{
    NetworkAddress address;
    return ParseNetworkAddress(name, address, nullptr) ? address.HostPort() : name;
}

std::string CanonicalPortName(const std::string& name)
{
    NetworkAddress address;
    return ParseNetworkAddress(name, address, nullptr) ? address.Canonical() : name;
}
