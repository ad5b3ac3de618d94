// Reads a fuzz input front to back as the values that drive a run. Past the
// end every value reads 0, so any byte string is a complete run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) { }

    bool Empty() const { return m_pos >= m_size; }
    size_t Left() const { return m_size - m_pos; }

    uint8_t U8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // Little-endian. The bytes are taken in separate statements: the order
    // in which the operands of | are evaluated is not fixed, and an input
    // must run the same way whatever compiler built the program.
    uint16_t U16()
    {
        const uint16_t low = U8();
        return uint16_t(low | (U8() << 8));
    }
    uint32_t U24()
    {
        const uint32_t low = U16();
        return low | (uint32_t(U8()) << 16);
    }
    uint32_t U32()
    {
        const uint32_t low = U24();
        return low | (uint32_t(U8()) << 24);
    }

    // Up to n bytes (fewer at the end of the input).
    size_t Bytes(uint8_t* to, size_t n)
    {
        const size_t k = std::min(n, Left());
        if (k)
            std::memcpy(to, m_data + m_pos, k);
        m_pos += k;
        return k;
    }
    const uint8_t* Rest(size_t& n)
    {
        n = Left();
        const uint8_t* p = m_data + m_pos;
        m_pos = m_size;
        return p;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};
