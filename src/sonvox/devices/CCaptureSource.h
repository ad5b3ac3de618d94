// The audio a file-backed input device delivers: a WAV file read whole and
// converted to the format the device was opened in (channels mixed down,
// rate converted, sample size changed). Past the end it delivers silence.
#pragma once

#include "CSoundDevice.h"

#include <string>
#include <vector>

class CCaptureSource {
public:
    bool Load(const std::string& path, const SoundFormat& target, std::string& error);

    // Copies the next frames into dst, silence once the file has run out.
    void Take(uint8_t* dst, uint32_t frames);
    // Loses the next frames, as a device does when nobody gave it a buffer.
    void Skip(uint64_t frames);

    size_t Frames() const { return m_blockAlign ? m_data.size() / m_blockAlign : 0; }
    const std::vector<uint8_t>& Data() const { return m_data; }

private:
    std::vector<uint8_t> m_data;
    uint64_t m_pos = 0;  // in frames
    uint16_t m_blockAlign = 0;
    uint8_t m_silence = 0;
};
