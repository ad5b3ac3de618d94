// Watches the sound server's source that a recording reads from. When that
// source goes away (its module unloaded, a headset unplugged), the server
// moves the recording to its fallback source and the stream goes on with
// what that one hears, often silence: to the stream nothing has happened.
// A recording belongs to the microphone it began on, so its source leaving,
// or the server going, is a lost input device.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct pa_context;
struct pa_threaded_mainloop;

class CSourceWatch {
public:
    CSourceWatch() = default;
    ~CSourceWatch();
    CSourceWatch(const CSourceWatch&) = delete;
    CSourceWatch& operator=(const CSourceWatch&) = delete;

    // Watches the server's source of that name, its default source when the
    // name is empty. False, and nothing watched, when no server answers or
    // it has no such source.
    bool Start(const std::string& sourceName);
    void Stop();
    // The watched source, or the server, went away since Start.
    bool Gone() const { return m_gone.load(); }
    bool Watching() const { return m_context != nullptr; }

    // Called by the server's client library on its own thread.
    void OnEvent(unsigned type, uint32_t index);
    void OnStateChange();

private:
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_gone{false};
    std::atomic<uint32_t> m_index{UINT32_MAX};
    std::atomic<uint32_t> m_removed{UINT32_MAX};  // the last source that left
};
