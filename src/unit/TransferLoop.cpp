#include "TransferLoop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "CConsoleTransferView.h"
#include "CUnitTransfer.h"
#include "ITransferLink.h"

namespace {

using Clock = std::chrono::steady_clock;

// Wakes the loop from the serial workers: a reply arrived, a block left or a
// port went. A worker only marks its transfer; it never waits for the loop.
class CLoopWaker {
public:
    explicit CLoopWaker(size_t units) : m_pending(units, false) { }

    void Notify(size_t unit)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending[unit] = true;
            m_any = true;
        }
        m_wake.notify_one();
    }

    // Waits until the deadline or news; the transfers with news.
    std::vector<size_t> WaitUntil(Clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_until(lock, deadline, [this] { return m_any; });
        std::vector<size_t> units;
        for (size_t i = 0; i < m_pending.size(); ++i) {
            if (m_pending[i])
                units.push_back(i);
            m_pending[i] = false;
        }
        m_any = false;
        return units;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<bool> m_pending;
    bool m_any = false;
};

class CUnitSink : public ITransferEventSink {
public:
    CUnitSink(CLoopWaker& waker, size_t unit) : m_waker(waker), m_unit(unit) { }
    void OnTransferEvent() override { m_waker.Notify(m_unit); }

private:
    CLoopWaker& m_waker;
    size_t m_unit;
};

// Leaves the sinks registered only while the loop runs.
class CSinkScope {
public:
    CSinkScope(const std::vector<LoopUnit>& units, CLoopWaker& waker, bool active) : m_units(units)
    {
        for (size_t i = 0; i < units.size() && active; ++i) {
            m_sinks.emplace_back(new CUnitSink(waker, i));
            units[i].transfer->Link().SetEventSink(m_sinks.back().get());
        }
    }
    ~CSinkScope()
    {
        for (size_t i = 0; i < m_sinks.size(); ++i)
            m_units[i].transfer->Link().SetEventSink(nullptr);
    }

private:
    const std::vector<LoopUnit>& m_units;
    std::vector<std::unique_ptr<CUnitSink>> m_sinks;
};

}  // namespace

bool RunTransferLoops(const std::vector<LoopUnit>& units, const std::atomic<bool>* stop, unsigned periodMs,
                      bool stepOnEvents, const std::function<void()>& onWake)
{
    // A stop request is noticed within this time even at long periods.
    const auto slice = std::chrono::milliseconds(20);
    auto period = [&](size_t i) {
        return std::chrono::milliseconds(periodMs ? periodMs : units[i].view->TimerPeriod());
    };
    auto running = [&](size_t i) { return units[i].view->TimerRunning(); };
    CLoopWaker waker(units.size());
    CSinkScope scope(units, waker, stepOnEvents);
    std::vector<Clock::time_point> next(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        // Whatever happened before the waker was in place.
        units[i].transfer->StepNow();
        next[i] = Clock::now() + period(i);
    }
    for (;;) {
        Clock::time_point deadline = Clock::now() + slice;
        bool any = false;
        for (size_t i = 0; i < units.size(); ++i) {
            if (running(i)) {
                any = true;
                deadline = std::min(deadline, next[i]);
            }
        }
        if (!any)
            return true;
        if (stop && stop->load()) {
            for (size_t i = 0; i < units.size(); ++i)
                if (running(i))
                    units[i].transfer->Finish();
            return false;
        }
        // Between ticks a transfer steps whenever its line has news.
        for (size_t i : waker.WaitUntil(deadline))
            if (running(i))
                units[i].transfer->StepNow();
        // The ticks: the clock of the time-outs. Like a window timer, a late
        // tick is not made up for.
        const auto now = Clock::now();
        for (size_t i = 0; i < units.size(); ++i) {
            if (!running(i) || now < next[i])
                continue;
            units[i].transfer->Step();
            next[i] = std::max(next[i] + period(i), now);
        }
        if (onWake)
            onWake();
    }
}

bool RunTransferLoop(CUnitTransfer& transfer, CConsoleTransferView& view, const std::atomic<bool>* stop,
                     unsigned periodMs, bool stepOnEvents)
{
    return RunTransferLoops({{&transfer, &view}}, stop, periodMs, stepOnEvents);
}
