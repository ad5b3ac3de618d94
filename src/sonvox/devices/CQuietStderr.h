// Keeps the process's standard error quiet while alive: ALSA and the sound
// servers PortAudio probes print their start-up complaints there, and the
// operator's terminal is no place for them.
#pragma once

#include <mutex>

// Held by whoever changes where standard error goes (CStderrTap too).
std::mutex& StderrLock();

class CQuietStderr {
public:
    CQuietStderr();
    ~CQuietStderr();
    CQuietStderr(const CQuietStderr&) = delete;
    CQuietStderr& operator=(const CQuietStderr&) = delete;

private:
    std::lock_guard<std::mutex> m_hold;  // StderrLock
    int m_saved = -1;
};
