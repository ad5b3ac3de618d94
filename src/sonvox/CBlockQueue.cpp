#include "CBlockQueue.h"

#include <climits>
#include <new>

BlockData AllocBlock(size_t length)
{
    return BlockData(new (std::nothrow) uint8_t[length ? length : 1]);
}

bool CBlockQueue::PushBack(BlockData data, int length)
{
    if (!data || length < 0)
        return false;
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        m_entries.push_back(Entry{std::move(data), length});
    } catch (const std::bad_alloc&) {
        return false;  // the block is freed on the way out
    }
    m_total += length;
    return true;
}

Block CBlockQueue::PopFront()
{
    std::lock_guard<std::mutex> hold(m_lock);
    Block b;
    if (m_entries.empty()) {
        m_total = 0;
        return b;
    }
    b.data = std::move(m_entries.front().data);
    b.length = m_entries.front().length;
    m_entries.pop_front();
    m_total -= b.length;
    // Keep the cursor on the same entry it pointed at.
    if (m_cursor > 0)
        --m_cursor;
    return b;
}

int CBlockQueue::Count() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return int(m_entries.size());
}

int CBlockQueue::TotalBytes() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_total > INT_MAX ? INT_MAX : int(m_total);
}

bool CBlockQueue::IsEmpty() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_entries.empty();
}

void CBlockQueue::Clear()
{
    std::deque<Entry> gone;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        gone.swap(m_entries);
        m_total = 0;
        m_cursor = 0;
    }
    // Blocks are freed outside the lock.
}

void CBlockQueue::ResetCursor()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_cursor = 0;
}

BlockView CBlockQueue::NextAtCursor()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_cursor >= m_entries.size())
        return {};
    const Entry& e = m_entries[m_cursor++];
    return {e.data.get(), e.length};
}
