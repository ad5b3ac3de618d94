// An advisory lock on an image file, held for the whole read-modify-write of a
// command (or while the panel saves), so that two programs changing one image
// at once cannot silently drop one of the changes. Writers take it exclusive,
// readers shared. A second writer waits a short time, then gives up.
//
// The lock lives on the file itself. Saving replaces the file by a rename, so
// after the wait the lock is checked to still be on the file the path names,
// and taken again on the new file when it is not.
#pragma once

#include <string>

class IOperatorReport;

class CImageLock {
public:
    enum Mode { kShared, kExclusive };
    static constexpr int kDefaultWaitMs = 5000;

    CImageLock() = default;
    ~CImageLock();
    CImageLock(const CImageLock&) = delete;
    CImageLock& operator=(const CImageLock&) = delete;

    // True once the lock is held, or when there is nothing to lock (no file
    // yet, or not a regular file: the reader then refuses it). False when
    // another program held the file for the whole wait; the message has been
    // shown then.
    bool Lock(const std::string& path, Mode mode, IOperatorReport& report, int waitMs = kDefaultWaitMs);
    void Unlock();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
