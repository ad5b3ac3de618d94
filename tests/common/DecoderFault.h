// Faults ordered from the decoder helper (ormid-decode reads ORMID_DECODE_FAULT
// in its decoding entry only): while one of these lives, every conversion's
// helper crashes, spins, hoards memory, falls silent, answers nonsense or
// tries to get out of its sandbox (escape-file:PATH, escape-connect:HOST:PORT,
// escape-exec:PATH), under limits tight enough to catch it at once. The
// reasons are the texts the refusal then gives.
#pragma once

#include <cstdlib>
#include <cstring>

#include "CDecoderProcess.h"

class DecoderFault {
public:
    explicit DecoderFault(const char* fault)
    {
        CDecoderProcess::Limits tight;
        tight.cpuSeconds = 1;
        tight.memoryBytes = 256u << 20;
        // Silence is caught quickly only where it is the fault: a spinning
        // helper on a busy machine may take seconds to use its second of
        // processor time.
        if (fault && std::strcmp(fault, "silent") == 0)
            tight.silentSeconds = 1;
        CDecoderProcess::SetLimits(tight);
        if (fault)
            ::setenv("ORMID_DECODE_FAULT", fault, 1);
    }
    ~DecoderFault()
    {
        ::unsetenv("ORMID_DECODE_FAULT");
        CDecoderProcess::SetLimits(CDecoderProcess::Limits());
    }

    // The address sanitizer catches the crash itself and ends the helper
    // with its own exit status.
#ifdef __SANITIZE_ADDRESS__
    static constexpr const char* kCrashReason = "the decoder ended without an answer (exit status 1)";
#else
    static constexpr const char* kCrashReason = "the decoder crashed (Segmentation fault)";
#endif
    static constexpr const char* kTimeReason = "the decoder went over its time limit";
    static constexpr const char* kMemoryReason = "the decoder went over its memory limit";
    static constexpr const char* kSilentReason = "the decoder stopped answering";
    static constexpr const char* kBrokenReason = "the decoder sent something it should not have";
    static constexpr const char* kEscapeReason = "the decoder tried to reach outside its sandbox";
};
