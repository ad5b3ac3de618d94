#include "CTransferProgress.h"

CTransferProgress::Display CTransferProgress::Reset(uint32_t byteCount)
{
    m_scale = uint16_t(byteCount / 64);
    Display d;
    d.rangeChanged = true;
    d.range = m_scale;
    d.position = 0;
    return d;
}

CTransferProgress::Display CTransferProgress::Update(uint32_t outstanding)
{
    Display d;
    if (m_scale == 0) {
        m_scale = uint16_t(outstanding / 64);
        d.rangeChanged = true;
        d.range = m_scale;
    }
    uint64_t full = uint64_t(m_scale) * 64;
    // Less than 64 bytes were outstanding at the first update: there is no
    // scale to measure against.
    if (full == 0)
        return d;
    uint64_t done = outstanding > full ? outstanding - full : full - outstanding;
    d.percent = int(done * 100 / full);
    int position = int(m_scale) - int(outstanding / 64);
    d.position = position < 0 ? 0 : position;
    return d;
}
