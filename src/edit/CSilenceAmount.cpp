#include "CSilenceAmount.h"

#include "CFieldCheck.h"

CSilenceAmount::CSilenceAmount(uint32_t roomLeft)
{
    m_maximum = roomLeft / kBytesPerMs;
    if (m_maximum > kMostMs)
        m_maximum = kMostMs;
}

std::string CSilenceAmount::RangeText() const
{
    return "(0 - " + std::to_string(m_maximum) + ")";
}

bool CSilenceAmount::Check(const std::string& text, uint32_t& amount, std::string& message) const
{
    uint32_t read = 0;
    if (!CFieldCheck::ReadUInt(text, 0, kMostMs, read, message))
        return false;
    if (read > m_maximum) {
        message = "Please enter a value between 0 and " + std::to_string(m_maximum);
        return false;
    }
    amount = read;
    return true;
}
