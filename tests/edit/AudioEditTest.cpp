// The unit WAV file joins and the slot changes made through them: the
// import's checks before anything is touched, and the room a slot has once
// its own audio is gone.
#include <gtest/gtest.h>

#include <cstring>

#include "CAudioEdit.h"
#include "EditFakes.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WavBuilder.h"

namespace {

struct SlotState {
    std::vector<uint8_t> table;
    std::vector<uint8_t> audio;
    std::vector<bool> needed;
    bool operator==(const SlotState& o) const { return table == o.table && audio == o.audio && needed == o.needed; }
};

SlotState Snapshot(const cMemoryMap& map)
{
    SlotState s;
    s.table.assign(map.GetTable(), map.GetTable() + cMemoryMap::kTableSize);
    s.audio.assign(map.GetImageBuffer() + cMemoryMap::kAudioStart,
                   map.GetImageBuffer() + std::min(map.GetLastUsedAddress() + 1, cMemoryMap::kImageSize));
    for (uint8_t i = 0; i < cMemoryMap::kSectorCount; ++i)
        s.needed.push_back(map.IsSectorNeeded(i));
    return s;
}

void ClearNeeded(cMemoryMap& map)
{
    for (uint8_t i = 0; i < cMemoryMap::kSectorCount; ++i)
        map.ClearSectorNeeded(i);
}

// Three messages in a row, slot 4 in the middle, and one after a gap.
void Layout(cMemoryMap& map)
{
    Fill(map, 1, 70000, 1);
    Fill(map, 4, 123457, 2);
    Fill(map, 6, 5000, 3);
    map.SetName(4, "Middle");
    map.SetPlayCount(4, 200);
}

}  // namespace

TEST(RoomLeftWithout, MatchesClearSlot)
{
    // Each layout is built twice: one map is asked, the other cleared.
    auto layouts = std::vector<std::function<void(cMemoryMap&)>>{
        Layout,
        [](cMemoryMap& m) { Fill(m, 0, 9000, 1); },
        [](cMemoryMap& m) {
            // A gap after slot 3: clearing it moves nothing.
            Fill(m, 3, 4000, 1);
            m.SetStart(5, 0x2000 + 4000 + 100);
            m.SetLength(5, 800);
        },
        [](cMemoryMap& m) {
            // A slot whose range wraps below the audio area when moved.
            m.SetStart(2, 0x2000);
            m.SetLength(2, 0x3000);
            m.SetStart(3, 0x5000);
            m.SetLength(3, 0x10);
            m.SetStart(7, 0x1000);
            m.SetLength(7, 0x4000);
        },
        [](cMemoryMap&) {},
    };
    for (size_t i = 0; i < layouts.size(); ++i) {
        for (uint8_t slot = 0; slot < 8; ++slot) {
            cMemoryMap asked, cleared;
            layouts[i](asked);
            layouts[i](cleared);
            const uint32_t before = asked.GetRoomLeft();
            const uint32_t predicted = asked.GetRoomLeftWithout(slot);
            cleared.ClearSlot(slot);
            EXPECT_EQ(predicted, cleared.GetRoomLeft()) << "layout " << i << " slot " << int(slot);
            EXPECT_EQ(asked.GetRoomLeft(), before);
        }
    }
}

TEST(ReplaceSlotWav, RefusedFileKeepsTheSlot)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    Layout(map);
    ClearNeeded(map);
    const SlotState before = Snapshot(map);
    WavBuilder alaw;
    alaw.formatTag = 6;
    alaw.data = Samples(100, 1);
    folder.Write("alaw.wav", alaw.Bytes());
    EXPECT_FALSE(map.ReplaceSlotWav(4, folder.File("alaw.wav").c_str(), report));
    EXPECT_FALSE(map.ReplaceSlotWav(4, folder.File("none.wav").c_str(), report));
    EXPECT_FALSE(map.ReplaceSlotWav(8, folder.File("alaw.wav").c_str(), report));
    EXPECT_EQ(report.messages,
              (std::vector<std::string>{"Trouble with " + folder.File("alaw.wav") +
                                            "\nWAVE format is not g.711 mono, 8kHz.\nFound format = 6, channels = 1, "
                                            "rate = 8000\nTrouble with file header\n",
                                        "Trouble with " + folder.File("none.wav") + "\nCould not open file\n" +
                                            folder.File("none.wav") + ": No such file or directory"}));
    EXPECT_TRUE(Snapshot(map) == before);
}

TEST(ReplaceSlotWav, LeavesWhatClearSlotAndImportLeave)
{
    TempFolder folder;
    RecordingReport report;
    const auto samples = Samples(30000, 9);
    WriteUnitWav(folder.File("new.wav"), samples);
    cMemoryMap replaced, imported;
    Layout(replaced);
    Layout(imported);
    ClearNeeded(replaced);
    ClearNeeded(imported);
    ASSERT_TRUE(replaced.ReplaceSlotWav(4, folder.File("new.wav").c_str(), report));
    imported.ClearSlot(4);
    ASSERT_TRUE(imported.ImportSlotWav(4, folder.File("new.wav").c_str(), report));
    EXPECT_TRUE(report.messages.empty());
    for (uint8_t s = 0; s < 8; ++s) {
        EXPECT_EQ(replaced.GetStart(s), imported.GetStart(s)) << int(s);
        EXPECT_EQ(replaced.GetLength(s), imported.GetLength(s)) << int(s);
        EXPECT_EQ(replaced.GetChecksum(s), imported.GetChecksum(s)) << int(s);
    }
    for (uint8_t i = 0; i < cMemoryMap::kSectorCount; ++i)
        EXPECT_EQ(replaced.IsSectorNeeded(i), imported.IsSectorNeeded(i)) << int(i);
    EXPECT_EQ(0, std::memcmp(replaced.GetImageBuffer() + replaced.GetStart(4), samples.data(), samples.size()));
    EXPECT_STREQ(replaced.GetName(4), "Middle");
    EXPECT_EQ(replaced.GetPlayCount(4), 200);
}

