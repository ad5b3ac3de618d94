// What the "Make Silence" dialog accepts: a whole number of milliseconds from
// 0 to the largest amount that fits in the room left (8 bytes a millisecond),
// and never more than a second.
#pragma once

#include <cstdint>
#include <string>

class CSilenceAmount {
public:
    static constexpr uint32_t kBytesPerMs = 8;
    static constexpr uint32_t kMostMs = 1000;

    explicit CSilenceAmount(uint32_t roomLeft);

    uint32_t Maximum() const { return m_maximum; }
    // "(0 - %u)" with the maximum.
    std::string RangeText() const;

    // Reads the amount box. True with amount set when the text is a whole
    // number from 0 to the maximum; otherwise false with the message of the
    // first rule the text breaks, amount untouched.
    bool Check(const std::string& text, uint32_t& amount, std::string& message) const;

private:
    uint32_t m_maximum = 0;
};
