// Slot and sector bookkeeping of the unit image on valid tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "cMemoryMap.h"

namespace {

// Places n bytes of a pattern into a slot the way an import or recording does.
void Record(cMemoryMap& map, uint8_t slot, uint32_t n, uint8_t seed)
{
    map.ClearSlot(slot);
    uint8_t* at = map.AllocateAtEnd(slot);
    for (uint32_t i = 0; i < n; ++i)
        at[i] = uint8_t(seed + i * 7);
    map.SetLength(slot, n);
    map.MarkSectorsNeeded(slot);
}

std::vector<uint8_t> NeededSectors(const cMemoryMap& map)
{
    std::vector<uint8_t> out;
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        if (map.IsSectorNeeded(s))
            out.push_back(s);
    return out;
}

void ClearAllNeeded(cMemoryMap& map)
{
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        map.ClearSectorNeeded(s);
}

}  // namespace

TEST(MemoryMap, NewImageFigures)
{
    cMemoryMap map;
    ASSERT_TRUE(map.HasBuffer());
    for (uint8_t s = 0; s < 8; ++s) {
        EXPECT_EQ(map.GetStart(s), 0x2000u);
        EXPECT_EQ(map.GetLength(s), 0u);
        EXPECT_EQ(map.GetPlayCount(s), 1);
        EXPECT_EQ(map.GetChecksum(s), 0);
        EXPECT_STREQ(map.GetName(s), "");
    }
    EXPECT_EQ(map.GetLastUsedAddress(), 0x1FFFu);
    EXPECT_EQ(map.GetRoomLeft(), 0x3EE001u);
    EXPECT_EQ(map.GetLastUsedSector(), 0);
    uint8_t sector = 0;
    EXPECT_EQ(map.GetNextNeededSector(sector), nullptr);
    EXPECT_EQ(sector, 255);

    map.RebuildNeededSectors();
    EXPECT_EQ(NeededSectors(map), (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(map.GetNextNeededSector(sector), map.GetImageBuffer());
    EXPECT_EQ(sector, 0);
}

TEST(MemoryMap, SectorMap)
{
    EXPECT_EQ(cMemoryMap::GetSectorStart(0), 0u);
    EXPECT_EQ(cMemoryMap::GetSectorStart(7), 0xE000u);
    EXPECT_EQ(cMemoryMap::GetSectorEnd(7), 0x10000u);
    EXPECT_EQ(cMemoryMap::GetSectorStart(8), 0x10000u);
    EXPECT_EQ(cMemoryMap::GetSectorStart(69), 0x3E0000u);
    EXPECT_EQ(cMemoryMap::GetSectorEnd(69), 0x3F0000u);

    cMemoryMap map;
    std::memset(map.GetImageBuffer() + 0x2000, 0xFF, 0x2000);
    EXPECT_EQ(map.GetSectorChecksum(1), 0xE000);
    // 64 KB of 0xFF wraps the 16-bit sum.
    std::memset(map.GetImageBuffer() + 0x3E0000, 0xFF, 0x10000);
    EXPECT_EQ(map.GetSectorChecksum(69), uint16_t(0x10000u * 0xFF));
    EXPECT_EQ(map.GetSectorChecksum(70), 0);  // past the image: nothing read
}

TEST(MemoryMap, SettersAndTableFields)
{
    cMemoryMap map;
    map.SetName(2, "A name of twenty ch");
    EXPECT_STREQ(map.GetName(2), "A name of twent");
    const uint8_t* name = map.GetTable() + 64 + 32;
    EXPECT_EQ(name[15], 0);
    map.SetName(2, "ab");
    for (int i = 2; i < 16; ++i)
        EXPECT_EQ(name[i], 0) << i;

    map.SetLength(1, 0x1000000);
    EXPECT_EQ(map.GetLength(1), 0u);
    map.SetStart(1, 0x1234567);
    EXPECT_EQ(map.GetStart(1), 0x234567u);

    // Two audio bytes of 0xFF sum to 0xFE.
    uint8_t* at = map.AllocateAtEnd(4);
    at[0] = at[1] = 0xFF;
    map.SetLength(4, 2);
    EXPECT_EQ(map.GetChecksum(4), 0xFE);

    // Slot numbers past 7 read nothing and change nothing.
    const std::vector<uint8_t> before(map.GetTable(), map.GetTable() + 192);
    ClearAllNeeded(map);
    for (int slot : {8, 100, 255}) {
        map.SetStart(uint8_t(slot), 5);
        map.SetLength(uint8_t(slot), 5);
        map.SetName(uint8_t(slot), "x");
        map.SetPlayCount(uint8_t(slot), 9);
        map.ClearSlot(uint8_t(slot));
        EXPECT_EQ(map.GetStart(uint8_t(slot)), 0u);
        EXPECT_EQ(map.GetName(uint8_t(slot)), nullptr);
    }
    EXPECT_EQ(std::vector<uint8_t>(map.GetTable(), map.GetTable() + 192), before);
    EXPECT_TRUE(NeededSectors(map).empty());

    // Every table setter marks sector 0.
    map.SetPlayCount(0, 3);
    EXPECT_EQ(NeededSectors(map), (std::vector<uint8_t>{0}));
}

TEST(MemoryMap, StoreSixteenThousandBytes)
{
    cMemoryMap map;
    uint8_t* at = map.AllocateAtEnd(3);
    EXPECT_EQ(at, map.GetImageBuffer() + 0x2000);
    std::memset(at, 0x11, 16000);
    map.SetLength(3, 16000);
    EXPECT_EQ(map.GetStart(3), 0x2000u);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x5E7Fu);
    EXPECT_EQ(map.GetChecksum(3), uint8_t(16000 * 0x11));
    ClearAllNeeded(map);
    map.MarkSectorsNeeded(3);
    EXPECT_EQ(NeededSectors(map), (std::vector<uint8_t>{0, 1, 2}));
}

TEST(MemoryMap, RecordFiveTwoSevenThenDeleteFive)
{
    cMemoryMap map;
    Record(map, 5, 8000, 1);
    Record(map, 2, 8000, 2);
    Record(map, 7, 8000, 3);
    EXPECT_EQ(map.GetStart(5), 0x2000u);
    EXPECT_EQ(map.GetStart(2), 0x3F40u);
    EXPECT_EQ(map.GetStart(7), 0x5E80u);
    uint8_t follower = 5;
    ASSERT_TRUE(map.FindFollowingSlot(follower));
    EXPECT_EQ(follower, 2);

    const uint8_t sum2 = map.GetChecksum(2), sum7 = map.GetChecksum(7);
    const std::vector<uint8_t> audio7(map.GetImageBuffer() + 0x5E80, map.GetImageBuffer() + 0x5E80 + 8000);
    ClearAllNeeded(map);
    map.ClearSlot(5);
    EXPECT_EQ(map.GetStart(2), 0x2000u);
    EXPECT_EQ(map.GetStart(7), 0x3F40u);
    EXPECT_EQ(map.GetLength(5), 0u);
    EXPECT_EQ(map.GetStart(5), 0x2000u);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x5E7Fu);
    map.UpdateChecksum(2);
    map.UpdateChecksum(7);
    EXPECT_EQ(map.GetChecksum(2), sum2);
    EXPECT_EQ(map.GetChecksum(7), sum7);
    EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + 0x3F40, audio7.data(), 8000));
    // The moved messages mark their new sectors; the freed top is not marked.
    EXPECT_EQ(NeededSectors(map), (std::vector<uint8_t>{0, 1, 2}));
}

