// Tables from files and units may hold anything. Every operation must stay
// inside the image buffer (the sanitizer build checks each access) and the
// documented choices for invalid entries must hold.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "RecordingReport.h"
#include "TempFolder.h"
#include "WavBuilder.h"
#include "cMemoryMap.h"

namespace {

void Put24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

// Loads a table the way a unit read does: into image bytes 0-191, then live.
void LoadTable(cMemoryMap& map, const uint8_t table[192])
{
    std::memcpy(map.GetImageBuffer(), table, 192);
    map.LoadTableFromImage();
}

uint32_t Edgy(std::mt19937& rng)
{
    static const uint32_t edges[] = {0,        1,        0x1FFF,   0x2000,   0x2001,   0xFFFF,   0x10000,
                                     0x3EFFFF, 0x3F0000, 0x3F0001, 0x400000, 0x800000, 0xFFFFFE, 0xFFFFFF};
    switch (rng() % 3) {
    case 0:
        return edges[rng() % (sizeof edges / sizeof edges[0])];
    case 1:
        return 0x2000 + rng() % 0x3EE000;
    default:
        return rng() & 0xFFFFFF;
    }
}

}  // namespace

TEST(HostileTable, ErasedUnit)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    uint8_t table[192];
    std::memset(table, 0xFF, sizeof table);
    LoadTable(map, table);
    EXPECT_EQ(map.GetStart(0), 0xFFFFFFu);
    EXPECT_EQ(map.GetLastUsedSector(), 71);
    EXPECT_EQ(map.GetRoomLeft(), 0u);
    EXPECT_EQ(std::strlen(map.GetName(0)), 15u);  // names stay C strings

    ASSERT_TRUE(map.ExportSlotWav(0, folder.File("e.wav").c_str(), report));
    EXPECT_EQ(folder.Read("e.wav").size(), 44u);

    WavBuilder wav;
    wav.data.assign(10, 0x11);
    folder.Write("in.wav", wav.Bytes());
    EXPECT_FALSE(map.ImportSlotWav(0, folder.File("in.wav").c_str(), report));
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_NE(report.messages[0].find("Cannot import - no space left!\n"), std::string::npos);

    map.RebuildNeededSectors();
    // Ranges wholly past the image mark the table's sector only.
    uint8_t sector;
    EXPECT_EQ(map.GetNextNeededSector(sector), map.GetImageBuffer());
    map.ClearSectorNeeded(0);
    EXPECT_EQ(map.GetNextNeededSector(sector), nullptr);

    // Deleting every slot of an erased unit gives a clean image.
    for (uint8_t s = 0; s < 8; ++s)
        map.ClearSlot(s);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x1FFFu);
    EXPECT_EQ(map.GetRoomLeft(), 0x3EE001u);
}

TEST(HostileTable, RangesOutsideTheAudioArea)
{
    cMemoryMap map;
    uint8_t* image = map.GetImageBuffer();
    std::memset(image, 0x01, cMemoryMap::kImageSize);
    // Below the audio area: holds no audio, and new audio never goes there.
    map.SetStart(0, 0x100);
    map.SetLength(0, 0x10);
    EXPECT_FALSE(map.HoldsAudio(0));
    EXPECT_EQ(map.GetChecksum(0), 0);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x1FFFu);
    EXPECT_EQ(map.AllocateAtEnd(1), image + 0x2000);

    // Past the end: checksum 0, the room is gone.
    map.SetStart(2, 0x3EFFF0);
    map.SetLength(2, 0x20);
    EXPECT_FALSE(map.HoldsAudio(2));
    EXPECT_EQ(map.GetChecksum(2), 0);
    EXPECT_EQ(map.GetRoomLeft(), 0u);
    EXPECT_EQ(map.AllocateAtEnd(3), image + cMemoryMap::kImageSize);

    // Start 0 with length 0 wraps the last used address.
    cMemoryMap wrap;
    wrap.SetStart(5, 0);
    EXPECT_EQ(wrap.GetLastUsedAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(wrap.GetRoomLeft(), 0u);
    EXPECT_EQ(wrap.GetLastUsedSector(), 71);

    // Moving a slot that holds no audio changes its start and moves no bytes.
    cMemoryMap moved;
    std::memset(moved.GetImageBuffer() + 0x3EFF00, 0x22, 0x100);
    moved.SetStart(1, 0x3EFF00);
    moved.SetLength(1, 0x200);
    moved.ShiftSlotDown(1, 0x100);
    EXPECT_EQ(moved.GetStart(1), 0x3EFE00u);
    EXPECT_EQ(moved.GetImageBuffer()[0x3EFE00], 0xFF);

    // A range that reaches past the end marks its sectors inside the image.
    moved.RebuildNeededSectors();
    EXPECT_TRUE(moved.IsSectorNeeded(69));
    EXPECT_FALSE(moved.IsSectorNeeded(68));
}