// A full image: the new audio fits only in the room the old audio frees.
TEST(ReplaceSlotWav, CountsTheSlotsOwnRoom)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    Fill(map, 0, 0x3F0000 - 0x2000 - 20000, 1);
    Fill(map, 3, 10000, 2);
    ASSERT_EQ(map.GetRoomLeft(), 10001u);
    WriteUnitWav(folder.File("long.wav"), Samples(19000, 3));
    EXPECT_FALSE(map.ImportSlotWav(5, folder.File("long.wav").c_str(), report));
    report.messages.clear();
    EXPECT_TRUE(map.ReplaceSlotWav(3, folder.File("long.wav").c_str(), report));
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(map.GetLength(3), 19000u);

    // A whole file as long as the freed room is refused; the slot stays.
    WriteUnitWav(folder.File("longer.wav"), Samples(20001 - 44, 3));
    const SlotState before = Snapshot(map);
    EXPECT_FALSE(map.ReplaceSlotWav(3, folder.File("longer.wav").c_str(), report));
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_NE(report.messages[0].find("Cannot import - no space left!\n"), std::string::npos);
    EXPECT_TRUE(Snapshot(map) == before);
}

TEST(ConcatenateWavFiles, RefusesWhatTheImportRefuses)
{
    TempFolder folder;
    const std::string first = folder.File("first.wav"), out = folder.File("out.wav");
    WriteUnitWav(first, Samples(500, 1));
    folder.Write("out.wav", "before");
    struct Case {
        std::string sox, lines;
    };
    const std::vector<Case> cases = {
        {"-r 8000 -e signed -b 16 -c 1", "Found format = 1, channels = 1, rate = 8000\n"},
        {"-r 8000 -e u-law -c 2", "Found format = 7, channels = 2, rate = 8000\n"},
        {"-r 44100 -e u-law -c 1", "Found format = 7, channels = 1, rate = 44100\n"},
    };
    for (const Case& c : cases) {
        const std::string second = folder.File("second.wav");
        ASSERT_TRUE(Sox("-n " + c.sox + " " + second + " synth 0.5 sine 440"));
        RecordingReport report;
        uint32_t appended = 99;
        EXPECT_FALSE(CAudioEdit::ConcatenateWavFiles(first, second, out, 0xFFFFFFFFu, report, appended));
        EXPECT_EQ(appended, 0u);
        ASSERT_EQ(report.messages.size(), 1u) << c.sox;
        EXPECT_EQ(report.messages[0], "Trouble with " + second + "\nWAVE format is not g.711 mono, 8kHz.\n" + c.lines +
                                          "Trouble with file header\n");
        EXPECT_EQ(folder.Read("out.wav"), "before");
    }

    // A file in the unit's format is joined; the output may be an input.
    RecordingReport report;
    const auto tail = Samples(321, 5);
    WriteUnitWav(folder.File("tail.wav"), tail);
    uint32_t appended = 0;
    ASSERT_TRUE(CAudioEdit::ConcatenateWavFiles(first, folder.File("tail.wav"), first, 1000, report, appended));
    EXPECT_EQ(appended, 321u);
    EXPECT_EQ(UnitAudio(first), Join(Samples(500, 1), tail));
    // A stand-in file is named as the operator's file.
    EXPECT_FALSE(CAudioEdit::ConcatenateWavFiles(first, folder.File("tail.wav"), out, 300, report, appended,
                                                 "/home/op/Tail.flac"));
    EXPECT_EQ(report.messages.back(),
              "Trouble with /home/op/Tail.flac\nCannot import - no space left!\nTrouble with file length\n");
}

TEST(AudioEdit, SilenceAndAppendThroughTheSlot)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    Layout(map);
    const std::string work = CAudioEdit::MakeWorkFolder();
    ASSERT_FALSE(work.empty());

    ASSERT_TRUE(CAudioEdit::MakeSilence(map, 4, 1000, work, report));
    EXPECT_EQ(map.GetLength(4), 8000u);
    EXPECT_EQ(map.GetImageBuffer()[map.GetStart(4) + 7999], 0xFF);
    EXPECT_STREQ(map.GetName(4), "Middle");
    EXPECT_EQ(map.GetPlayCount(4), 200);
    EXPECT_FALSE(CAudioEdit::MakeSilence(map, 4, 1001, work, report));
    EXPECT_EQ(report.messages.back(), "Cannot make 1001 ms of silence: at most 1000 ms fit in this slot.");

    const auto more = Samples(1234, 8);
    WriteUnitWav(folder.File("more.wav"), more);
    ASSERT_TRUE(CAudioEdit::AppendFile(map, 4, folder.File("more.wav"), folder.File("more.wav"), work, report));
    EXPECT_EQ(map.GetLength(4), 8000u + 1234);
    EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + map.GetStart(4) + 8000, more.data(), more.size()));
    EXPECT_STREQ(map.GetName(4), "Middle");
    CAudioEdit::RemoveWorkFolder(work);

    EXPECT_EQ(CAudioEdit::SilenceLimitMs(4000 + 45), 500u);
    EXPECT_EQ(CAudioEdit::SilenceLimitMs(4000 + 44), 499u);
    EXPECT_EQ(CAudioEdit::SilenceLimitMs(45), 0u);
    EXPECT_EQ(CAudioEdit::SilenceLimitMs(-5), 0u);
}
