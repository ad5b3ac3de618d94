#include "RememberedNetworkPorts.h"

#include <algorithm>
#include <sstream>

#include "NetworkAddress.h"

RememberedNetworkPorts::RememberedNetworkPorts(const std::string& stored)
{
    std::istringstream words(stored);
    std::string word;
    NetworkAddress address;
    // A hand-edited or damaged entry is left out rather than offered.
    while (words >> word && m_ports.size() < kMax)
        if (ParseNetworkAddress(word, address, nullptr) &&
            std::find(m_ports.begin(), m_ports.end(), address.Canonical()) == m_ports.end())
            m_ports.push_back(address.Canonical());
}

void RememberedNetworkPorts::Remember(const std::string& name)
{
    NetworkAddress address;
    if (!ParseNetworkAddress(name, address, nullptr))
        return;
    const std::string canonical = address.Canonical();
    m_ports.erase(std::remove(m_ports.begin(), m_ports.end(), canonical), m_ports.end());
    m_ports.insert(m_ports.begin(), canonical);
    if (m_ports.size() > kMax)
        m_ports.resize(kMax);
}

std::string RememberedNetworkPorts::Stored() const
{
    std::string text;
    for (const std::string& port : m_ports)
        text += (text.empty() ? "" : " ") + port;
    return text;
}
