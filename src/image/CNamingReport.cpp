#include "CNamingReport.h"

std::string CNamingReport::Rename(std::string text) const
{
    if (m_to.empty() || m_from.empty() || m_from == m_to)
        return text;
    for (size_t at = text.find(m_from); at != std::string::npos; at = text.find(m_from, at + m_to.size()))
        text.replace(at, m_from.size(), m_to);
    return text;
}
