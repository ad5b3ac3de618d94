#include "CLinePacer.h"

#include <cerrno>
#include <ctime>

CLinePacer::CLinePacer(unsigned baud, bool fast) : m_baud(baud ? baud : 1), m_fast(fast) { }

int64_t CLinePacer::NowNs()
{
    struct timespec ts { };
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool CLinePacer::SleepUntil(int64_t deadlineNs)
{
    struct timespec ts { };
    ts.tv_sec = deadlineNs / 1000000000;
    ts.tv_nsec = deadlineNs % 1000000000;
    for (;;) {
        const int rc = ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (rc == 0)
            return true;
        if (rc == EINTR)
            return false;
        return true;  // EINVAL cannot happen with a normalised time; do not spin
    }
}

int64_t CLinePacer::BytesNs(size_t n) const
{
    if (m_fast)
        return 0;
    return static_cast<int64_t>(n) * 10 * 1000000000LL / m_baud;
}

size_t CLinePacer::SliceBytes() const
{
    const size_t n = m_baud / 10 / 500;
    return n ? n : 1;
}
