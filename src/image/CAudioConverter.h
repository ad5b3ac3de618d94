// Reads audio files of other kinds (WAV of any encoding, FLAC, Ogg Vorbis,
// Opus, MP3) and turns them into the unit's audio: mono, 8000 samples per
// second, mu-law with the same table as the audio library's codec. Plain
// code with no user interface; any thread may convert.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// What the decoders find in a file.
struct CAudioFileInfo {
    int sampleRate = 0;
    int bitsPerSample = 0;  // of the stored samples; 16 for compressed streams
    int channels = 0;
    int64_t frames = 0;       // samples per channel, as the decoder announces them
    bool unitFormat = false;  // a mu-law, mono, 8 kHz WAV file: imported as it is
};

// Lets another thread follow a conversion and stop it.
struct CConvertControl {
    std::atomic<bool> stop{false};
    std::atomic<int> permille{0};  // of the announced length decoded so far
};

class CAudioConverter {
public:
    static constexpr int kUnitRate = 8000;

    // False when the path is not a regular file or no decoder can read it.
    // The decoders run in a helper process (CDecoderProcess); control, when
    // given, ends it when stop is set.
    static bool Probe(const char* path, CAudioFileInfo& info, CConvertControl* control = nullptr);

    // Decodes the whole file, mixes its channels to mono, resamples to 8000 Hz
    // and encodes mu-law into out. Mu-law that is already mono at 8000 Hz is
    // taken byte for byte. Stops after maxSamples codes (Truncated() then
    // says so). False when the file cannot be decoded (ErrorText() says why)
    // or when control->stop was set (Stopped()). The decoders run in a
    // helper process; its crash or its limits are a failure with the reason.
    bool Convert(const char* path, uint32_t maxSamples, std::vector<uint8_t>& out, CConvertControl* control = nullptr);

    // The same two in this process, on an open regular file: for the decoder
    // helper itself (and to measure what the helper costs).
    static bool ProbeHere(int fd, CAudioFileInfo& info);
    bool ConvertHere(int fd, uint32_t maxSamples, std::vector<uint8_t>& out, CConvertControl* control = nullptr);
    const CAudioFileInfo& Info() const { return m_info; }

    // Samples beyond full scale after resampling, clamped to it.
    uint64_t ClampedSamples() const { return m_clamped; }
    bool Truncated() const { return m_truncated; }
    bool Stopped() const { return m_stopped; }
    const std::string& ErrorText() const { return m_error; }
    // One line for the program log about the last conversion.
    std::string LogText() const;

private:
    void Reset();

    std::string m_path;
    CAudioFileInfo m_info;
    size_t m_samples = 0;
    uint64_t m_clamped = 0;
    bool m_truncated = false;
    bool m_stopped = false;
    std::string m_error;
};
