// The main panel's rules without its window: the one "save first?" decision
// of its three callers, the title, the recent images' menu text, the preview
// on a test clock, and Undo with the changed mark.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "AudioState.h"
#include "CliProcess.h"
#include "CAppState.h"
#include "CPanelSession.h"
#include "FakeAudioLibrary.h"
#include "CLoudnessMatch.h"
#include "CLoudnessMeter.h"
#include "ILongStep.h"
#include "IPanelView.h"
#include "TempFolder.h"
#include "TestImages.h"

namespace {

using Answer = IOperatorReport::Answer;
using Before = CPanelSession::Before;

struct ScriptedReport : IOperatorReport {
    std::vector<std::string> messages, questions;
    std::deque<Answer> answers;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override { return AskYesNoOrCancel(text) == Answer::Yes; }
    Answer AskYesNoOrCancel(const std::string& text) override
    {
        questions.push_back(text);
        Answer a = answers.empty() ? Answer::Cancel : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return a;
    }
};

struct RunAtOnce : ILongStep {
    void Run(const std::string&, Length, CConvertControl&, const std::function<void()>& work) override { work(); }
};

struct NoDialogs : IFileDialogs {
    QString GetOpenPath(QWidget*, const CFileDialogRequest&) override { return QString(); }
    QString GetSavePath(QWidget*, const CFileDialogRequest&) override { return QString(); }
};

// The window as the session sees it: a selected row, file dialogs answered
// from a list, and what it was asked to show.
struct FakeView : IPanelView {
    explicit FakeView(CAppState& state) : m_state(state) { }
    int row = 0;
    std::deque<QString> paths;  // the file dialogs' answers; empty cancels
    std::vector<std::string> seen;
    std::vector<std::string> asked;  // the save dialogs' initial names
    std::function<void()> onUnit;    // what the unit dialog does to the image
    RunAtOnce steps;
    NoDialogs dialogs;

    void SetPlaying(bool playing) override { seen.push_back(playing ? "playing" : "stopped"); }
    void StartTimer(unsigned) override { }
    void StopTimer() override { }
    void ShowImage(int r) override { row = r; }
    void ShowState() override { }
    int SelectedSlot() const override { return row; }
    QString AskOpenPath(const CFileDialogRequest&) override { return Next(); }
    QString AskSavePath(const CFileDialogRequest& request) override
    {
        asked.push_back(request.initialName.toStdString());
        return Next();
    }
    ILongStep& LongSteps() override { return steps; }
    void ShowUnitCommunications() override
    {
        seen.push_back("unit");
        if (onUnit)
            onUnit();
    }
    CPanelContext Context() override { return {m_state, report, dialogs, nullptr, true, false, {}}; }

    QString Next()
    {
        QString p = paths.empty() ? QString() : paths.front();
        if (!paths.empty())
            paths.pop_front();
        return p;
    }
    CAppState& m_state;
    ScriptedReport report;
};

class PanelSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_home.Path()));
        FillImage(m_state.m_memoryMap, {8000, 4000});
        m_session = std::make_unique<CPanelSession>(m_state, m_audio, m_report, m_view, QuickSetup());
        m_session->Open();
    }
    CPanelSessionSetup QuickSetup()
    {
        CPanelSessionSetup setup;
        setup.settleMs = 0;
        setup.soundDevices = [](bool) { return std::vector<std::string>(); };
        setup.clock = [this] { return m_now; };
        return setup;
    }

    TempFolder m_home;
    CAppState m_state;
    CFakeAudioLibrary m_audio;
    ScriptedReport m_report;
    FakeView m_view{m_state};
    uint32_t m_now = 5000;
    std::unique_ptr<CPanelSession> m_session;
};

}  // namespace

TEST_F(PanelSession, SaveFirstIsOneDecisionForLoadingTransferAndQuitting)
{
    struct Row {
        Before before;
        bool changed;
        Answer answer;
        bool saveChosen;  // the save dialog answers with a path (else cancelled)
        bool goesOn;
        bool saved;
    } rows[] = {
        {Before::Loading, false, Answer::Yes, true, true, false},
        {Before::Loading, true, Answer::Cancel, true, false, false},
        {Before::Loading, true, Answer::No, true, true, false},
        {Before::Loading, true, Answer::Yes, false, false, false},
        {Before::Loading, true, Answer::Yes, true, true, true},
        {Before::Transfer, true, Answer::Yes, false, true, false},
        {Before::Transfer, true, Answer::Cancel, true, false, false},
        {Before::Quitting, true, Answer::Yes, false, false, false},
        {Before::Quitting, true, Answer::Yes, true, true, true},
    };
    const char* const words[] = {"loading another image file", "reading or writing", "quitting"};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(n);
        const QString file = QString::fromStdString(m_home.File("saved" + std::to_string(n++) + ".txi"));
        // An image without a file of its own, so that its save asks.
        m_session = std::make_unique<CPanelSession>(m_state, m_audio, m_report, m_view, QuickSetup());
        m_session->SetChanged(row.changed);
        m_report.questions.clear();
        m_report.answers = {row.answer};
        m_view.paths = {row.saveChosen ? file : QString()};
        EXPECT_EQ(m_session->MayReplaceImage(row.before), row.goesOn);
        EXPECT_EQ(QFileInfo(file).isFile(), row.saved);
        ASSERT_EQ(m_report.questions.size(), row.changed ? 1u : 0u);
        if (row.changed)
            EXPECT_NE(m_report.questions[0].find(words[int(row.before)]), std::string::npos);
        EXPECT_EQ(m_session->Changed(), row.changed && !row.saved);
    }
}

