// Millisecond tick count: a steady clock read as unsigned 32-bit milliseconds.
// Take differences as unsigned (now - then) and wrap-around is harmless.
#pragma once

#include <chrono>
#include <cstdint>

inline uint32_t GetTickCountMs()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
