// Copies of captured PCM blocks for the level meter, behind an enabled flag.
// The recorder's worker pushes, MeterGetPeak takes, Stop clears. The tap's own
// lock guards the flag and every queue operation.
#pragma once

#include "CBlockQueue.h"

class CMeterTap {
public:
    void SetEnabled(int enabled);
    int IsEnabled() const;
    // Copies the bytes into a new block and queues it (when enabled or not:
    // the caller checks the flag). False when memory ran out.
    bool PushCopy(const void* data, int length);
    Block Take();
    void ClearIfAny();
    int Count() const;

private:
    mutable std::mutex m_lock;
    int m_enabled = 0;
    CBlockQueue m_queue;
};
