// The memory map's geometry: shares in address order that never overlap, a
// short message still visible, the room left to the end, the needed sectors
// hatched where they lie, and the texts for tips, screen readers and the
// line under the bar.
#include <gtest/gtest.h>

#include "CMemoryMapLayout.h"
#include "CWritePlan.h"
#include "TestImages.h"
#include "cMemoryMap.h"

namespace {

void ClearNeeded(cMemoryMap& map)
{
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        map.ClearSectorNeeded(s);
}

}  // namespace

TEST(MemoryMapLayout, SharesFollowTheAddressesAndNeverOverlap)
{
    cMemoryMap map;
    // Slots 2, 5, 0 in that order of address; slot 5 only 10 bytes long.
    FillImage(map, {400000, 10, 1200000});
    const int width = 600;
    const CMemoryMapLayout layout(map, width, 115200);
    const std::vector<SMapSpan>& spans = layout.Messages();
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0].slot, 2);
    EXPECT_EQ(spans[1].slot, 5);
    EXPECT_EQ(spans[2].slot, 0);
    for (size_t i = 0; i < spans.size(); ++i) {
        EXPECT_GE(spans[i].x1 - spans[i].x0, CMemoryMapLayout::kMinMessageWidth) << i;
        if (i > 0) {
            EXPECT_GE(spans[i].x0, spans[i - 1].x1) << i;
        }
        EXPECT_EQ(layout.SlotAt(spans[i].x0), spans[i].slot);
        EXPECT_EQ(layout.SlotAt(spans[i].x1 - 1), spans[i].slot);
    }
    // A long message's share is its part of the memory, less what the short
    // one before it took beyond its own.
    EXPECT_NEAR(spans[2].x1 - spans[2].x0, 1200000.0 * width / cMemoryMap::kImageSize,
                CMemoryMapLayout::kMinMessageWidth + 1);
    EXPECT_EQ(layout.Room().x1, width);
    EXPECT_EQ(layout.Room().x0, spans[2].x1);
    EXPECT_EQ(layout.Room().length, map.GetRoomLeft());
    EXPECT_EQ(layout.SlotAt(layout.Room().x0 + 1), -1);
    EXPECT_EQ(layout.SlotAt(-1), -1);
}

TEST(MemoryMapLayout, NeededSectorsAreHatchedWhereTheyLie)
{
    cMemoryMap map;
    FillImage(map, {400000});
    ClearNeeded(map);
    const int width = 700;
    EXPECT_TRUE(CMemoryMapLayout(map, width, 115200).Hatched().empty());
    EXPECT_EQ(CMemoryMapLayout(map, width, 115200).WriteLine(), "Nothing to write");

    // Two neighbours join; one apart stands alone.
    map.SetSectorNeeded(10);
    map.SetSectorNeeded(11);
    map.SetSectorNeeded(30);
    const CMemoryMapLayout layout(map, width, 115200);
    ASSERT_EQ(layout.Hatched().size(), 2u);
    EXPECT_EQ(layout.Hatched()[0].first, CMemoryMapLayout::X(cMemoryMap::GetSectorStart(10), width));
    EXPECT_EQ(layout.Hatched()[0].second, CMemoryMapLayout::X(cMemoryMap::GetSectorEnd(11), width));
    EXPECT_EQ(layout.Hatched()[1].first, CMemoryMapLayout::X(cMemoryMap::GetSectorStart(30), width));

    const CWritePlan plan = CWritePlan::ForWrite(map, 57600);
    EXPECT_EQ(CMemoryMapLayout(map, width, 57600).WriteLine(),
              "3 sectors to write, about " + CWritePlan::Duration(plan.Seconds()) + " at 57600 baud");
    ClearNeeded(map);
    map.SetSectorNeeded(3);
    EXPECT_EQ(CMemoryMapLayout(map, width, 115200).WriteLine().rfind("1 sector to write, about ", 0), 0u);
}

TEST(MemoryMapLayout, TipsAndDescriptionNameWhatTheBarShows)
{
    cMemoryMap map;
    FillImage(map, {19200});
    ClearNeeded(map);
    const CMemoryMapLayout layout(map, 500, 115200);
    const SMapSpan& span = layout.Messages().at(0);
    char expected[120];
    std::snprintf(expected, sizeof expected, "Message 3: start 0x%06X, 2.40 s (19,200 bytes), sectors %d-%d",
                  unsigned(span.start), span.firstSector, span.lastSector);
    EXPECT_EQ(layout.ToolTip(2), expected);
    EXPECT_EQ(span.firstSector, 1);
    EXPECT_EQ(span.lastSector, 3);  // 0x2000-0x6AFF: three 8 KB sectors
    EXPECT_EQ(layout.ToolTip(4), "");
    EXPECT_EQ(layout.Description(), "1 message uses 19,200 of 4,128,768 bytes (0 %); " +
                                        CWritePlan::Grouped(map.GetRoomLeft()) + " bytes left. Nothing to write");
}
