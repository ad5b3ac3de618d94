#include "CImageHistory.h"

#include <algorithm>
#include <cstring>

#include "cMemoryMap.h"

namespace {

static_assert(cMemoryMap::kTableSize == 192, "the steps keep a whole table");

// Equal stretches shorter than this inside a changed area stay in one run:
// a run costs more than a few bytes.
constexpr uint32_t kJoinGap = 32;

// The live table can be set only from the image's first bytes; those are put
// back afterwards, so that the image itself does not change.
void SetLiveTable(cMemoryMap& map, const uint8_t* table)
{
    uint8_t* image = map.GetImageBuffer();
    uint8_t kept[cMemoryMap::kTableSize];
    std::memcpy(kept, image, sizeof kept);
    std::memcpy(image, table, sizeof kept);
    map.LoadTableFromImage();
    std::memcpy(image, kept, sizeof kept);
}

void MarkNeeded(cMemoryMap& map, uint32_t begin, uint32_t end)
{
    map.SetSectorNeeded(0);
    for (uint8_t s = 1; s < cMemoryMap::kSectorCount; ++s)
        if (cMemoryMap::GetSectorStart(s) < end && begin < cMemoryMap::GetSectorEnd(s))
            map.SetSectorNeeded(s);
}

}  // namespace

CImageHistory::CImageHistory() : m_base(new uint8_t[cMemoryMap::kImageSize]()), m_marks{false} { }

CImageHistory::~CImageHistory() = default;

size_t CImageHistory::Step::Bytes() const
{
    size_t bytes = sizeof(Step) + runs.capacity() * sizeof(Run);
    for (const Run& run : runs)
        bytes += run.bytes.capacity();
    return bytes;
}

size_t CImageHistory::MemoryBytes() const
{
    size_t bytes = sizeof(*this) + cMemoryMap::kImageSize + m_steps.capacity() * sizeof(Step);
    for (const Step& step : m_steps)
        bytes += step.Bytes() - sizeof(Step);
    return bytes;
}

void CImageHistory::Reset(const cMemoryMap& map, bool changed)
{
    std::memcpy(m_base.get(), map.GetImageBuffer(), cMemoryMap::kImageSize);
    std::memcpy(m_baseTable, map.GetTable(), sizeof m_baseTable);
    m_steps.clear();
    m_marks.assign(1, changed);
    m_position = 0;
}

void CImageHistory::Adopt(const cMemoryMap& map, uint32_t begin, uint32_t end)
{
    if (end > cMemoryMap::kImageSize)
        end = cMemoryMap::kImageSize;
    if (begin < end)
        std::memcpy(m_base.get() + begin, map.GetImageBuffer() + begin, end - begin);
}

bool CImageHistory::Record(const cMemoryMap& map, const CImageChange& change, bool changedBefore, bool changedAfter)
{
    Step step;
    const bool tableChanged = std::memcmp(m_baseTable, map.GetTable(), sizeof m_baseTable) != 0;
    std::memcpy(step.table, m_baseTable, sizeof step.table);
    std::memcpy(m_baseTable, map.GetTable(), sizeof m_baseTable);

    const uint8_t* image = map.GetImageBuffer();
    uint8_t* base = m_base.get();
    const uint32_t end = change.audioEnd < cMemoryMap::kImageSize ? change.audioEnd : cMemoryMap::kImageSize;
    uint32_t at = change.audioBegin;
    while (at < end) {
        // Whole equal stretches are passed over quickly.
        if (image[at] == base[at]) {
            uint32_t block = end - at < 4096 ? end - at : 4096;
            if (std::memcmp(image + at, base + at, block) == 0) {
                at += block;
                continue;
            }
            while (image[at] == base[at])
                ++at;
        }
        const uint32_t first = at;
        uint32_t last = at;  // one past the last differing byte
        while (at < end && at - last < kJoinGap) {
            if (image[at] != base[at])
                last = at + 1;
            ++at;
        }
        Run run{first, std::vector<uint8_t>(base + first, base + last)};
        std::memcpy(base + first, image + first, last - first);
        step.runs.push_back(std::move(run));
        at = last;
    }
    if (!tableChanged && step.runs.empty())
        return false;

    m_steps.resize(m_position);
    m_marks.resize(m_position + 1);
    m_marks[m_position] = changedBefore;
    m_steps.push_back(std::move(step));
    m_marks.push_back(changedAfter);
    ++m_position;
    Trim();
    return true;
}

void CImageHistory::Trim()
{
    size_t bytes = MemoryBytes();
    while (m_position > 0 && (m_steps.size() > kMaxSteps || (bytes > kBudgetBytes && m_steps.size() > kMinSteps))) {
        bytes -= m_steps.front().Bytes() - sizeof(Step);
        m_steps.erase(m_steps.begin());
        m_marks.erase(m_marks.begin());
        --m_position;
    }
}

void CImageHistory::Swap(cMemoryMap& map, Step& step)
{
    uint8_t* image = map.GetImageBuffer();
    for (Run& run : step.runs) {
        const size_t n = run.bytes.size();
        std::swap_ranges(run.bytes.begin(), run.bytes.end(), image + run.at);
        std::memcpy(m_base.get() + run.at, image + run.at, n);
        MarkNeeded(map, run.at, uint32_t(run.at + n));
    }
    uint8_t table[sizeof step.table];
    std::memcpy(table, map.GetTable(), sizeof table);
    SetLiveTable(map, step.table);
    std::memcpy(step.table, table, sizeof table);
    std::memcpy(m_baseTable, map.GetTable(), sizeof m_baseTable);
    map.SetSectorNeeded(0);
}

bool CImageHistory::Undo(cMemoryMap& map, bool& changed)
{
    if (!CanUndo())
        return false;
    Swap(map, m_steps[m_position - 1]);
    --m_position;
    changed = m_marks[m_position];
    return true;
}

bool CImageHistory::Redo(cMemoryMap& map, bool& changed)
{
    if (!CanRedo())
        return false;
    Swap(map, m_steps[m_position]);
    ++m_position;
    changed = m_marks[m_position];
    return true;
}

void CImageHistory::Saved()
{
    for (size_t p = 0; p < m_marks.size(); ++p)
        m_marks[p] = p != m_position;
}
