// The four parameters of the processing that follows every recording, and the
// three results that the processing hands back.
#pragma once

#include <cstdint>

struct RecordProcessingParams {
    static constexpr double kDefaultTimeConstant = 0.9998;
    static constexpr double kDefaultClipAmount = 0.02;
    static constexpr double kDefaultThresholdFactor = 1.0;
    static constexpr int32_t kDefaultInitialTrim = 500;

    double timeConstant = kDefaultTimeConstant;        // 0.5 to 1.0
    double clipAmount = kDefaultClipAmount;            // 0.0 to 1.0
    double thresholdFactor = kDefaultThresholdFactor;  // 0.0 to 5.0
    int32_t initialTrim = kDefaultInitialTrim;         // samples at 8 kHz, 0 to 2000
    // Results of the most recent processing.
    double gain = 0;       // dB applied
    double clipCount = 0;  // samples clipping
    double snr = 0;        // signal-to-noise ratio

    // The four parameters back to their defaults; the results stay.
    void RestoreDefaults()
    {
        timeConstant = kDefaultTimeConstant;
        clipAmount = kDefaultClipAmount;
        thresholdFactor = kDefaultThresholdFactor;
        initialTrim = kDefaultInitialTrim;
    }
};
