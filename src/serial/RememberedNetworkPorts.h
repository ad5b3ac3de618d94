// The network ports that opened once, as the settings keep them: one text,
// the addresses newest first and separated by spaces (no address holds one),
// at most kMax of them, each once in its canonical spelling.
#pragma once

#include <string>
#include <vector>

class RememberedNetworkPorts {
public:
    static constexpr size_t kMax = 32;

    explicit RememberedNetworkPorts(const std::string& stored = std::string());
    // Puts the address first (moving it there when it is known already).
    void Remember(const std::string& address);
    const std::vector<std::string>& Ports() const { return m_ports; }
    std::string Stored() const;

private:
    std::vector<std::string> m_ports;
};
