#pragma once
// Line timing: at 8N1 a byte takes 10 bit times. Bytes are scheduled against
// absolute CLOCK_MONOTONIC deadlines, so sleeping late never makes the line
// slower than its baud rate over a transfer, and never faster.

#include <cstddef>
#include <cstdint>

class CLinePacer {
public:
    CLinePacer(unsigned baud, bool fast);

    unsigned Baud() const { return m_baud; }
    bool Fast() const { return m_fast; }

    static int64_t NowNs();
    static uint64_t NowMs() { return static_cast<uint64_t>(NowNs() / 1000000); }
    // Sleeps until the absolute time; false when a signal cut it short.
    static bool SleepUntil(int64_t deadlineNs);

    // Line time of n bytes.
    int64_t BytesNs(size_t n) const;
    // How many bytes to move per slice (about 2 ms of line time, at least 1).
    size_t SliceBytes() const;

private:
    unsigned m_baud;
    bool m_fast;
};
