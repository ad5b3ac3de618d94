// Appends PCM audio to a WAV file and keeps its header valid after every
// append, so a reader may look at the file at any time. An existing file in
// the same format is continued; anything else at the path is replaced.
#pragma once

#include "CSoundDevice.h"

#include <cstdio>
#include <string>

class CWaveAppender {
public:
    ~CWaveAppender() { Close(); }
    bool Open(const std::string& path, const SoundFormat& format);
    bool Append(const uint8_t* data, uint32_t length);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

private:
    bool WriteSizes();

    FILE* m_file = nullptr;
    uint32_t m_dataSize = 0;
};
