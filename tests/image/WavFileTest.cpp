// WAV export, silence and import with the import's refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "RecordingReport.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WavBuilder.h"
#include "cMemoryMap.h"

using namespace std::string_literals;

namespace {

uint32_t Le32(const std::string& s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + 3);
    return v;
}

}  // namespace

TEST(WavExport, HeaderAndSamples)
{
    uint8_t header[44];
    cMemoryMap::BuildWavHeader(8000, header);
    const uint8_t expected[44] = {'R', 'I', 'F', 'F', 0x64, 0x1F, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
                                  ' ', 16,  0,   0,   0,    7,    0,   1,   0,   0x40, 0x1F, 0,    0,   0x40, 0x1F,
                                  0,   0,   1,   0,   8,    0,    'd', 'a', 't', 'a',  0x40, 0x1F, 0,   0};
    EXPECT_EQ(0, std::memcmp(header, expected, 44));

    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    ASSERT_TRUE(map.ExportSlotWav(0, folder.File("empty.wav").c_str(), report));
    const std::string empty = folder.Read("empty.wav");
    ASSERT_EQ(empty.size(), 44u);
    EXPECT_EQ(Le32(empty, 4), 36u);
    EXPECT_EQ(Le32(empty, 40), 0u);

    Fill(map, 4, 8000, 9);
    ASSERT_TRUE(map.ExportSlotWav(4, folder.File("full.wav").c_str(), report));
    const std::string full = folder.Read("full.wav");
    ASSERT_EQ(full.size(), 8044u);
    EXPECT_EQ(0, std::memcmp(full.data() + 44, map.GetImageBuffer() + map.GetStart(4), 8000));

    // Exported into another slot and back: same bytes, same checksum.
    ASSERT_TRUE(map.ImportSlotWav(6, folder.File("full.wav").c_str(), report));
    EXPECT_EQ(map.GetLength(6), 8000u);
    EXPECT_EQ(map.GetChecksum(6), map.GetChecksum(4));
    EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + map.GetStart(6), map.GetImageBuffer() + map.GetStart(4), 8000));
    EXPECT_TRUE(report.messages.empty());

    EXPECT_FALSE(map.ExportSlotWav(4, "/no/such/folder/x.wav", report));
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0],
              "Failed to open file /no/such/folder/x.wav\n/no/such/folder/x.wav: No such file or directory");
}

TEST(WavExport, Silence)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    ASSERT_TRUE(map.WriteSilenceWav(250, folder.File("s.wav").c_str(), report));
    const std::string s = folder.Read("s.wav");
    ASSERT_EQ(s.size(), 2044u);
    EXPECT_EQ(Le32(s, 40), 2000u);
    EXPECT_EQ(s.substr(44), std::string(2000, '\xFF'));
    ASSERT_TRUE(map.WriteSilenceWav(0, folder.File("s.wav").c_str(), report));  // cuts the old file
    EXPECT_EQ(folder.Read("s.wav").size(), 44u);
    EXPECT_FALSE(map.WriteSilenceWav(10, folder.Path().c_str(), report));
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], "Failed to open file " + folder.Path() + "\n" + folder.Path() + ": Is a directory");
}

TEST(WavImport, AcceptedLayouts)
{
    struct Case {
        const char* title;
        WavBuilder wav;
    };
    std::vector<Case> cases;
    WavBuilder plain;
    plain.data = Pattern(3000);
    cases.push_back({"plain", plain});
    WavBuilder extended = plain;
    extended.formatSize = 18;
    cases.push_back({"format block of 18 bytes", extended});
    WavBuilder list = plain;
    list.beforeData = WavBuilder::Chunk("LIST", "INFOISFT\x04\0\0\0abc\0"s) + WavBuilder::Chunk("fact", "\x10\0\0\0"s);
    cases.push_back({"LIST and fact chunks before the data", list});
    WavBuilder padded = plain;
    padded.beforeFormat = WavBuilder::Chunk("bext", "x") + '\0';
    padded.beforeData = WavBuilder::Chunk("LIST", std::string(262241, 'L')) + '\0';
    cases.push_back({"odd chunks followed by their pad byte", padded});
    WavBuilder unpadded = plain;
    unpadded.beforeData = WavBuilder::Chunk("junk", "abc");  // odd size, no pad byte
    cases.push_back({"odd chunk written without its pad byte", unpadded});
    WavBuilder unpaddedText = plain;
    unpaddedText.beforeData = WavBuilder::Chunk("junk", "abc") + WavBuilder::Chunk("fact", std::string(32, 'f'));
    cases.push_back({"no pad byte, and the next chunk's size reads as text", unpaddedText});

    for (const Case& c : cases) {
        TempFolder folder;
        folder.Write("in.wav", c.wav.Bytes());
        RecordingReport report;
        cMemoryMap map;
        Fill(map, 1, 500, 1);
        ASSERT_TRUE(map.ImportSlotWav(2, folder.File("in.wav").c_str(), report)) << c.title;
        EXPECT_TRUE(report.messages.empty()) << c.title;
        EXPECT_EQ(map.GetStart(2), 0x2000u + 500) << c.title;
        EXPECT_EQ(map.GetLength(2), 3000u) << c.title;
        EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + map.GetStart(2), c.wav.data.data(), 3000)) << c.title;
        EXPECT_EQ(map.GetPlayCount(2), 1);
        EXPECT_STREQ(map.GetName(2), "");
        EXPECT_TRUE(map.IsSectorNeeded(0) && map.IsSectorNeeded(1)) << c.title;
    }
}

