#pragma once
// The line as the unit's logic sees it. The pty implementation paces every byte
// at the baud rate; tests can record instead.

#include <cstddef>
#include <cstdint>

class IUnitLink {
public:
    virtual ~IUnitLink() = default;
    // Sends bytes at line speed; false when the line is gone or nobody takes them.
    virtual bool Send(const uint8_t* data, size_t n) = 0;
    // Waits without taking input (erasing, programming, a stall); false when the
    // program is asked to stop meanwhile.
    virtual bool Pause(unsigned ms) = 0;
    // Drops the line for good, as an unplugged adapter would.
    virtual void Vanish() = 0;
};
