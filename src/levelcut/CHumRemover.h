// Finds mains hum (a 50 or 60 Hz fundamental, within 2 %, with its
// harmonics) in the background of an 8 kHz recording and takes it out.
//
// Finding: the background frames of a hum are periodic with the mains
// period and stay in phase over seconds, which neither noise nor a voice
// does. The period is measured from the correlation of the background with
// itself one period later, then refined over ever more periods (up to about
// a second) for the precision the higher harmonics need.
//
// Removing: the hum at each sample is the weighted mean of the recording at
// the same phase of the neighbouring mains periods (up to 20 either side),
// and is subtracted. Periods that hold more than the background (speech, a
// click) barely count where background periods are near, so speech leaves
// no echo in the pauses beside it. For the hum this is an exact notch at the
// fundamental and every harmonic up to the band edge, with no settling time;
// elsewhere the response is flat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CHumRemover {
public:
    static constexpr double kTolerance = 0.02;  // mains frequency, either way
    static constexpr int kPeriodsEachSide = 20;
    // Frames with more than this times the background's power once the hum
    // is out count this much as neighbours.
    static constexpr double kLouder = 4.0;
    static constexpr float kLouderWeight = 1e-3f;

    struct Hum {
        double hz = 0.0;           // 0: no hum found
        double period = 0.0;       // samples at 8 kHz
        double correlation = 0.0;  // of the background with itself a period later
        double power = 0.0;        // mean power per sample taken out (16-bit scale)
    };

    // background: per 10 ms frame, whether it holds background only.
    static Hum Find(const std::vector<float>& x, const std::vector<uint8_t>& background);
    // How much each 10 ms frame counts as a neighbour: 1 for background,
    // little for louder frames, nothing for digital silence.
    static std::vector<float> Weights(const std::vector<float>& x, double period,
                                      const std::vector<uint8_t>& silentFrame);
    // Subtracts the hum of the given period; the mean power taken out.
    static double Remove(std::vector<float>& x, double period, const std::vector<uint8_t>& silentFrame);
};
