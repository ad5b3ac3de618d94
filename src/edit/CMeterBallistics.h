// How the level meter moves, without a window: input peaks (0-32767 of 16-bit
// audio) on a dB scale from -60 to 0 dBFS, a bar that rises at once and falls
// back smoothly, and a peak-hold mark that stays for 1.5 s and then falls.
// Every reading takes the time in milliseconds, so the motion is a function
// of time alone and does not depend on how often anyone asks.
#pragma once

#include <cstdint>

class CMeterBallistics {
public:
    static constexpr int kFullScale = 32767;
    static constexpr double kFloorDb = -60.0;        // rest: the left end of the scale
    static constexpr double kYellowDb = -12.0;       // green below, yellow from here
    static constexpr double kRedDb = -3.0;           // red from here to 0 dBFS
    static constexpr double kBarFallDbPerS = 30.0;   // the bar's fall once the input drops
    static constexpr uint32_t kPeakHoldMs = 1500;    // the peak mark holds this long
    static constexpr double kPeakFallDbPerS = 20.0;  // then falls this fast

    enum class Zone { Green, Yellow, Red };

    // A level in dBFS, clamped to 0..32767 and to the floor (0 gives the floor).
    static double LevelToDb(int level);
    // Where a dB value sits on the scale: 0 at the floor, 1 at 0 dBFS.
    static double Fraction(double db);
    static Zone ZoneOf(double db);

    // A new input peak at time nowMs.
    void SetLevel(int level, uint32_t nowMs);
    // Back to rest at once.
    void Clear();

    // The bar and the peak mark at time nowMs, in dBFS; kFloorDb is rest.
    // A time before the last SetLevel reads as that SetLevel's time.
    double BarDb(uint32_t nowMs) const;
    double PeakDb(uint32_t nowMs) const;
    // Nothing left to fall: the meter shows rest.
    bool AtRest(uint32_t nowMs) const;

private:
    double m_barDb = kFloorDb;  // the bar at m_barMs
    uint32_t m_barMs = 0;
    double m_peakDb = kFloorDb;  // the held peak, set at m_peakMs
    uint32_t m_peakMs = 0;
};
