// Match Loudness: the gain that brings a message to a target integrated
// loudness without letting its true peak pass the ceiling once the result is
// encoded to mu-law again. The ceiling is checked on the encoded codes, as
// the unit will play them, and the gain lowered until it holds; a message
// that cannot reach the target is brought as close as it can.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CLoudnessMeter.h"

struct SMatchOutcome {
    enum class Kind {
        kMatched,    // at the target (within a tenth of an LU)
        kLimited,    // as close as the ceiling lets it: louder would clip
        kUnchanged,  // already at the target: the audio stays as it was
        kSkipped,    // silent or too short to measure: left as it is
        kEmpty,      // the slot holds no audio
    };
    Kind kind = Kind::kEmpty;
    uint8_t slot = 0;  // 0-7
    SLoudness before;
    SLoudness after;
    double gainDb = 0;
    bool Changed() const { return kind == Kind::kMatched || kind == Kind::kLimited; }
};

class CLoudnessMatch {
public:
    static constexpr double kDefaultTarget = -20.0;
    static constexpr double kMinTarget = -50.0;
    static constexpr double kMaxTarget = -5.0;
    static constexpr double kPeakCeiling = -1.0;  // dBTP, after encoding
    static constexpr double kTolerance = 0.1;     // LU

    // Brings the codes to target in place.
    static SMatchOutcome MatchCodes(std::vector<uint8_t>& codes, double target);
    // The samples times the gain, encoded as the unit stores them.
    static std::vector<uint8_t> Encode(const std::vector<float>& samples, double gainDb);

    // "Message 3 reaches -20.0 LUFS (+9.5 dB)",
    // "Message 3 reaches -22.4 LUFS: louder would clip", ...
    static std::string Describe(const SMatchOutcome& outcome);
};
