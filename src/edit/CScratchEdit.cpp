#include "CScratchEdit.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "CAudioImport.h"
#include "IOperatorReport.h"
#include "cMemoryMap.h"

namespace {

class CQuietReport : public IOperatorReport {
public:
    void ShowMessage(const std::string&) override { }
    bool AskYesNo(const std::string&) override { return false; }
};

bool Save(const std::string& path, const std::vector<uint8_t>& codes, IOperatorReport& report)
{
    std::string error;
    if (CAudioImport::SaveUnitWav(path.c_str(), codes, error))
        return true;
    report.ShowMessage("Failed to open file " + path + "\n" + path + ": " + error);
    return false;
}

}  // namespace

size_t CScratchEdit::Hash(const std::vector<uint8_t>& codes)
{
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(codes.data()), codes.size()));
}

bool CScratchEdit::Read(std::vector<uint8_t>& codes, IOperatorReport& report) const
{
    return cMemoryMap::ReadUnitWav(m_path.c_str(), 0xFFFFFFFFu, codes, report);
}

void CScratchEdit::DropStale() const
{
    if (m_steps.empty())
        return;
    CQuietReport quiet;
    std::vector<uint8_t> now;
    if (!Read(now, quiet) || now.size() != m_steps.back().afterSize || Hash(now) != m_steps.back().afterHash)
        m_steps.clear();
}

bool CScratchEdit::Replace(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                           IOperatorReport& report)
{
    DropStale();
    if (!Save(m_path, after, report))
        return false;
    m_steps.push_back({before, after.size(), Hash(after)});
    while (m_steps.size() > kDepth)
        m_steps.pop_front();
    return true;
}

bool CScratchEdit::ReadRange(size_t from, size_t& to, std::vector<uint8_t>& codes, IOperatorReport& report) const
{
    if (!Read(codes, report))
        return false;
    to = std::min(to, codes.size());
    return from < to;
}

bool CScratchEdit::Cut(size_t from, size_t to, IOperatorReport& report)
{
    std::vector<uint8_t> codes;
    if (!ReadRange(from, to, codes, report))
        return false;
    std::vector<uint8_t> after(codes.begin(), codes.begin() + from);
    after.insert(after.end(), codes.begin() + to, codes.end());
    return Replace(codes, after, report);
}

bool CScratchEdit::Crop(size_t from, size_t to, IOperatorReport& report)
{
    std::vector<uint8_t> codes;
    if (!ReadRange(from, to, codes, report) || (from == 0 && to == codes.size()))
        return false;  // nothing would change
    const std::vector<uint8_t> after(codes.begin() + from, codes.begin() + to);
    return Replace(codes, after, report);
}

bool CScratchEdit::CanUndo() const
{
    return Steps() > 0;
}

size_t CScratchEdit::Steps() const
{
    DropStale();
    return m_steps.size();
}

bool CScratchEdit::Undo(IOperatorReport& report)
{
    DropStale();
    if (m_steps.empty())
        return false;
    if (!Save(m_path, m_steps.back().before, report))
        return false;
    m_steps.pop_back();
    // The step below is good again: the file holds what it left.
    return true;
}

bool CScratchEdit::WriteRange(size_t from, size_t to, const std::string& output, IOperatorReport& report) const
{
    std::vector<uint8_t> codes;
    if (!ReadRange(from, to, codes, report))
        return false;
    return Save(output, std::vector<uint8_t>(codes.begin() + from, codes.begin() + to), report);
}
