// Runs the audio decoders in a short-lived helper process, "ormid-decode" in
// the program folder: the decoders are large C libraries fed files from
// anywhere, and a fault in one of them must cost the operator one refused
// file, not the program and its unsaved work, and a decoder a hostile file
// has taken over must reach nothing of the operator's. The helper runs in a
// sandbox (CDecoderSandbox) with an empty environment and sends what it
// found and the converted samples back through a pipe, where every record is
// checked (CDecoderReplies); what it says on stderr goes to the program log.
//
// The helper is started with posix_spawn and exec, never a bare fork: the
// panel is a multi-threaded Qt program, after whose fork only async-signal-safe
// work would be allowed, and a fresh small program costs little more.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CAudioConverter.h"

class CDecoderProcess {
public:
    struct Limits {
        int cpuSeconds = 30;                // of processor time
        uint64_t memoryBytes = 1ull << 30;  // of address space
        int silentSeconds = 10;             // without a record from the helper
        std::string helper;                 // another helper program (to measure); empty: ormid-decode
    };
    // For tests: tighter limits make a runaway decoder quick to catch.
    static void SetLimits(const Limits& limits);
    static Limits GetLimits();

    enum Task { kProbe, kConvert };

    // What the helper sent back.
    struct Result {
        bool ok = false;
        bool stopped = false;  // control->stop was set: the helper was ended
        CAudioFileInfo info;
        bool gotInfo = false;
        std::vector<uint8_t> samples;
        uint64_t clamped = 0;
        bool truncated = false;
        std::string error;  // why not ok: the decoder's reason, or how the helper ended
    };

    // Decodes the open file fd (a regular file; it stays open here) in the
    // helper. control, when given, follows the progress and ends the helper
    // when stop is set.
    static Result Run(Task task, int fd, uint32_t maxSamples, CConvertControl* control);

    // The helper's side: records on fd 1.
    enum Record : char {
        kInfo = 'I',      // the file's description
        kProgress = 'P',  // permille decoded so far
        kSamples = 'D',   // converted samples
        kDone = 'R',      // clamped count and truncation: success
        kError = 'E',     // the decoder's reason: failure
    };
    static bool WriteRecord(int fd, Record type, const void* data, uint32_t size);
    static std::vector<uint8_t> PackInfo(const CAudioFileInfo& info);
    static bool UnpackInfo(const std::vector<uint8_t>& data, CAudioFileInfo& info);

    // The most samples a conversion answers with, whatever room the caller
    // has: about two hours at the unit's rate.
    static constexpr uint32_t kMaxSamples = 1u << 26;

    // Exit status of the helper when its memory limit was reached.
    static constexpr int kExitNoMemory = 3;
};
