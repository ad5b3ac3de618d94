// What the decoder helper sends back, checked record by record. A record is
// a type byte, a 32-bit length and that many bytes. The helper answers in
// this order only:
//
//   probe:    Info Done                 or  Error
//   convert:  Progress* Info Samples* Done
//             or  Progress* [Info] Error
//
// Nothing comes after Done or Error. The file's description must be one a
// decoder can give (rates, channels, sample sizes in range), progress lies
// within 0-1000, a probe sends no samples and a conversion never more than
// it was asked for. Anything else means the helper is not the one the
// program started, or a decoder has taken it over: the whole answer is
// thrown away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "CDecoderProcess.h"

class CDecoderReplies {
public:
    CDecoderReplies(CDecoderProcess::Task task, uint32_t maxSamples, CDecoderProcess::Result& result,
                    CConvertControl* control)
        : m_task(task), m_maxSamples(maxSamples), m_result(result), m_control(control)
    {
    }

    // False once the stream has broken the rules; it stays so.
    bool Feed(const char* data, size_t n);
    bool Broken() const { return m_broken; }
    // A Done or an Error record arrived.
    bool Finished() const { return m_state == kOver; }

    static constexpr uint32_t kMaxRecord = 1u << 20;
    static constexpr size_t kMaxErrorText = 1000;
    static constexpr int kMaxRate = 1000000;
    static constexpr int kMaxChannels = 1024;

private:
    enum State { kStart, kDescribed, kOver };
    bool Take(char type, const char* data, uint32_t size);
    static bool Plausible(const CAudioFileInfo& info);

    CDecoderProcess::Task m_task;
    uint32_t m_maxSamples;
    CDecoderProcess::Result& m_result;
    CConvertControl* m_control;
    std::vector<char> m_buffer;
    State m_state = kStart;
    bool m_broken = false;
};