TEST(WavImport, IntoOccupiedSlotAndEmptyData)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    Fill(map, 0, 1000, 1);
    Fill(map, 1, 2000, 2);
    Fill(map, 2, 3000, 3);
    map.SetName(0, "old");
    WavBuilder wav;
    wav.data = Pattern(4000);
    folder.Write("in.wav", wav.Bytes());
    ASSERT_TRUE(map.ImportSlotWav(0, folder.File("in.wav").c_str(), report));
    EXPECT_EQ(map.GetStart(1), 0x2000u);
    EXPECT_EQ(map.GetStart(2), 0x2000u + 2000);
    EXPECT_EQ(map.GetStart(0), 0x2000u + 5000);
    EXPECT_EQ(map.GetLastUsedAddress(), 0x2000u + 9000 - 1);
    EXPECT_STREQ(map.GetName(0), "");

    // An empty data chunk: the slot stays empty but starts after the used area.
    WavBuilder none;
    folder.Write("none.wav", none.Bytes());
    ASSERT_TRUE(map.ImportSlotWav(5, folder.File("none.wav").c_str(), report));
    EXPECT_EQ(map.GetLength(5), 0u);
    EXPECT_EQ(map.GetStart(5), 0x2000u + 9000);
    EXPECT_TRUE(report.messages.empty());
    EXPECT_FALSE(map.ImportSlotWav(8, folder.File("in.wav").c_str(), report));
    EXPECT_TRUE(report.messages.empty());
}

