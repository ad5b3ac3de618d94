#include "Chunks.h"

#include "CBlockQueue.h"

#include <cstring>
#include <utility>

void SwapBytePairs(uint8_t* buffer, size_t length)
{
    if (!buffer)
        return;
    for (size_t i = 0; i + 1 < length; i += 2)
        std::swap(buffer[i], buffer[i + 1]);
}

bool QueueChunks(const uint8_t* data, size_t length, CBlockQueue& queue)
{
    if (!data)
        return length == 0;
    for (size_t pos = 0; pos < length; pos += kChunkBytes) {
        BlockData chunk = AllocBlock(kChunkBytes);
        if (!chunk)
            return false;
        size_t n = length - pos < size_t(kChunkBytes) ? length - pos : size_t(kChunkBytes);
        memcpy(chunk.get(), data + pos, n);
        if (n < size_t(kChunkBytes))
            memset(chunk.get() + n, kMuLawZero, kChunkBytes - n);
        if (!queue.PushBack(std::move(chunk), kChunkBytes))
            return false;
    }
    return true;
}
