// The input or output device through PortAudio: the default one, or the one
// chosen with Use. PortAudio pulls and pushes audio in its own callback; this
// class moves it between that callback and the queued buffers.
#pragma once

#include "CSoundDevice.h"
#include "CSoundDeviceList.h"
#include "CSourceWatch.h"

#include <pa_linux_alsa.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CPortAudioDevice : public CSoundDevice {
public:
    explicit CPortAudioDevice(SoundDirection direction);
    ~CPortAudioDevice() override;

    int Capabilities(uint32_t& flags) override;
    int QueryFormat(const SoundFormat& format) override;
    int Open(const SoundFormat& format, SoundCallback callback, void* context) override;
    bool IsOpen() const override;
    int Queue(SoundBuffer* buffer) override;
    int Start() override;
    bool WaitUntilDelivering(unsigned timeoutMs) override;
    void Drain() override;
    int Reset() override;
    int Close() override;
    std::string ErrorText(int result) const override;

    static bool BackendStartup();
    static void BackendShutdown();
    // The device that streams opened from now on use for a direction; an
    // empty entry stands for the default device.
    static void Use(SoundDirection direction, const SSoundDeviceEntry& device);

    // PortAudio's stream callback; public only for the C trampoline.
    int Process(const void* input, void* output, unsigned long frames, unsigned long statusFlags);
    std::string LossReport() override;
    bool Lost() override;
    std::string Name() const override;
    // PortAudio's stream-finished callback; public only for the C trampoline.
    void Finished();

private:
    bool Initialise();
    void Terminate();
    int Fail(int paError);
    int FillParameters(const SoundFormat& format, void* params);
    void Complete(SoundBuffer* buffer);
    // Output: milliseconds of sound queued and not yet taken by the stream.
    double QueuedMs();
    int StartOutput();
    // Output: how much must be queued before the stream starts.
    double StartAtMs() const;
    // Input, under m_lock: new sound into the queued buffers, the rest into
    // the ring; and the ring into buffers queued since.
    void Deliver(const uint8_t* src, size_t bytes);
    void FillFromRing();

    bool m_initialised = false;
    void* m_stream = nullptr;
    SoundFormat m_format;
    SoundCallback m_callback = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_running{false};  // also read by the poll worker (Lost)

    mutable std::mutex m_lock;
    std::deque<SoundBuffer*> m_queue;
    uint32_t m_headPos = 0;  // output: bytes of the head buffer already played
    std::string m_lastError;
    // Input: sound that came while no buffer was queued, oldest first.
    std::vector<uint8_t> m_ring;
    size_t m_ringStart = 0;
    size_t m_ringUsed = 0;
    // Input: sound lost for want of room; output: silence played for want
    // of sound before the end. Overruns or underruns of the sound system.
    uint64_t m_lostBytes = 0;
    unsigned m_overruns = 0;
    // Output: the last buffer is queued (Drain); running dry is the end.
    bool m_draining = false;
    // Input: set by the first callback that brings audio after Start.
    bool m_delivering = false;
    // When the stream's callback last ran (input: brought sound), and
    // whether the stream has ended without being stopped.
    std::chrono::steady_clock::time_point m_lastCallback;
    bool m_finished = false;
    std::string m_name;
    std::condition_variable m_deliveringWake;
    // The sound server's device to open, when one was chosen.
    PaAlsaStreamInfo m_alsaInfo{};
    std::string m_alsaName;
    // Input: the server's source the recording reads, and its watch; the
    // default device is watched as the server's default source.
    std::string m_serverSource;
    bool m_watchDefault = false;
    CSourceWatch m_watch;
};