// Random tables, then every operation, many times over.
TEST(HostileTable, RandomTablesThenEveryOperation)
{
    TempFolder folder;
    WavBuilder wav;
    wav.data.assign(3000, 0x42);
    folder.Write("in.wav", wav.Bytes());
    const std::string wavPath = folder.File("in.wav");
    const std::string outPath = folder.File("out.wav");

    std::mt19937 rng(77);
    cMemoryMap map;
    uint8_t* const image = map.GetImageBuffer();
    for (int round = 0; round < 300; ++round) {
        uint8_t table[192];
        for (auto& b : table)
            b = uint8_t(rng());
        for (int s = 0; s < 8; ++s) {
            Put24(table + 8 * s, Edgy(rng));
            Put24(table + 8 * s + 3, rng() % 4 == 0 ? 0 : Edgy(rng));
        }
        LoadTable(map, table);
        RecordingReport report;

        for (uint8_t s = 0; s < 8; ++s) {
            ASSERT_EQ(std::strlen(map.GetName(s)) < 16, true);
            map.UpdateChecksum(s);
            map.MarkSectorsNeeded(s);
            uint8_t follower = s;
            map.FindFollowingSlot(follower);
            ASSERT_LT(follower, 8);
        }
        map.GetLastUsedAddress();
        ASSERT_TRUE(map.GetLastUsedSector() < 70 || map.GetLastUsedSector() == 71);
        ASSERT_LE(map.GetRoomLeft(), 0x3EE001u);
        map.RebuildNeededSectors();
        uint8_t sector = 0;
        while (uint8_t* at = map.GetNextNeededSector(sector)) {
            ASSERT_LT(sector, 70);
            ASSERT_EQ(at, image + cMemoryMap::GetSectorStart(sector));
            map.GetSectorChecksum(sector);
            map.ClearSectorNeeded(sector);
        }

        const uint8_t slot = uint8_t(rng() % 8);
        ASSERT_TRUE(map.ExportSlotWav(slot, outPath.c_str(), report));
        const size_t exported = folder.Read("out.wav").size();
        ASSERT_EQ(exported, 44u + (map.HoldsAudio(slot) ? map.GetLength(slot) : 0));

        switch (rng() % 4) {
        case 0:
            map.ShiftSlotDown(slot, Edgy(rng));
            break;
        case 1:
            map.ClearSlot(slot);
            break;
        case 2: {
            const uint32_t room = map.GetRoomLeft();
            const bool imported = map.ImportSlotWav(slot, wavPath.c_str(), report);
            ASSERT_EQ(imported, room > 3044u);
            if (imported) {
                ASSERT_TRUE(map.HoldsAudio(slot));
                ASSERT_EQ(map.GetLength(slot), 3000u);
                ASSERT_EQ(map.GetChecksum(slot), uint8_t(3000 * 0x42));
            }
            break;
        }
        default: {
            uint8_t* at = map.AllocateAtEnd(slot);
            ASSERT_GE(at, image + 0x2000);
            ASSERT_LE(at, image + cMemoryMap::kImageSize);
            const uint32_t fits = uint32_t(image + cMemoryMap::kImageSize - at);
            std::memset(at, 0x33, std::min<uint32_t>(fits, 100));
            map.SetLength(slot, std::min<uint32_t>(fits, 100));
            break;
        }
        }
        for (uint8_t s = 0; s < 8; ++s)
            map.ClearSlot(uint8_t(rng() % 8));
        map.StoreTableInImage();
    }
}

// Deleting a slot never moves or re-points another slot onto bytes that are
// not its own: not into the table, not over a third slot's audio.
TEST(HostileTable, DeleteNeverMovesASlotOntoOtherBytes)
{
    struct Case {
        const char* what;
        uint32_t deleted[2];   // start, length of slot 0
        uint32_t follower[2];  // slot 1, right after slot 0's range
        uint32_t other[2];     // slot 2
    };
    const Case cases[] = {
        {"entry starting in the table", {0x100, 0x2000}, {0x2100, 0x400}, {0x8000, 0x10}},
        {"move onto a third slot", {0x2000, 0x1000}, {0x3000, 0x800}, {0x2400, 0x100}},
    };
    for (const Case& c : cases) {
        cMemoryMap map;
        uint8_t* image = map.GetImageBuffer();
        const uint32_t* entries[] = {c.deleted, c.follower, c.other};
        for (uint8_t s = 0; s < 3; ++s) {
            map.SetStart(s, entries[s][0]);
            map.SetLength(s, entries[s][1]);
            if (entries[s][0] >= cMemoryMap::kAudioStart)
                std::memset(image + entries[s][0], 0x10 + s, entries[s][1]);
        }
        const uint32_t roomCounted = map.GetRoomLeftWithout(0);
        map.ClearSlot(0);
        for (uint8_t s = 1; s < 3; ++s) {
            EXPECT_EQ(map.GetStart(s), entries[s][0]) << c.what << " slot " << int(s);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(image + map.GetStart(s)), map.GetLength(s)),
                      std::string(entries[s][1], char(0x10 + s)))
                << c.what << " slot " << int(s);
        }
        // The room the edit commands count agrees with what the delete did.
        EXPECT_EQ(map.GetRoomLeft(), roomCounted) << c.what;
    }
}
