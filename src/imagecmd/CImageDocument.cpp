#include "CImageDocument.h"

#include "CImageLock.h"
#include "CInPlaceBackup.h"
#include "IOperatorReport.h"
#include "cMemoryMap.h"

namespace {

// Under the lock: a save in place that a killed program left half done is
// undone before anyone reads or writes the file.
void RecoverCutSave(const std::string& path, IOperatorReport& report)
{
    std::string note;
    CInPlaceBackup::Recover(path, note);
    if (!note.empty())
        report.ShowMessage(note);
}

}  // namespace

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
    if (!lock.Lock(path, CImageLock::kExclusive, m_report))
        return false;
    RecoverCutSave(path, m_report);
    if (!m_map.WriteImageFile(path.c_str(), m_report))
        return false;
    m_changed = false;
    return true;
}

bool CImageDocument::ReadShared(const std::string& path, cMemoryMap& map, IOperatorReport& report)
{
    CImageLock lock;
    if (!lock.Lock(path, CImageLock::kShared, report))
        return false;
    RecoverCutSave(path, report);
    return map.ReadImageFile(path.c_str(), report);
}

bool CImageDocument::Change(const std::string& path, IOperatorReport& report,
                            const std::function<bool(cMemoryMap&)>& change)
{
    CImageLock lock;
    if (!lock.Lock(path, CImageLock::kExclusive, report))
        return false;
    RecoverCutSave(path, report);
    cMemoryMap map;
    return map.ReadImageFile(path.c_str(), report) && change(map) && map.WriteImageFile(path.c_str(), report);
}
