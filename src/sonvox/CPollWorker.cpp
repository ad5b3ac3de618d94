#include "CPollWorker.h"

#include "CAudioLog.h"

#include <chrono>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
const char* const kLogUnit = "WaveIn";
}

bool CPollWorker::Create(std::function<void()> handler)
{
    End();
    std::lock_guard<std::mutex> lk(m_lock);
    m_handler = std::move(handler);
    m_running = true;
    m_suspended = true;
    try {
        m_thread = std::thread(&CPollWorker::Loop, this);
        pthread_setname_np(m_thread.native_handle(), "sonvox-poll");
    } catch (...) {
        m_running = false;
        return false;
    }
    return true;
}

bool CPollWorker::IsRunning() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_running;
}

void CPollWorker::Resume()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_suspended = false;
    m_wake.notify_all();
}

void CPollWorker::Suspend()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_suspended = true;
    }
    // Wait out a handler call in progress; later ones see the flag.
    std::lock_guard<std::mutex> busy(m_busy);
}

void CPollWorker::End()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_running = false;
        m_suspended = false;
        m_wake.notify_all();
    }
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

// Real-time scheduling when the process may have it; otherwise the lowest
// nice value the process may take.
void CPollWorker::RaisePriority()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
        SVLOG("Poll worker runs at real-time priority (SCHED_FIFO %d)", param.sched_priority);
        return;
    }
    pid_t tid = pid_t(syscall(SYS_gettid));
    int best = getpriority(PRIO_PROCESS, id_t(tid));
    for (int nice = -20; nice < best; ++nice) {
        if (setpriority(PRIO_PROCESS, id_t(tid), nice) == 0) {
            best = nice;
            break;
        }
    }
    SVLOG("Poll worker runs at normal priority (nice %d)", best);
}

void CPollWorker::Loop()
{
    RaisePriority();
    using Clock = std::chrono::steady_clock;
    Clock::time_point next = Clock::now();
    std::unique_lock<std::mutex> lk(m_lock);
    for (;;) {
        while (m_running && m_suspended) {
            m_wake.wait(lk);
            next = Clock::now();
        }
        if (!m_running)
            break;
        {
            std::lock_guard<std::mutex> busy(m_busy);
            lk.unlock();
            m_handler();
        }
        lk.lock();
        next += std::chrono::milliseconds(kPeriodMs);
        Clock::time_point now = Clock::now();
        if (next < now)
            next = now;  // fell behind: do not try to catch up
        m_wake.wait_until(lk, next, [this] { return !m_running || m_suspended; });
    }
}
