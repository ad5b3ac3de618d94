// The waveform's selection (drag, Shift+arrows, click, a length that
// shrinks) and Cut, Crop and Undo on a real scratch WAV in a temp folder:
// the samples kept are the right ones, undo puts back the exact audio, and a
// file rewritten by something else is never undone unseen.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "CAudioImport.h"
#include "CScratchEdit.h"
#include "CWaveSelection.h"
#include "IOperatorReport.h"
#include "TempFolder.h"
#include "cMemoryMap.h"

namespace {

class CNoteReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    bool AskYesNo(const std::string&) override { return false; }
    std::vector<std::string> shown;
};

std::vector<uint8_t> Ramp(size_t n)
{
    std::vector<uint8_t> codes(n);
    std::iota(codes.begin(), codes.end(), uint8_t(0));
    return codes;
}

void Write(const std::string& path, const std::vector<uint8_t>& codes)
{
    std::string error;
    ASSERT_TRUE(CAudioImport::SaveUnitWav(path.c_str(), codes, error)) << error;
}

std::vector<uint8_t> Read(const std::string& path)
{
    CNoteReport report;
    std::vector<uint8_t> codes;
    EXPECT_TRUE(cMemoryMap::ReadUnitWav(path.c_str(), 0xFFFFFFFFu, codes, report));
    return codes;
}

std::vector<uint8_t> Without(std::vector<uint8_t> codes, size_t from, size_t to)
{
    codes.erase(codes.begin() + from, codes.begin() + to);
    return codes;
}

}  // namespace

