// The progress bar of a transfer, counted in steps of 64 bytes.
#pragma once

#include <cstdint>

class CTransferProgress {
public:
    struct Display {
        bool rangeChanged = false;  // the range is now 0..range
        int range = 0;
        int position = 0;
        int percent = -1;  // the progress text ("Reading - %d %%") is shown when above 0
    };

    // Full scale of byteCount bytes, position 0. A count of 0 leaves the
    // scale to the first update.
    Display Reset(uint32_t byteCount);
    // Bytes still outstanding.
    Display Update(uint32_t outstanding);

    uint16_t Scale() const { return m_scale; }
    void SetScale(uint16_t scale) { m_scale = scale; }

private:
    uint16_t m_scale = 1;
};
