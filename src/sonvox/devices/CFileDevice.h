// A sound device backed by files, paced by the clock like a real one.
// Input delivers a WAV file (converted to the opened format) at the format's
// rate into the queued buffers; while no buffer is queued it keeps up to
// 200 ms in a ring, like a sound card, and loses what overflows it.
// Output plays each buffer for its duration and appends it to a WAV file when
// it starts playing; a reset drops what has not started yet.
#pragma once

#include "CCaptureSource.h"
#include "CSoundDevice.h"
#include "CWaveAppender.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class CFileDevice : public CSoundDevice {
public:
    CFileDevice(SoundDirection direction, std::string path);
    ~CFileDevice() override;

    int Capabilities(uint32_t& flags) override;
    int QueryFormat(const SoundFormat& format) override;
    int Open(const SoundFormat& format, SoundCallback callback, void* context) override;
    bool IsOpen() const override;
    int Queue(SoundBuffer* buffer) override;
    int Start() override;
    int Reset() override;
    int Close() override;
    std::string ErrorText(int result) const override;

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    // Both run under m_lock; Complete calls the owner's callback.
    void CaptureUpTo(Clock::time_point now);
    void PlayUpTo(Clock::time_point now, bool complete);
    void Complete(SoundBuffer* buffer);
    Clock::duration FramesToDuration(uint64_t frames) const;
    Clock::time_point NextEvent() const;

    std::string m_path;
    SoundFormat m_format;
    SoundCallback m_callback = nullptr;
    void* m_context = nullptr;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_open = false;
    bool m_quit = false;
    std::deque<SoundBuffer*> m_queue;
    std::string m_lastError;

    // Input.
    CCaptureSource m_source;
    bool m_capturing = false;
    Clock::time_point m_t0;
    uint64_t m_framesDone = 0;

    // Output.
    CWaveAppender m_out;
    bool m_headStarted = false;
    Clock::time_point m_headEnd;
    Clock::time_point m_lastEnd;
};