TEST(WaveSelection, MouseKeysAndLengthMoveTheEnds)
{
    struct Case {
        const char* what;
        std::function<void(CWaveSelection&)> act;
        size_t start, end, cursor;
        std::string described;
    };
    const size_t n = 16000;
    const Case cases[] = {
        {"drag right", [](CWaveSelection& s) { s.Press(2000), s.DragTo(14000); }, 2000, 14000, 2000,
         ", selection 0.2 to 1.8 seconds"},
        {"drag left keeps the anchor", [](CWaveSelection& s) { s.Press(8000), s.DragTo(4000); }, 4000, 8000, 8000,
         ", selection 0.5 to 1.0 seconds"},
        {"click clears, sets the cursor", [](CWaveSelection& s) { s.Press(100), s.DragTo(9000), s.Press(3000); }, 3000,
         3000, 3000, ""},
        {"drag past the end stops there", [](CWaveSelection& s) { s.Press(15000), s.DragTo(99999); }, 15000, n, 15000,
         ", selection 1.9 to 2.0 seconds"},
        {"shift+right from the cursor", [](CWaveSelection& s) { s.Press(1000), s.Extend(2); }, 1000, 2600, 1000,
         ", selection 0.1 to 0.3 seconds"},
        {"shift+left past the start", [](CWaveSelection& s) { s.Press(1000), s.Extend(-3); }, 0, 1000, 1000,
         ", selection 0.0 to 0.1 seconds"},
        {"shift+left back over the anchor", [](CWaveSelection& s) { s.Press(4000), s.Extend(1), s.Extend(-2); }, 3200,
         4000, 4000, ", selection 0.4 to 0.5 seconds"},
        {"a shorter audio cuts it back", [](CWaveSelection& s) { s.Press(4000), s.DragTo(12000), s.SetLength(6000); },
         4000, 6000, 4000, ", selection 0.5 to 0.8 seconds"},
        {"an audio gone leaves nothing", [](CWaveSelection& s) { s.Select(12000, 100), s.SetLength(0); }, 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        CWaveSelection selection;
        selection.SetLength(n);
        c.act(selection);
        EXPECT_EQ(selection.Start(), c.start) << c.what;
        EXPECT_EQ(selection.End(), c.end) << c.what;
        EXPECT_EQ(selection.Cursor(), c.cursor) << c.what;
        EXPECT_EQ(selection.HasSelection(), c.end > c.start) << c.what;
        EXPECT_EQ(selection.Describe(8000), c.described) << c.what;
    }
}

TEST(ScratchEdit, CutAndCropKeepTheRightSamplesAndUndoPutsThemBack)
{
    TempFolder folder;
    const std::string path = folder.Path() + "/TXTemp.wav";
    const std::vector<uint8_t> original = Ramp(1000);
    struct Case {
        const char* what;
        bool crop;
        size_t from, to;
        bool changes;
        std::vector<uint8_t> after;
    };
    const Case cases[] = {
        {"cut the middle", false, 100, 300, true, Without(original, 100, 300)},
        {"cut the head", false, 0, 10, true, Without(original, 0, 10)},
        {"cut past the end stops there", false, 990, 5000, true, Without(original, 990, 1000)},
        {"cut everything leaves an empty file", false, 0, 1000, true, {}},
        {"cut nothing", false, 500, 500, false, original},
        {"cut beyond the audio", false, 1200, 1300, false, original},
        {"crop the middle", true, 100, 300, true, std::vector<uint8_t>(original.begin() + 100, original.begin() + 300)},
        {"crop to the tail", true, 900, 2000, true, std::vector<uint8_t>(original.begin() + 900, original.end())},
        {"crop all changes nothing", true, 0, 1000, false, original},
        {"crop nothing", true, 10, 10, false, original},
    };
    for (const Case& c : cases) {
        Write(path, original);
        CScratchEdit edit(path);
        CNoteReport report;
        const bool changed = c.crop ? edit.Crop(c.from, c.to, report) : edit.Cut(c.from, c.to, report);
        EXPECT_EQ(changed, c.changes) << c.what;
        EXPECT_EQ(Read(path), c.after) << c.what;
        EXPECT_EQ(edit.CanUndo(), c.changes) << c.what;
        EXPECT_EQ(edit.Undo(report), c.changes) << c.what;
        EXPECT_EQ(Read(path), original) << c.what;
        EXPECT_FALSE(edit.CanUndo()) << c.what;
        EXPECT_TRUE(report.shown.empty()) << c.what;
    }
}

TEST(ScratchEdit, UndoStepsBackInOrderAndNeverOverAnotherChange)
{
    TempFolder folder;
    const std::string path = folder.Path() + "/TXTemp.wav";
    const std::vector<uint8_t> original = Ramp(1000);
    Write(path, original);
    CScratchEdit edit(path);
    CNoteReport report;
    ASSERT_TRUE(edit.Cut(0, 100, report));
    const std::vector<uint8_t> afterCut = Read(path);
    ASSERT_TRUE(edit.Crop(100, 500, report));
    EXPECT_EQ(edit.Steps(), 2u);
    ASSERT_TRUE(edit.Undo(report));
    EXPECT_EQ(Read(path), afterCut);
    ASSERT_TRUE(edit.Undo(report));
    EXPECT_EQ(Read(path), original);
    EXPECT_FALSE(edit.Undo(report));

    // A recording (here: another writer) replaces the file: the steps before
    // it would throw the recording away, so they are gone.
    ASSERT_TRUE(edit.Cut(0, 100, report));
    const std::vector<uint8_t> recorded = Ramp(77);
    Write(path, recorded);
    EXPECT_FALSE(edit.CanUndo());
    EXPECT_FALSE(edit.Undo(report));
    EXPECT_EQ(Read(path), recorded);

    // Only the last few steps are kept.
    Write(path, original);
    CScratchEdit deep(path);
    for (size_t i = 0; i < CScratchEdit::kDepth + 3; ++i)
        ASSERT_TRUE(deep.Cut(0, 1, report));
    EXPECT_EQ(deep.Steps(), CScratchEdit::kDepth);
}

TEST(ScratchEdit, FailuresLeaveTheFileAndAreTold)
{
    TempFolder folder;
    const std::string path = folder.Path() + "/TXTemp.wav";
    CNoteReport report;
    CScratchEdit missing(path);
    EXPECT_FALSE(missing.Cut(0, 10, report));
    EXPECT_FALSE(report.shown.empty());

    // Play Selection's copy: exactly the samples asked for; a range outside
    // the audio writes nothing.
    Write(path, Ramp(1000));
    CScratchEdit edit(path);
    const std::string part = folder.Path() + "/play.wav";
    ASSERT_TRUE(edit.WriteRange(200, 260, part, report));
    const std::vector<uint8_t> ramp = Ramp(1000);
    EXPECT_EQ(Read(part), std::vector<uint8_t>(ramp.begin() + 200, ramp.begin() + 260));
    EXPECT_FALSE(edit.WriteRange(1000, 1200, folder.Path() + "/none.wav", report));
    EXPECT_FALSE(edit.CanUndo());
}
