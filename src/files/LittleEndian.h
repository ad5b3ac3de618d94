// Little-endian fields of the files the program reads and writes (RIFF
// headers, the image file's header, the unit's 24-bit table entries).
#pragma once

#include <cstdint>

inline uint16_t GetLE16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t GetLE24(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

inline uint32_t GetLE32(const uint8_t* p)
{
    return GetLE24(p) | (uint32_t(p[3]) << 24);
}

inline void PutLE16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void PutLE24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

inline void PutLE32(uint8_t* p, uint32_t v)
{
    PutLE24(p, v);
    p[3] = uint8_t(v >> 24);
}
