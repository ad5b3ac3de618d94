// libFuzzer target: see FuzzDecoderReplies in FuzzEntries.h.
#include <cstdio>
#include <cstdlib>

#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzOutcome outcome = FuzzDecoderReplies(data, size);
    if (!outcome.fault.empty()) {
        std::fprintf(stderr, "fuzz_decoder_replies: check failed: %s\n", outcome.fault.c_str());
        std::abort();
    }
    return 0;
}