TEST(MemoryMap, ClearSlotAtEndOfRunOrEmptyMovesNothing)
{
    cMemoryMap map;
    Record(map, 0, 3000, 1);
    Record(map, 1, 5000, 2);
    map.ClearSlot(1);
    EXPECT_EQ(map.GetStart(0), 0x2000u);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x2000u + 3000 - 1);

    const std::vector<uint8_t> before(map.GetTable(), map.GetTable() + 192);
    map.ClearSlot(6);
    EXPECT_EQ(std::vector<uint8_t>(map.GetTable(), map.GetTable() + 192), before);
}

TEST(MemoryMap, SlotEndingAtImageEnd)
{
    cMemoryMap map;
    map.SetStart(0, 0x2000);
    map.SetLength(0, 0x3EFFFF - 0x2000 + 1);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x3EFFFFu);
    EXPECT_EQ(map.GetLastUsedSector(), 69);
    EXPECT_EQ(map.GetRoomLeft(), 1u);
    map.RebuildNeededSectors();
    EXPECT_EQ(NeededSectors(map).size(), 70u);
}

// Random imports and deletes against a model that keeps each slot's bytes.
// After every step the slots form one unbroken run from 0x2000 in the order
// they were placed, each checksum matches, and every sector a moved or new
// message occupies is needed.
TEST(MemoryMap, RandomImportDeleteAgainstModel)
{
    std::mt19937 rng(20261207);
    for (int run = 0; run < 20; ++run) {
        cMemoryMap map;
        std::map<uint8_t, std::vector<uint8_t>> model;  // slot -> audio
        std::vector<uint8_t> order;                     // slots in address order
        for (int step = 0; step < 60; ++step) {
            const uint8_t slot = uint8_t(rng() % 8);
            for (uint8_t s = 0; s < 70; ++s)
                map.ClearSectorNeeded(s);
            uint32_t starts[8];
            for (uint8_t s = 0; s < 8; ++s)
                starts[s] = map.GetStart(s);

            if (rng() % 3 == 0) {
                map.ClearSlot(slot);
                model.erase(slot);
                order.erase(std::remove(order.begin(), order.end(), slot), order.end());
            } else {
                const uint32_t n = rng() % 3 == 0 ? rng() % 200 : rng() % 300000;
                if (n + 1 >= map.GetRoomLeft())
                    continue;
                std::vector<uint8_t> audio(n);
                for (auto& b : audio)
                    b = uint8_t(rng());
                map.ClearSlot(slot);
                order.erase(std::remove(order.begin(), order.end(), slot), order.end());
                uint8_t* at = map.AllocateAtEnd(slot);
                if (n > 0)
                    std::memcpy(at, audio.data(), n);
                if (n > 0)
                    map.SetLength(slot, n);
                map.MarkSectorsNeeded(slot);
                if (n > 0) {
                    model[slot] = audio;
                    order.push_back(slot);
                } else {
                    model.erase(slot);
                }
            }

            uint32_t expect = 0x2000;
            for (uint8_t s : order) {
                ASSERT_EQ(map.GetStart(s), expect) << "run " << run << " step " << step;
                ASSERT_EQ(map.GetLength(s), model[s].size());
                ASSERT_EQ(0, std::memcmp(map.GetImageBuffer() + expect, model[s].data(), model[s].size()));
                uint8_t sum = 0;
                for (uint8_t b : model[s])
                    sum = uint8_t(sum + b);
                ASSERT_EQ(map.GetChecksum(s), sum);
                if (map.GetStart(s) != starts[s] || s == slot) {
                    const uint32_t end = expect + uint32_t(model[s].size()) - 1;
                    for (uint8_t sec = 1; sec < 70; ++sec) {
                        if (cMemoryMap::GetSectorStart(sec) <= end && expect < cMemoryMap::GetSectorEnd(sec)) {
                            ASSERT_TRUE(map.IsSectorNeeded(sec)) << int(sec);
                        }
                    }
                }
                expect += uint32_t(model[s].size());
            }
            ASSERT_EQ(map.GetLastUsedAddress(), expect - 1);
            for (uint8_t s = 0; s < 8; ++s) {
                if (!model.count(s)) {
                    ASSERT_EQ(map.GetLength(s), 0u);
                }
            }
        }
    }
}

