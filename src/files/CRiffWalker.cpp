#include "CRiffWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "LittleEndian.h"

namespace {

bool IsId(const uint8_t* p)
{
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

bool CRiffWalker::ReadAt(uint64_t pos, void* to, size_t n) const
{
    if (pos > m_length || n > m_length - pos)
        return false;
    auto* p = static_cast<uint8_t*>(to);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(m_fd, p + done, n - done, off_t(pos + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

bool CRiffWalker::ReadChunk(uint64_t pos, Chunk& chunk) const
{
    uint8_t header[8];
    if (!ReadAt(pos, header, sizeof header))
        return false;
    std::memcpy(chunk.id, header, 4);
    chunk.size = GetLE32(header + 4);
    chunk.dataPos = pos + 8;
    return true;
}

bool CRiffWalker::Next(const Chunk& chunk, uint64_t end, uint64_t& next) const
{
    if (chunk.dataPos > end || chunk.size > end - chunk.dataPos)
        return false;
    next = chunk.dataPos + chunk.size;
    if (chunk.size & 1) {
        // Where the padded position would read as an id too (a size whose
        // low byte is printable), the id at the unpadded position wins.
        uint8_t peek[4];
        if (!(ReadAt(next, peek, sizeof peek) && IsId(peek)))
            next = std::min(next + 1, end);
    }
    return true;
}

bool CRiffWalker::Find(const char id[4], uint64_t from, uint64_t end, Chunk& chunk) const
{
    uint64_t pos = from;
    while (pos + 8 <= end) {
        if (!ReadChunk(pos, chunk))
            return false;
        if (std::memcmp(chunk.id, id, 4) == 0)
            return true;
        if (!Next(chunk, end, pos))
            return false;
    }
    return false;
}

bool CRiffWalker::IsWave(uint32_t& riffSize) const
{
    uint8_t riff[12];
    if (!ReadAt(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return false;
    riffSize = GetLE32(riff + 4);
    return true;
}