TEST(PanelSessionTexts, TitleAndRecentImages)
{
    const QString dash = QString::fromUtf8(" \u2014 ORMID");
    EXPECT_EQ(CPanelSession::TitleFor(""), "ORMID");
    EXPECT_EQ(CPanelSession::TitleFor("/x/shop.txi"), "shop.txi[*]" + dash);
    EXPECT_EQ(CPanelSession::TitleFor("/x/a[*].txi"), "a[*][*].txi[*]" + dash);
    struct Row {
        int index;
        const char *path, *home, *text;
    } rows[] = {
        {0, "/home/op/shop.txi", "/home/op", "&1 ~/shop.txi"},
        {1, "/data/a&b.txi", "/home/op", "&2 /data/a&&b.txi"},
        {7, "/home/opx/a.txi", "/home/op", "&8 /home/opx/a.txi"},
        {2, "/a.txi", "/", "&3 /a.txi"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(CPanelSession::RecentItemText(row.index, row.path, row.home), row.text) << row.path;
}

TEST_F(PanelSession, PreviewPlaysTheSelectedSlotOnTheTestClock)
{
    m_view.row = 5;  // 4000 bytes: 500 ms
    m_session->Preview();
    EXPECT_TRUE(m_session->Previewing());
    EXPECT_EQ(m_state.m_audioState, AudioPlaying);
    m_now += 500;
    m_session->PreviewTick();
    EXPECT_TRUE(m_session->Previewing());
    m_now += 1;
    m_session->PreviewTick();
    EXPECT_FALSE(m_session->Previewing());
    // Preview again plays; a second press stops; an empty slot plays nothing.
    m_session->Preview();
    m_session->Preview();
    EXPECT_EQ(m_view.seen, (std::vector<std::string>{"playing", "stopped", "playing", "stopped"}));
    m_view.row = 1;
    m_session->Preview();
    EXPECT_FALSE(m_session->Previewing());
    m_audio.loadResult = 0;
    m_view.row = 2;
    m_session->Preview();
    EXPECT_EQ(m_report.messages, std::vector<std::string>{CPanelSession::kLoadErrorText});
}

TEST_F(PanelSession, UndoFollowsTheChangedMarkThroughASave)
{
    m_view.row = 2;
    m_session->Delete();
    EXPECT_TRUE(m_session->Changed());
    EXPECT_EQ(m_state.m_memoryMap.GetLength(2), 0u);
    m_view.paths = {QString::fromStdString(m_home.File("kept.txi"))};
    ASSERT_TRUE(m_session->Save());
    EXPECT_FALSE(m_session->Changed());
    EXPECT_EQ(m_session->Title(), CPanelSession::TitleFor("kept.txi"));
    m_session->Undo();
    EXPECT_TRUE(m_session->Changed());  // past the save: changed again
    EXPECT_EQ(m_state.m_memoryMap.GetLength(2), 8000u);
    m_session->Redo();
    EXPECT_FALSE(m_session->Changed());
    EXPECT_FALSE(m_session->CanRedo());
}

TEST_F(PanelSession, SaveGoesBackToTheImagesOwnFileAndSaveAsOffersItsName)
{
    const QString shop = QString::fromStdString(m_home.File("shop.txi"));
    m_view.paths = {shop};
    ASSERT_TRUE(m_session->Save());  // a new image is named first
    m_view.row = 2;
    m_session->Delete();
    const size_t asked = m_view.asked.size();
    ASSERT_TRUE(m_session->Save());  // then goes back without a question
    EXPECT_EQ(m_view.asked.size(), asked);
    EXPECT_FALSE(m_session->Changed());
    cMemoryMap reread;
    ASSERT_TRUE(reread.ReadImageFile(shop.toStdString().c_str(), m_report));
    EXPECT_EQ(reread.GetLength(2), 0u);
    m_view.paths = {QString()};
    EXPECT_FALSE(m_session->SaveAs());
    EXPECT_EQ(m_view.asked.back(), "shop.txi");
    // A read from the unit that changed the image: Save names it again.
    m_state.m_panelCommands.unitCommunications = {};
    m_view.onUnit = [this] { m_state.m_memoryMap.SetName(0, "From unit"); };
    m_session->ReadWriteUnit();
    EXPECT_EQ(m_session->Title(), "ORMID");
    m_view.paths = {QString()};
    EXPECT_FALSE(m_session->Save());
    EXPECT_EQ(m_view.asked.back(), "Unknown");
}

TEST_F(PanelSession, AnotherProgramsChangeIsNeverOverwrittenUnasked)
{
    const std::string shop = m_home.File("shop.txi");
    m_view.paths = {QString::fromStdString(shop)};
    ASSERT_TRUE(m_session->Save());
    auto cli = [&](const char* name) {
        CliProcess run;
        run.Start({"set", shop, "3", "--name", name}, m_home.File("cli.err"));
        return run.Wait();
    };
    auto nameOnDisk = [&] {
        cMemoryMap disk;
        EXPECT_TRUE(disk.ReadImageFile(shop.c_str(), m_report));
        return std::string(disk.GetName(2));
    };
    ASSERT_EQ(cli("From CLI"), 0);
    EXPECT_TRUE(m_session->ChangedOnDisk());
    // Nothing unsaved here: the panel offers to load the file again.
    m_report.answers = {Answer::Yes};
    m_session->NoticeFileChange();
    EXPECT_EQ(m_report.questions.size(), 1u);
    EXPECT_STREQ(m_state.m_memoryMap.GetName(2), "From CLI");
    EXPECT_FALSE(m_session->ChangedOnDisk());
    // With unsaved changes nothing is offered, and Save asks before it
    // replaces the other program's work.
    ASSERT_EQ(cli("Second"), 0);
    m_view.row = 5;
    m_session->Delete();
    m_report.questions.clear();
    m_session->NoticeFileChange();
    EXPECT_TRUE(m_report.questions.empty());
    m_report.answers = {Answer::No};
    EXPECT_FALSE(m_session->Save());
    EXPECT_EQ(nameOnDisk(), "Second");
    EXPECT_TRUE(m_session->Changed());
    m_report.answers = {Answer::Yes};
    EXPECT_TRUE(m_session->Save());
    EXPECT_EQ(nameOnDisk(), "From CLI");
    EXPECT_EQ(m_report.questions.size(), 2u);
}

namespace {

// A tone of the given peak level in a slot, as the unit stores it.
void PutTone(cMemoryMap& map, uint8_t slot, double peakDbfs, double seconds)
{
    std::vector<float> wave(size_t(seconds * 8000));
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] = float(std::pow(10.0, peakDbfs / 20) * std::sin(2 * M_PI * 700 * double(i) / 8000));
    const std::vector<uint8_t> codes = CLoudnessMatch::Encode(wave, 0);
    map.ClearSlot(slot);
    std::copy(codes.begin(), codes.end(), map.AllocateAtEnd(slot));
    map.SetLength(slot, uint32_t(codes.size()));
    map.UpdateChecksum(slot);
}

}  // namespace

// Match Loudness from the panel: all messages or the selected one, the result
// per message shown once, one Undo step back, the target remembered.
TEST_F(PanelSession, MatchLoudnessIsOneStepAndRemembersItsTarget)
{
    cMemoryMap& map = m_state.m_memoryMap;
    PutTone(map, 2, -10, 2);
    PutTone(map, 5, -40, 2);
    m_session->Open();  // takes the image as it now is
    const std::vector<uint8_t> before(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize);

    m_view.row = 5;
    m_session->MatchLoudness(-20, false);
    EXPECT_NEAR(CLoudnessMeter::MeasureSlot(map, 5).lufs, -20, CLoudnessMatch::kTolerance);
    EXPECT_LT(CLoudnessMeter::MeasureSlot(map, 2).lufs, -11);
    ASSERT_EQ(m_report.messages.size(), 1u);
    EXPECT_EQ(m_report.messages.back().rfind("Message 6 reaches -20.0 LUFS", 0), 0u) << m_report.messages.back();

    m_session->MatchLoudness(-20, true);
    EXPECT_NEAR(CLoudnessMeter::MeasureSlot(map, 2).lufs, -20, CLoudnessMatch::kTolerance);
    EXPECT_TRUE(m_session->Changed());
    ASSERT_EQ(m_report.messages.size(), 2u);
    EXPECT_NE(m_report.messages.back().find("Message 3 reaches -20.0 LUFS"), std::string::npos);
    EXPECT_NE(m_report.messages.back().find("\nMessage 6 is already at -20.0 LUFS"), std::string::npos);

    // The selected slot empty: said so, nothing changes, no step.
    m_view.row = 1;
    m_session->MatchLoudness(-20, false);
    ASSERT_EQ(m_report.messages.size(), 3u);
    EXPECT_EQ(m_report.messages.back(), "Message 2 is empty");

    m_session->Undo();
    m_session->Undo();
    EXPECT_EQ(0, std::memcmp(map.GetImageBuffer(), before.data(), before.size()));
    EXPECT_FALSE(m_session->Changed());

    EXPECT_EQ(CPanelSession::MatchTarget(), CLoudnessMatch::kDefaultTarget);
    CPanelSession::RememberMatchTarget(-16.5);
    EXPECT_EQ(CPanelSession::MatchTarget(), -16.5);
    CPanelSession::RememberMatchTarget(12);  // out of range: the default again
    EXPECT_EQ(CPanelSession::MatchTarget(), CLoudnessMatch::kDefaultTarget);
}
