// One post-record processor: its settings, one run on a WAV file in place,
// and the results of the last run. The library's exports wrap one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CLevelcut {
public:
    // Margins kept around the speech, and the fades at the cuts (8 kHz samples).
    static constexpr size_t kLeadMargin = 1200;       // 150 ms
    static constexpr size_t kTrailMargin = 1600;      // 200 ms
    static constexpr size_t kFade = 40;               // 5 ms
    static constexpr unsigned kMaxSeconds = 20 * 60;  // longest capture loaded
    // Mains hum removed leaves no more than this share of its power (60 dB
    // down): the noise floor is never taken lower.
    static constexpr double kHumLeft = 1e-6;

    // What the last run found, in milliseconds of the input recording.
    struct Report {
        double inputMs = 0.0;
        bool speechFound = false;
        double speechStartMs = 0.0, speechEndMs = 0.0;  // detected speech
        double keptStartMs = 0.0, keptEndMs = 0.0;      // what the output holds
        double floorDb = 0.0;                           // noise floor (frame RMS), dBFS
        double clearDb = 0.0;                           // frames over this are never cut, dBFS
        double edgeDb = 0.0;                            // faint sound over this is kept next to the speech, dBFS
        double levelDb = 0.0;                           // speech level before the gain, dBFS
        double humHz = 0.0;                             // mains hum removed; 0: none found
        size_t outputSamples = 0;
    };

    CLevelcut();

    // Each returns 0, or 1 when the value is out of range (stored anyway).
    int SetInitialTrim(int samples);
    int SetThreshold(float threshold);
    int SetClipAmount(float amount);
    int SetTimeConstant(float timeConstant);
    int SetThreshFudge(float factor);
    bool SettingsValid() const;

    // The whole job on a file; 0 or a LEVELCUT_ERR_ code.
    int TrimFile(const char* path);
    // The processing alone: PCM bytes in, mu-law bytes out. 0, or
    // LEVELCUT_ERR_INVALID_FMT when the sample size is not 8 or 16 bits or
    // the resampler fails, or LEVELCUT_ERR_PARAMS when the initial trim
    // leaves no audio.
    int Process(const uint8_t* pcm, size_t bytes, unsigned bits, unsigned rate, std::vector<uint8_t>& mulaw);

    double Snr() const { return m_snr; }
    double Gain() const { return m_gain; }
    double Clip() const { return m_clip; }
    const Report& LastReport() const { return m_report; }

    void ClearResults();

private:
    static bool WriteMuLawAtomically(const char* path, const std::vector<uint8_t>& mulaw);

    int m_initialTrim;
    float m_threshold;
    float m_clipAmount;
    float m_timeConstant;
    float m_threshFudge;

    double m_snr = 0.0;
    double m_gain = 0.0;
    double m_clip = 0.0;
    Report m_report;
};
