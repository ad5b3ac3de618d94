#include "CMemoryMapLayout.h"

#include <algorithm>
#include <cstdio>

#include "CWritePlan.h"
#include "cMemoryMap.h"

namespace {

uint8_t SectorOf(uint32_t address)
{
    uint8_t s = 0;
    while (s < cMemoryMap::kSectorCount - 1 && cMemoryMap::GetSectorEnd(s) <= address)
        ++s;
    return s;
}

}  // namespace

int CMemoryMapLayout::X(uint32_t address, int width)
{
    if (width <= 0)
        return 0;
    address = std::min(address, cMemoryMap::kImageSize);
    return int(uint64_t(address) * uint64_t(width) / cMemoryMap::kImageSize);
}

CMemoryMapLayout::CMemoryMapLayout(const cMemoryMap& map, int width, int baud)
{
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        if (!map.HoldsAudio(slot))
            continue;
        SMapSpan span;
        span.slot = slot;
        span.start = map.GetStart(slot);
        span.length = map.GetLength(slot);
        span.firstSector = SectorOf(span.start);
        span.lastSector = SectorOf(span.start + span.length - 1);
        m_used += span.length;
        m_messages.push_back(span);
    }
    std::sort(m_messages.begin(), m_messages.end(),
              [](const SMapSpan& a, const SMapSpan& b) { return a.start < b.start; });
    // Each message takes its share, but at least a few pixels, and never
    // reaches back over the one before it.
    int floor = 0;
    for (SMapSpan& span : m_messages) {
        span.x0 = std::max(X(span.start, width), floor);
        span.x1 = std::max(X(span.start + span.length, width), span.x0 + kMinMessageWidth);
        span.x1 = std::min(span.x1, width);
        span.x0 = std::min(span.x0, span.x1);
        floor = span.x1;
    }
    m_room.length = map.GetRoomLeft();
    m_room.start = cMemoryMap::kImageSize - m_room.length;
    m_room.x0 = std::max(X(m_room.start, width), floor);
    m_room.x1 = m_room.length ? width : m_room.x0;
    m_room.x0 = std::min(m_room.x0, m_room.x1);

    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s) {
        if (!map.IsSectorNeeded(s))
            continue;
        const int x0 = X(cMemoryMap::GetSectorStart(s), width);
        const int x1 = std::max(X(cMemoryMap::GetSectorEnd(s), width), x0 + 1);
        if (!m_hatched.empty() && m_hatched.back().second >= x0)
            m_hatched.back().second = std::max(m_hatched.back().second, x1);
        else
            m_hatched.emplace_back(x0, x1);
    }

    const CWritePlan plan = CWritePlan::ForWrite(map, baud);
    if (plan.Sectors() == 0)
        m_writeLine = "Nothing to write";
    else
        m_writeLine = std::to_string(plan.Sectors()) + (plan.Sectors() == 1 ? " sector" : " sectors") +
                      " to write, about " + CWritePlan::Duration(plan.Seconds()) + " at " +
                      std::to_string(plan.Baud()) + " baud";
}

int CMemoryMapLayout::SlotAt(int x) const
{
    for (const SMapSpan& span : m_messages) {
        if (x >= span.x0 && x < span.x1)
            return span.slot;
    }
    return -1;
}

std::string CMemoryMapLayout::ToolTip(int slot) const
{
    for (const SMapSpan& span : m_messages) {
        if (span.slot != slot)
            continue;
        char text[160];
        char sectors[32];
        if (span.firstSector == span.lastSector)
            std::snprintf(sectors, sizeof sectors, "sector %d", span.firstSector);
        else
            std::snprintf(sectors, sizeof sectors, "sectors %d-%d", span.firstSector, span.lastSector);
        std::snprintf(text, sizeof text, "Message %d: start 0x%06X, %.2f s (%s bytes), %s", slot + 1,
                      unsigned(span.start), span.length / double(cMemoryMap::kBytesPerSecond),
                      CWritePlan::Grouped(span.length).c_str(), sectors);
        return text;
    }
    return {};
}

std::string CMemoryMapLayout::Description() const
{
    const size_t n = m_messages.size();
    char text[200];
    std::snprintf(text, sizeof text, "%zu %s %s %s of %s bytes (%d %%); %s bytes left. ", n,
                  n == 1 ? "message" : "messages", n == 1 ? "uses" : "use", CWritePlan::Grouped(m_used).c_str(),
                  CWritePlan::Grouped(cMemoryMap::kImageSize).c_str(),
                  int(uint64_t(m_used) * 100 / cMemoryMap::kImageSize), CWritePlan::Grouped(m_room.length).c_str());
    return text + m_writeLine;
}
