// The playback thread: plays the chunks of the play queue on the default
// output device. Requests reach it through its own queue and are handled one
// at a time, in the order they were posted; whoever posts never waits.
#pragma once

#include "devices/CSoundDevice.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class CBlockQueue;

class CPlayThread {
public:
    static constexpr int kHeaderCount = 20;
    static constexpr uint32_t kBufferBytes = 19200;
    enum Command { kPlay = 1035, kCancel = 1036, kQuit = 1037 };

    explicit CPlayThread(CBlockQueue& playQueue);
    ~CPlayThread();
    CPlayThread(const CPlayThread&) = delete;
    CPlayThread& operator=(const CPlayThread&) = delete;

    bool Start();
    // False when the request cannot be queued (the thread is not running).
    bool Post(Command command);
    // Posts the quit request and waits at most timeoutMs for the thread to
    // end. False when it did not end in time; the object must then be kept.
    bool Quit(unsigned timeoutMs);
    // The message last played stopped early: the output device was lost.
    // Cleared when the next play request is posted or a cancel is.
    bool OutputLost() const { return m_lost.load(); }

private:
    void Run();
    void Play();
    void CloseDevice(bool cancelled);
    // The output device went away while playing: said in the log.
    void LogLost();
    void FreeBuffers();
    static void DeviceCallback(void* context, SoundBuffer* buffer);
    bool CancelSince(unsigned seq) const { return m_cancelSeq.load() != seq; }

    CBlockQueue& m_playQueue;
    std::thread m_thread;
    std::mutex m_requestLock;
    std::condition_variable m_requestWake;
    std::deque<Command> m_requests;
    bool m_accepting = false;
    std::atomic<unsigned> m_cancelSeq{0};  // raised by every cancel or quit posted
    std::atomic<bool> m_lost{false};

    std::mutex m_doneLock;
    std::condition_variable m_doneWake;
    bool m_ended = false;

    std::unique_ptr<CSoundDevice> m_device;
    SoundBuffer m_headers[kHeaderCount];
    std::mutex m_freeLock;
    std::condition_variable m_freeWake;
    std::deque<SoundBuffer*> m_free;
};