// Many units programmed from one image share its bytes: a map over shared
// bytes reads them, and the first change gives it a copy of its own, so
// neither the others nor the bytes ever see it.
TEST(MemoryMap, SharedBytesAreReadOnlyAndCopiedOnTheFirstChange)
{
    cMemoryMap source;
    Record(source, 0, 30000, 7);
    source.SetName(0, "Hello");
    source.StoreTableInImage();
    const std::shared_ptr<const uint8_t[]> bytes = source.ShareImage();
    ASSERT_TRUE(bytes);
    // A snapshot: the source changing later leaves it alone.
    const uint8_t before = bytes[0x2000];
    source.GetImageBuffer()[0x2000] ^= 0xFF;
    EXPECT_EQ(bytes[0x2000], before);

    cMemoryMap a(bytes), b(bytes);
    const cMemoryMap& readA = a;
    EXPECT_EQ(a.GetLength(0), 30000u);
    EXPECT_STREQ(a.GetName(0), "Hello");
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        EXPECT_FALSE(a.IsSectorNeeded(s)) << int(s);
    // Reading, sharing again and storing the same table copy nothing.
    EXPECT_EQ(readA.GetImageBuffer(), bytes.get());
    EXPECT_EQ(a.ShareImage().get(), bytes.get());
    a.StoreTableInImage();
    a.LoadTableFromImage();
    EXPECT_EQ(a.GetSectorChecksum(1), b.GetSectorChecksum(1));
    EXPECT_EQ(readA.GetImageBuffer(), bytes.get());

    // Each kind of change: a's own copy, with the change; b and the bytes as they were.
    a.SetName(0, "Other");
    a.StoreTableInImage();
    EXPECT_NE(readA.GetImageBuffer(), bytes.get());
    EXPECT_EQ(memcmp(readA.GetImageBuffer() + 0x2000, bytes.get() + 0x2000, 30000), 0);
    b.GetImageBuffer()[0x2000] ^= 0x55;
    EXPECT_EQ(bytes[0x2000], before);
    cMemoryMap c(bytes);
    Record(c, 1, 100, 3);
    EXPECT_EQ(memcmp(bytes.get(), source.ShareImage().get(), 0x2000), 0) << "table left as the source stored it";
    cMemoryMap fresh(bytes);
    EXPECT_STREQ(fresh.GetName(0), "Hello");
    EXPECT_EQ(fresh.GetLength(1), 0u);
}
