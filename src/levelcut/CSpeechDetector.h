// Finds where the speech of a recording starts and ends, on 10 ms frames of
// an 8 kHz signal (16-bit scale). See levelcut.h for the rules.
#pragma once

#include <cstddef>
#include <vector>

class CSpeechDetector {
public:
    static constexpr size_t kFrame = 80;          // 10 ms at 8 kHz
    static constexpr size_t kMinSpeechFrames = 4; // bursts under 40 ms are clicks

    struct Settings {
        double threshold = 184.0;   // lowest speech RMS on a quiet recording
        double factor = 1.0;        // scales both thresholds
        size_t hangoverFrames = 21; // short bursts this close to speech are kept
        double minNoisePower = 0.0; // quantisation noise of the capture
    };

    struct Result {
        bool speechFound = false;
        size_t firstFrame = 0;      // speech region [firstFrame, endFrame)
        size_t endFrame = 0;
        double floorRms = 0.0;      // 10th percentile of frame RMS
        double highRms = 0.0;
        double lowRms = 0.0;
        double noisePower = 0.0;    // per sample, for the SNR
        double speechPower = 0.0;   // mean over the speech region, noise included
        double levelPower = 0.0;    // speech level for the gain, noise removed
        std::vector<bool> inBurst;  // per frame: part of some burst
    };

    static std::vector<double> FramePowers(const float* x, size_t n);
    static Result Detect(const float* x, size_t n, const Settings& s);
    // Hangover in frames for a time constant (see levelcut.h).
    static size_t HangoverFrames(double timeConstant);
};
