// The 240-byte chunk of the play and page queues: 30 ms of mu-law audio at
// 8000 samples per second, with the two bytes of every pair swapped.
#pragma once

#include <cstddef>
#include <cstdint>

class CBlockQueue;

constexpr int kChunkBytes = 240;
// Mu-law code for zero, used to fill the last chunk of a run.
constexpr uint8_t kMuLawZero = 0xFF;

// Exchanges bytes 0 and 1, 2 and 3, ...; an odd last byte stays.
void SwapBytePairs(uint8_t* buffer, size_t length);

// Cuts a run of swapped mu-law bytes into chunks and appends them in order;
// the last chunk is filled up with kMuLawZero. False when memory ran out
// (the chunks queued so far stay).
bool QueueChunks(const uint8_t* data, size_t length, CBlockQueue& queue);
