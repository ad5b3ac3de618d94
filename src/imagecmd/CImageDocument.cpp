#include "CImageDocument.h"

#include "CImageLock.h"
#include "cMemoryMap.h"

bool CImageDocument::Load(const std::string& path)
{
    if (!ReadShared(path, m_map, m_report))
        return false;
    m_changed = false;
    return true;
}

bool CImageDocument::Save(const std::string& path)
{
    // Another program changing the same file waits until the save is done.
    CImageLock lock;
    if (!lock.Lock(path, CImageLock::kExclusive, m_report) || !m_map.WriteImageFile(path.c_str(), m_report))
        return false;
    m_changed = false;
    return true;
}

bool CImageDocument::ReadShared(const std::string& path, cMemoryMap& map, IOperatorReport& report)
{
    CImageLock lock;
    return lock.Lock(path, CImageLock::kShared, report) && map.ReadImageFile(path.c_str(), report);
}

bool CImageDocument::Change(const std::string& path, IOperatorReport& report,
                            const std::function<bool(cMemoryMap&)>& change)
{
    CImageLock lock;
    if (!lock.Lock(path, CImageLock::kExclusive, report))
        return false;
    cMemoryMap map;
    return map.ReadImageFile(path.c_str(), report) && change(map) && map.WriteImageFile(path.c_str(), report);
}
