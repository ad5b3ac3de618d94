#include "CWaveSelection.h"

#include <algorithm>
#include <cstdio>

void CWaveSelection::SetLength(size_t samples)
{
    m_length = samples;
    m_anchor = Clamp(m_anchor);
    m_free = Clamp(m_free);
}

void CWaveSelection::Press(size_t at)
{
    m_anchor = m_free = Clamp(at);
}

void CWaveSelection::DragTo(size_t at)
{
    m_free = Clamp(at);
}

void CWaveSelection::Extend(int steps)
{
    const long long moved = (long long)m_free + (long long)steps * (long long)kKeyStep;
    m_free = Clamp(size_t(std::max(0ll, moved)));
}

void CWaveSelection::Clear()
{
    m_free = m_anchor;
}

void CWaveSelection::Select(size_t from, size_t to)
{
    m_anchor = Clamp(std::min(from, to));
    m_free = Clamp(std::max(from, to));
}

size_t CWaveSelection::Start() const
{
    return std::min(m_anchor, m_free);
}

size_t CWaveSelection::End() const
{
    return std::max(m_anchor, m_free);
}

std::string CWaveSelection::Describe(unsigned rate) const
{
    if (!HasSelection() || rate == 0)
        return std::string();
    char text[96];
    std::snprintf(text, sizeof text, ", selection %.1f to %.1f seconds", double(Start()) / rate, double(End()) / rate);
    return text;
}
