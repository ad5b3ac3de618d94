// Faults ordered from the decoder helper (ormid-decode reads ORMID_DECODE_FAULT
// in its decoding entry only): while one of these lives, every conversion's
// helper crashes, spins or hoards memory, under limits tight enough to catch
// it at once. The reasons are the texts the refusal then gives.
#pragma once

#include <cstdlib>

#include "CDecoderProcess.h"

class DecoderFault {
public:
    explicit DecoderFault(const char* fault)
    {
        CDecoderProcess::Limits tight;
        tight.cpuSeconds = 1;
        tight.memoryBytes = 256u << 20;
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
};
