// A locked first-in first-out queue of heap blocks. Audio moves between the
// library's threads through these: one thread may fill a queue while another
// empties it. Every operation takes the queue's own lock and no other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

using BlockData = std::unique_ptr<uint8_t[]>;

// A block taken out of a queue; the taker owns it.
struct Block {
    BlockData data;
    int length = 0;
    explicit operator bool() const { return data != nullptr; }
};

// A block seen through the read cursor; the queue keeps owning it.
struct BlockView {
    const uint8_t* data = nullptr;
    int length = 0;
};

// Allocates a block without throwing; null when memory ran out.
BlockData AllocBlock(size_t length);

class CBlockQueue {
public:
    CBlockQueue() = default;
    ~CBlockQueue() { Clear(); }
    CBlockQueue(const CBlockQueue&) = delete;
    CBlockQueue& operator=(const CBlockQueue&) = delete;

    // Appends the block; the queue owns it from now on. False (and the block
    // freed) only when the entry itself cannot be allocated.
    bool PushBack(BlockData data, int length);
    // Removes the oldest block; an empty Block when there is none.
    Block PopFront();

    int Count() const;
    int TotalBytes() const;
    bool IsEmpty() const;
    void Clear();

    // Walks the entries without removing them. Only while no other thread
    // changes the queue.
    void ResetCursor();
    BlockView NextAtCursor();

private:
    struct Entry {
        BlockData data;
        int length;
    };
    mutable std::mutex m_lock;
    std::deque<Entry> m_entries;
    int64_t m_total = 0;
    size_t m_cursor = 0;
};
