// The image commands: what each says it changed holds every byte it wrote,
// so that the history puts any sequence back byte for byte; files that the
// strict reader refuses but a decoder reads; files that decode to nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "CImageCommands.h"
#include "CImageHistory.h"
#include "RecordingReport.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WavBuilder.h"
#include "cMemoryMap.h"

namespace {

struct Image {
    std::vector<uint8_t> table, bytes;
    explicit Image(const cMemoryMap& map)
        : table(map.GetTable(), map.GetTable() + cMemoryMap::kTableSize),
          bytes(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize)
    {
    }
    bool operator==(const Image& o) const { return table == o.table && bytes == o.bytes; }
};

std::vector<uint8_t> Pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7);
    return v;
}

TEST(ImageCommands, EveryChangeHoldsItsWritesAndTheHistoryPutsThemBack)
{
    TempFolder folder;
    WavBuilder wav;
    wav.data = Pattern(3000, 9);
    folder.Write("a.wav", wav.Bytes());
    wav.data = Pattern(700, 60);
    folder.Write("b.wav", wav.Bytes());

    cMemoryMap map;
    FillImage(map, {4000, 2500, 6000, 1200});
    RecordingReport report;
    CImageCommands commands(map, report);
    CImageHistory history;
    history.Reset(map, false);
    const std::string name = "Lobby";
    const int count = 0;
    const std::vector<std::function<CCommandResult()>> steps = {
        [&] {
            return commands.Import({2, folder.File("a.wav")});
        },  // slot 2 starts the run
        [&] { return commands.Delete(5); },
        [&] { return commands.Set(0, &name, &count); },
        [&] { return commands.Silence(7, 250); },
        [&] {
            return commands.Append({0, folder.File("b.wav")});
        },
        [&] {
            return commands.Import({4, folder.File("b.wav")});
        },  // an empty slot
        [&] { return commands.ApplyEdit(2, "Edited", 3, nullptr); },
        [&] { return commands.Delete(2); },
    };
    std::vector<Image> states{Image(map)};
    for (size_t i = 0; i < steps.size(); ++i) {
        const CCommandResult result = steps[i]();
        ASSERT_TRUE(result.done) << "step " << i;
        const Image after(map);
        // Nothing outside the stated range moved.
        for (uint32_t at = 0; at < cMemoryMap::kImageSize; ++at) {
            if (at < result.change.audioBegin || at >= result.change.audioEnd) {
                ASSERT_EQ(after.bytes[at], states.back().bytes[at]) << "step " << i << " wrote " << at;
            }
        }
        ASSERT_TRUE(history.Record(map, result.change, i > 0, true));
        states.push_back(after);
    }
    EXPECT_TRUE(report.messages.empty());
    bool changed = true;
    for (size_t i = steps.size(); i-- > 0;) {
        ASSERT_TRUE(history.Undo(map, changed));
        EXPECT_TRUE(Image(map) == states[i]) << "undo to " << i;
    }
    EXPECT_FALSE(changed);
    EXPECT_FALSE(history.CanUndo());
    for (size_t i = 1; i <= steps.size(); ++i) {
        ASSERT_TRUE(history.Redo(map, changed));
        EXPECT_TRUE(Image(map) == states[i]) << "redo to " << i;
    }
    EXPECT_TRUE(changed);
}

// A unit-format file that the strict reader refuses is offered conversion;
// a conversion that yields no samples is refused.
TEST(ImageCommands, DamagedOrEmptyFiles)
{
    const std::string tag = "TAG" + std::string(125, 'x');
    struct Case {
        const char* what;
        std::function<std::string(WavBuilder&)> bytes;
        const char* question;
        size_t imported;  // 0: refused with "holds no audio"
    } const cases[] = {
        {"trailing tag", [&](WavBuilder& w) { return w.Bytes() + tag; }, "The file's WAV header does not match", 4000},
        {"data chunk longer than the file", [](WavBuilder& w) { return w.dataSizeDelta = 1000, w.Bytes(); },
         "The file's WAV header does not match", 4000},
        {"no data and a trailing tag", [&](WavBuilder& w) { return w.data.clear(), w.Bytes() + tag; },
         "The file's WAV header does not match", 0},
        {"PCM of no samples",
         [](WavBuilder& w) { return w.data.clear(), w.formatTag = 1, w.bits = 16, w.blockAlign = 2, w.Bytes(); },
         "The file is 8000 Hz, 16-bit", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        WavBuilder wav;
        wav.data = Pattern(4000, 3);
        folder.Write("damaged.wav", c.bytes(wav));

        cMemoryMap map;
        FillImage(map, {2000});
        const Image before(map);
        RecordingReport report;
        CImageCommands commands(map, report);
        CAudioFileRequest request{1, folder.File("damaged.wav"), ConvertChoice::kNever};
        const CCommandResult refused = commands.Import(request);
        EXPECT_FALSE(refused.done);
        EXPECT_EQ(refused.convertQuestion.rfind(c.question, 0), 0u) << refused.convertQuestion;
        EXPECT_TRUE(Image(map) == before);

        report.messages.clear();
        request.convert = ConvertChoice::kAsk;
        const CCommandResult result = commands.Import(request);
        EXPECT_EQ(report.questions, std::vector<std::string>{refused.convertQuestion});
        EXPECT_EQ(result.done, c.imported > 0);
        if (c.imported == 0) {
            EXPECT_EQ(report.messages,
                      std::vector<std::string>{"Trouble with " + request.path + "\nThe file holds no audio.\n"});
            EXPECT_TRUE(Image(map) == before);
            continue;
        }
        EXPECT_TRUE(report.messages.empty());
        ASSERT_EQ(map.GetLength(1), c.imported);
        EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + map.GetStart(1), wav.data.data(), c.imported));
        EXPECT_STREQ(map.GetName(1), "damaged.wav");
    }
}

}  // namespace
