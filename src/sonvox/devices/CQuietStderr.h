// Keeps the process's standard error quiet while alive: ALSA and the sound
// servers PortAudio probes print their start-up complaints there, and the
// operator's terminal is no place for them.
#pragma once

#include <mutex>

class CQuietStderr {
public:
    CQuietStderr();
    ~CQuietStderr();
    CQuietStderr(const CQuietStderr&) = delete;
    CQuietStderr& operator=(const CQuietStderr&) = delete;

private:
    std::lock_guard<std::mutex> m_hold;
    int m_saved = -1;
};
