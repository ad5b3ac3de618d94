#include "CDecoderReplies.h"

#include <cstring>

bool CDecoderReplies::Feed(const char* data, size_t n)
{
    if (m_broken)
        return false;
    // Not a byte after the last record.
    if (m_state == kOver && n > 0)
        return !(m_broken = true);
    m_buffer.insert(m_buffer.end(), data, data + n);
    size_t at = 0;
    while (m_buffer.size() - at >= 5) {
        if (m_state == kOver)
            return !(m_broken = true);
        uint32_t size;
        std::memcpy(&size, &m_buffer[at + 1], 4);
        if (size > kMaxRecord)
            return !(m_broken = true);
        if (m_buffer.size() - at - 5 < size)
            break;
        if (!Take(m_buffer[at], &m_buffer[at + 5], size))
            return !(m_broken = true);
        at += 5 + size;
    }
    if (m_state == kOver && at < m_buffer.size())
        return !(m_broken = true);
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + long(at));
    return true;
}

bool CDecoderReplies::Plausible(const CAudioFileInfo& info)
{
    return info.sampleRate >= 1 && info.sampleRate <= kMaxRate && info.channels >= 1 && info.channels <= kMaxChannels &&
           info.bitsPerSample >= 1 && info.bitsPerSample <= 64 && info.frames >= 0;
}

bool CDecoderReplies::Take(char type, const char* data, uint32_t size)
{
    const bool convert = m_task == CDecoderProcess::kConvert;
    switch (type) {
    case CDecoderProcess::kProgress: {
        if (!convert || m_state != kStart || size != 4)
            return false;
        int32_t permille;
        std::memcpy(&permille, data, 4);
        if (permille < 0 || permille > 1000)
            return false;
        if (m_control)
            m_control->permille.store(permille);
        return true;
    }
    case CDecoderProcess::kInfo: {
        if (m_state != kStart)
            return false;
        CAudioFileInfo info;
        if (!CDecoderProcess::UnpackInfo(std::vector<uint8_t>(data, data + size), info) || !Plausible(info))
            return false;
        m_result.info = info;
        m_result.gotInfo = true;
        m_state = kDescribed;
        return true;
    }
    case CDecoderProcess::kSamples:
        if (!convert || m_state != kDescribed || size == 0 || size > m_maxSamples - m_result.samples.size())
            return false;
        m_result.samples.insert(m_result.samples.end(), data, data + size);
        return true;
    case CDecoderProcess::kDone:
        if (m_state != kDescribed || size != 9 || uint8_t(data[8]) > 1)
            return false;
        std::memcpy(&m_result.clamped, data, 8);
        m_result.truncated = data[8] != 0;
        m_result.ok = true;
        m_state = kOver;
        return true;
    case CDecoderProcess::kError:
        // A reason in plain words, the program shows it to the operator.
        if (size == 0 || size > kMaxErrorText)
            return false;
        for (uint32_t i = 0; i < size; ++i)
            if (uint8_t(data[i]) < 0x20 || uint8_t(data[i]) > 0x7E)
                return false;
        m_result.error.assign(data, size);
        m_state = kOver;
        return true;
    default:
        return false;
    }
}
