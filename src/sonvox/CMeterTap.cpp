#include "CMeterTap.h"

#include <cstring>

void CMeterTap::SetEnabled(int enabled)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_enabled = enabled;
}

int CMeterTap::IsEnabled() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_enabled;
}

bool CMeterTap::PushCopy(const void* data, int length)
{
    if (!data || length <= 0)
        return false;
    BlockData copy = AllocBlock(size_t(length));
    if (!copy)
        return false;
    memcpy(copy.get(), data, size_t(length));
    std::lock_guard<std::mutex> hold(m_lock);
    return m_queue.PushBack(std::move(copy), length);
}

Block CMeterTap::Take()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_queue.PopFront();
}

void CMeterTap::ClearIfAny()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_queue.IsEmpty())
        m_queue.Clear();
}

int CMeterTap::Count() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_queue.Count();
}
