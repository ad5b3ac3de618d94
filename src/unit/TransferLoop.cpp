#include "TransferLoop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "CConsoleTransferView.h"
#include "CUnitTransfer.h"
#include "ITransferLink.h"

namespace {

// Wakes the loop from the serial worker: a reply arrived, a block left or the
// port went. The worker only sets a flag; it never waits for the loop.
class CLoopWaker : public ITransferEventSink {
public:
    void OnTransferEvent() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending = true;
        }
        m_wake.notify_one();
    }

    // Waits until the deadline or an event; true for an event.
    template <class TimePoint>
    bool WaitUntil(TimePoint deadline)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_until(lock, deadline, [this] { return m_pending; });
        const bool event = m_pending;
        m_pending = false;
        return event;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
};

// Leaves the waker registered only while the loop runs.
class CSinkScope {
public:
    CSinkScope(ITransferLink& link, ITransferEventSink* sink) : m_link(link) { m_link.SetEventSink(sink); }
    ~CSinkScope() { m_link.SetEventSink(nullptr); }

private:
    ITransferLink& m_link;
};

} // namespace

bool RunTransferLoop(CUnitTransfer& transfer, CConsoleTransferView& view, const std::atomic<bool>* stop,
                     unsigned periodMs, bool stepOnEvents)
{
    using Clock = std::chrono::steady_clock;
    // A stop request is noticed within this time even at long periods.
    const auto slice = std::chrono::milliseconds(20);
    CLoopWaker waker;
    CSinkScope scope(transfer.Link(), stepOnEvents ? &waker : nullptr);
    // Whatever happened before the waker was in place.
    transfer.StepNow();
    auto next = Clock::now();
    while (view.TimerRunning()) {
        const unsigned period = periodMs ? periodMs : view.TimerPeriod();
        next += std::chrono::milliseconds(period);
        // Like a window timer, a late tick is not made up for.
        if (next < Clock::now())
            next = Clock::now();
        for (;;) {
            if (stop && stop->load()) {
                transfer.Finish();
                return false;
            }
            const auto now = Clock::now();
            if (now >= next)
                break;
            // Between ticks the transfer steps whenever the line has news.
            if (waker.WaitUntil(std::min<Clock::time_point>(next, now + slice))) {
                transfer.StepNow();
                if (!view.TimerRunning())
                    return true;
            }
        }
        // The tick: the clock of the time-outs.
        transfer.Step();
    }
    return true;
}