TEST(WavImport, Refusals)
{
    struct Case {
        const char* title;
        std::string bytes;
        std::string lines;  // after "Trouble with <path>\n"
    };
    auto with = [](auto change) {
        WavBuilder w;
        w.data = Pattern(100);
        change(w);
        return w.Bytes();
    };
    const std::string good = with([](WavBuilder&) {});
    const std::vector<Case> cases = {
        {"A-law", with([](WavBuilder& w) { w.formatTag = 6; }),
         "WAVE format is not g.711 mono, 8kHz.\nFound format = 6, channels = 1, rate = 8000\nTrouble with file "
         "header\n"},
        {"PCM 8 kHz", with([](WavBuilder& w) {
             w.formatTag = 1;
             w.bits = 16;
             w.blockAlign = 2;
             w.bytesPerSec = 16000;
         }),
         "WAVE format is not g.711 mono, 8kHz.\nFound format = 1, channels = 1, rate = 8000\nTrouble with file "
         "header\n"},
        {"mu-law 16 kHz", with([](WavBuilder& w) {
             w.rate = 16000;
             w.bytesPerSec = 16000;
         }),
         "WAVE format is not g.711 mono, 8kHz.\nFound format = 7, channels = 1, rate = 16000\nTrouble with file "
         "header\n"},
        {"stereo", with([](WavBuilder& w) {
             w.channels = 2;
             w.blockAlign = 2;
             w.bytesPerSec = 16000;
         }),
         "WAVE format is not g.711 mono, 8kHz.\nFound format = 7, channels = 2, rate = 8000\nTrouble with file "
         "header\n"},
        {"RIFF size one short", with([](WavBuilder& w) { w.riffSizeDelta = -1; }), "Trouble with file length\n"},
        {"RIFF size one long", with([](WavBuilder& w) { w.riffSizeDelta = 1; }), "Trouble with file length\n"},
        {"data chunk too long", with([](WavBuilder& w) {
             w.dataSizeDelta = 1;
             w.riffSizeDelta = 0;
         }),
         "Reported length of data chunk (101) was\ngreater than remaining file length (100)\nTrouble with file "
         "length\n"},
        {"data chunk of 4 GB", with([](WavBuilder& w) { w.dataSizeDelta = 0xFFFFFFFFll - 100; }),
         "Reported length of data chunk (4294967295) was\ngreater than remaining file length (100)\nTrouble with file "
         "length\n"},
        {"format block of 20 bytes", with([](WavBuilder& w) { w.formatSize = 20; }),
         "Format data <> 16 bytes!\nTrouble with file header\n"},
        {"not RIFF", "RIFX" + good.substr(4), "File is not a .WAV type\nTrouble with file header\n"},
        {"not WAVE", good.substr(0, 8) + "AVI " + good.substr(12),
         "File is not a .WAV type\nTrouble with file header\n"},
        {"shorter than 12 bytes", good.substr(0, 11), "Trouble with file length\n"},
        {"chunk past the end before the format", with([](WavBuilder& w) { w.beforeFormat = "JUNK\xF0\0\0\0"s; }),
         "Couldn't read 240 byte chunk\nTrouble with file header\n"},
        {"size beyond 2 GB printed unsigned", with([](WavBuilder& w) { w.beforeData = "LIST\xF0\xFF\xFF\xFF"s; }),
         "Couldn't read 4294967280 byte chunk\nTrouble with file header\n"},
        {"chunk past the end after the format", with([](WavBuilder& w) { w.beforeData = "LIST\xF0\0\0\0"s; }),
         "Couldn't read 240 byte chunk\nTrouble with file header\n"},
        {"no data chunk", with([](WavBuilder& w) { w.withData = false; }), "Trouble with file length\n"},
        {"data before the format", with([](WavBuilder& w) {
             w.withData = false;
             w.beforeFormat = WavBuilder::Chunk("data", "abcd");
         }),
         "Trouble with file length\n"},
        {"no format chunk", "RIFF\x0c\0\0\0WAVEdata\0\0\0\0"s, "Trouble with file length\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        folder.Write("in.wav", c.bytes);
        RecordingReport report;
        cMemoryMap map;
        Fill(map, 3, 700, 4);
        map.SetName(3, "keep");
        for (uint8_t s = 0; s < 70; ++s)
            map.ClearSectorNeeded(s);
        const std::vector<uint8_t> table(map.GetTable(), map.GetTable() + 192);
        const std::vector<uint8_t> audio(map.GetImageBuffer() + 0x2000, map.GetImageBuffer() + 0x2000 + 700);
        const std::string path = folder.File("in.wav");
        EXPECT_FALSE(map.ImportSlotWav(3, path.c_str(), report)) << c.title;
        ASSERT_EQ(report.messages.size(), 1u) << c.title;
        EXPECT_EQ(report.messages[0], "Trouble with " + path + "\n" + c.lines) << c.title;
        EXPECT_EQ(std::vector<uint8_t>(map.GetTable(), map.GetTable() + 192), table) << c.title;
        EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + 0x2000, audio.data(), 700)) << c.title;
        uint8_t sector;
        EXPECT_EQ(map.GetNextNeededSector(sector), nullptr) << c.title;
    }

    RecordingReport report;
    cMemoryMap map;
    EXPECT_FALSE(map.ImportSlotWav(0, "/no/such.wav", report));
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0],
              "Trouble with /no/such.wav\nCould not open file\n/no/such.wav: No such file or directory");
}

// The space test counts the whole file against the room left before the
// slot's old audio is removed.
TEST(WavImport, RoomLeft)
{
    TempFolder folder;
    for (const auto& [fileSize, accepted] : {std::pair<uint32_t, bool>{999, true}, {1000, false}}) {
        cMemoryMap map;
        map.SetStart(0, 0x2000);
        map.SetLength(0, 0x3F0000 - 1000 + 1 - 0x2000);
        ASSERT_EQ(map.GetRoomLeft(), 1000u);
        WavBuilder wav;
        wav.data.assign(fileSize - 44, 0x55);
        folder.Write("in.wav", wav.Bytes());
        ASSERT_EQ(folder.Read("in.wav").size(), fileSize);
        RecordingReport report;
        EXPECT_EQ(map.ImportSlotWav(1, folder.File("in.wav").c_str(), report), accepted) << fileSize;
        if (accepted) {
            EXPECT_EQ(map.GetLastUsedAddress(), 0x3F0000u - 1000 + fileSize - 44);
            EXPECT_TRUE(report.messages.empty());
        } else {
            ASSERT_EQ(report.messages.size(), 1u);
            EXPECT_EQ(report.messages[0], "Trouble with " + folder.File("in.wav") +
                                              "\nCannot import - no space left!\nTrouble with file length\n");
        }
    }
}
