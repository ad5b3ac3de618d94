// The recorder's periodic worker: a thread that calls one handler every
// 10 ms while it is resumed, at the highest priority the process may have.
// Suspend returns only once no call of the handler is in progress, so the
// caller may then touch what the handler touches.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CPollWorker {
public:
    static constexpr unsigned kTimerId = 113;
    static constexpr unsigned kPeriodMs = 10;

    CPollWorker() = default;
    ~CPollWorker() { End(); }
    CPollWorker(const CPollWorker&) = delete;
    CPollWorker& operator=(const CPollWorker&) = delete;

    // Starts the thread suspended. False when no thread could be made.
    bool Create(std::function<void()> handler);
    bool IsRunning() const;
    void Resume();
    void Suspend();
    // Leaves the loop and joins the thread.
    void End();

private:
    void Loop();
    void RaisePriority();

    std::function<void()> m_handler;
    std::thread m_thread;
    mutable std::mutex m_lock;  // guards the flags below
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_suspended = true;
    std::mutex m_busy;  // held while the handler runs
};
