// The default input or output device through PortAudio. PortAudio pulls and
// pushes audio in its own callback; this class moves it between that callback
// and the queued buffers.
#pragma once

#include "CSoundDevice.h"

#include <deque>
#include <mutex>
#include <string>

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
    int Reset() override;
    int Close() override;
    std::string ErrorText(int result) const override;

    static bool BackendStartup();
    static void BackendShutdown();

    // PortAudio's stream callback; public only for the C trampoline.
    int Process(const void* input, void* output, unsigned long frames);

private:
    bool Initialise();
    void Terminate();
    int Fail(int paError);
    int FillParameters(const SoundFormat& format, void* params);
    void Complete(SoundBuffer* buffer);

    bool m_initialised = false;
    void* m_stream = nullptr;
    SoundFormat m_format;
    SoundCallback m_callback = nullptr;
    void* m_context = nullptr;
    bool m_running = false;

    mutable std::mutex m_lock;
    std::deque<SoundBuffer*> m_queue;
    uint32_t m_headPos = 0;  // output: bytes of the head buffer already played
    std::string m_lastError;
};
