// The edit session tick by tick: a fake audio library, a recording view, a
// clock of the test's own and real files in a temporary folder.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "CEditSession.h"
#include "EditFakes.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WavBuilder.h"

namespace {

class EditSessionTest : public ::testing::Test {
protected:
    // Opens the session as the panel's Edit command does: the slot goes to
    // the scratch file first. room < 0: the image's own room left.
    void Open(uint8_t slot = 2, int64_t room = -1)
    {
        m_slot = slot;
        scratch = folder.File("TXTemp.wav");
        ASSERT_TRUE(map.ExportSlotWav(slot, scratch.c_str(), report));
        CEditSession::Setup setup;
        setup.slot = slot;
        setup.roomLeft = room < 0 ? int32_t(map.GetRoomLeft()) : int32_t(room);
        setup.scratchPath = scratch;
        setup.workingFolder = folder.Path() + "/";
        setup.audioState = &state;
        session = std::make_unique<CEditSession>(sonvox, view, report, map, setup, [this] { return now; });
        session->Open();
    }
    void Tick(uint32_t ms)
    {
        now += ms;
        session->OnTimer();
    }
    // Ticks of 25 ms until the recording ends by itself; the ticks taken.
    int TickUntilIdle(int limit = 100000)
    {
        int ticks = 0;
        while (state == AudioRecording && ticks < limit) {
            Tick(25);
            ++ticks;
        }
        return ticks;
    }
    std::vector<uint8_t> SlotAudio(uint8_t slot) const
    {
        const uint8_t* at = map.GetImageBuffer() + map.GetStart(slot);
        return std::vector<uint8_t>(at, at + map.GetLength(slot));
    }
    std::vector<uint8_t> Scratch() const { return UnitAudio(scratch); }
    // Slot 2 holds n bytes of its own pattern, named "Lobby", played 4 times.
    std::vector<uint8_t> GiveSlotAudio(uint32_t n)
    {
        Fill(map, 2, n, 7);
        map.SetName(2, "Lobby");
        map.SetPlayCount(2, 4);
        return SlotAudio(2);
    }

    TempFolder folder;
    cMemoryMap map;
    FakeSonvox sonvox;
    RecordingView view;
    RecordingReport report;
    uint8_t state = AudioIdle;
    uint32_t now = 5000;
    uint8_t m_slot = 0;
    std::string scratch;
    std::unique_ptr<CEditSession> session;
};

}  // namespace

TEST_F(EditSessionTest, OpeningShowsTheRoomLeftAndTheDefaults)
{
    Open();
    EXPECT_EQ(map.GetRoomLeft(), 4120577u);
    EXPECT_EQ(view.remaining, "515.07");
    EXPECT_EQ(session->RemainingBytes(), 4120577);
    EXPECT_EQ(view.meterClears, 1);
    EXPECT_FALSE(session->AudioChanged());
    EXPECT_FALSE(session->AppendRecording());
    EXPECT_EQ(session->Params().timeConstant, 0.9998);
    EXPECT_EQ(session->Params().clipAmount, 0.02);
    EXPECT_EQ(session->Params().thresholdFactor, 1.0);
    EXPECT_EQ(session->Params().initialTrim, 500);

    Open(2, 7999);
    EXPECT_EQ(view.remaining, "< 1.00");
    EXPECT_EQ(CEditSession::FormatRemaining(8000), "1.00");
    EXPECT_EQ(CEditSession::FormatRemaining(0), "< 1.00");
    EXPECT_EQ(CEditSession::FormatRemaining(-16000), "< 1.00");
    EXPECT_EQ(CEditSession::FormatRemaining(8000 * 999 + 80), "999.01");
}

// The tick count wraps during the recording: differences are unsigned.
TEST_F(EditSessionTest, RecordingStopsItselfWhenTheRoomIsUsedUp)
{
    now = 0xFFFFFF00u;
    Open(2, 16000);
    sonvox.peaks = {100, 2000};
    session->OnRecord();
    EXPECT_EQ(sonvox.records, 1);
    EXPECT_EQ(state, AudioRecording);
    EXPECT_EQ(view.timer, 15u);
    EXPECT_EQ(view.recordCaption, "Stop");

    Tick(25);
    EXPECT_EQ(session->RemainingBytes(), 16000 - 200);
    EXPECT_EQ(view.remaining, "1.98");
    // 2000 ms use 16,000 bytes: the 80th tick ends the recording.
    EXPECT_EQ(TickUntilIdle(), 79);
    EXPECT_EQ(view.levels, (std::vector<int>{100, 2000}));  // ticks without a block set nothing
    EXPECT_EQ(sonvox.stops, 1);
    ASSERT_EQ(sonvox.saved.size(), 1u);
    EXPECT_EQ(Scratch(), sonvox.capture);
    EXPECT_TRUE(session->AudioChanged());
    EXPECT_EQ(view.timer, 0u);
    EXPECT_EQ(view.recordCaption, "Record");
    EXPECT_GE(view.meterClears, 2);
    // What is left is counted from what was saved.
    EXPECT_EQ(session->RemainingBytes(), 16000 - int(sonvox.capture.size()));
    EXPECT_TRUE(report.messages.empty());

    // A tick after the end changes nothing.
    Tick(25);
    EXPECT_EQ(sonvox.stops, 1);
}

// The library ends a recording by itself when the microphone goes away: the
// dialog finishes it as Stop would, keeps it, and says what happened.
TEST_F(EditSessionTest, LostMicrophoneKeepsTheRecordingAndSaysSo)
{
    Open();
    sonvox.peaks = {300};
    session->OnRecord();
    Tick(25);
    sonvox.lost = true;
    Tick(25);
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(sonvox.stops, 1);
    ASSERT_EQ(sonvox.saved.size(), 1u);
    EXPECT_EQ(Scratch(), sonvox.capture);
    EXPECT_TRUE(session->AudioChanged());
    EXPECT_EQ(view.recordCaption, "Record");
    EXPECT_EQ(view.timer, 0u);
    EXPECT_EQ(view.levels, std::vector<int>{300});
    EXPECT_EQ(report.messages, std::vector<std::string>{"The microphone stopped delivering sound; the recording was "
                                                        "stopped and what was recorded is kept."});
    Tick(25);
    EXPECT_EQ(sonvox.stops, 1);
}

// Less room than one tick: Record and Append Recording say that the memory is
// full and start nothing (the recording would stop at once, unexplained).
TEST_F(EditSessionTest, RecordWithTheMemoryFullSaysSo)
{
    const auto audio = GiveSlotAudio(8000);
    for (void (CEditSession::*press)() : {&CEditSession::OnRecord, &CEditSession::OnAppendRecording}) {
        Open(2, CEditSession::kMinRecordBytes - 1);
        report.messages.clear();
        (session.get()->*press)();
        ASSERT_EQ(report.messages.size(), 1u);
        EXPECT_EQ(report.messages[0], CEditSession::kMemoryFullText);
        EXPECT_EQ(sonvox.records, 0);
        EXPECT_EQ(state, AudioIdle);
        EXPECT_FALSE(session->AppendRecording());
        EXPECT_EQ(Scratch(), audio);
    }
    Open(2, CEditSession::kMinRecordBytes);
    session->OnRecord();
    EXPECT_EQ(state, AudioRecording);
}

// A new recording in a slot that holds audio counts down from the room the
// image had at opening (the old audio is not free until OK): no jump.
TEST_F(EditSessionTest, ARecordingInAFullSlotFitsTheRoomLeft)
{
    GiveSlotAudio(8000);
    Open(2, 4000);
    EXPECT_EQ(session->RemainingBytes(), 4000);
    session->OnRecord();
    EXPECT_EQ(session->RemainingBytes(), 4000);
    Tick(100);
    EXPECT_EQ(session->RemainingBytes(), 4000 - 800);
    EXPECT_EQ(TickUntilIdle(), 16);  // 500 ms in all
    EXPECT_EQ(session->RemainingBytes(), 4000 - int(sonvox.capture.size()));

    // A recording that captured nothing leaves the figure as it was.
    Open(2, 4000);
    sonvox.stopResult = 0;
    session->OnRecord();
    Tick(100);
    session->OnRecord();
    EXPECT_EQ(session->RemainingBytes(), 4000);
}

TEST_F(EditSessionTest, NoisyRecordingIsKeptWithAWarning)
{
    Open();
    sonvox.gain = 20.5;
    session->OnRecord();
    session->OnRecord();
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], "This message may be noisy.  Playback may be unpleasant.\n"
                                  "Please check mic, connections and recording levels.\n");
    EXPECT_EQ(Scratch(), sonvox.capture);
    EXPECT_TRUE(session->AudioChanged());

    report.messages.clear();
    sonvox.gain = 20.0;
    sonvox.snr = -0.5;
    session->OnRecord();
    session->OnRecord();
    EXPECT_EQ(report.messages.size(), 1u);
    sonvox.snr = 0;
    session->OnRecord();
    session->OnRecord();
    EXPECT_EQ(report.messages.size(), 1u);
}

TEST_F(EditSessionTest, RecordWhilePlayingOnlyStops)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    session->OnPlay();
    EXPECT_EQ(state, AudioPlaying);
    EXPECT_EQ(view.playCaption, "Stop");
    EXPECT_EQ(view.timer, 50u);
    EXPECT_EQ(sonvox.previews, 1);
    const int cancels = sonvox.cancels;
    session->OnRecord();
    EXPECT_EQ(sonvox.records, 0);
    EXPECT_EQ(sonvox.cancels, cancels + 1);
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(view.playCaption, "Play");
    EXPECT_EQ(view.timer, 0u);

    // Playing ends once more than the duration has passed.
    session->OnPlay();
    Tick(1000);
    EXPECT_EQ(state, AudioPlaying);
    Tick(1);
    EXPECT_EQ(state, AudioIdle);
    // Play does nothing while recording.
    session->OnRecord();
    session->OnPlay();
    EXPECT_EQ(state, AudioRecording);
}

TEST_F(EditSessionTest, PlayBeforeAndAfterARecording)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    // The scratch file went astray: Play writes the slot again.
    std::remove(scratch.c_str());
    session->OnPlay();
    EXPECT_EQ(sonvox.loaded, audio);
    session->OnPlay();

    session->OnRecord();
    session->OnRecord();
    session->OnPlay();
    EXPECT_EQ(sonvox.loaded, sonvox.capture);
    EXPECT_EQ(SlotAudio(2), audio);
    EXPECT_STREQ(map.GetName(2), "Lobby");

    // Audio library missing: nothing plays, nothing records.
    session->StopActivity();
    auto setup = session->GetSetup();
    setup.audioAvailable = false;
    CEditSession off(sonvox, view, report, map, setup, [this] { return now; });
    off.Open();
    off.OnPlay();
    off.OnRecord();
    EXPECT_EQ(report.messages,
              (std::vector<std::string>{CPreviewPlayer::kNotAvailableText, CPreviewPlayer::kNotAvailableText}));
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(sonvox.records, 1);
}

// OK as the panel takes it: the scratch file replaces the slot's audio.
TEST_F(EditSessionTest, OkTakesTheRecordingIntoTheSlot)
{
    GiveSlotAudio(8000);
    Fill(map, 5, 3000, 9);
    const auto other = SlotAudio(5);
    Open();
    session->OnRecord();
    Tick(500);
    session->StopActivity();
    ASSERT_TRUE(session->AudioChanged());
    ASSERT_TRUE(map.ReplaceSlotWav(2, scratch.c_str(), report));
    EXPECT_EQ(SlotAudio(2), sonvox.capture);
    EXPECT_EQ(SlotAudio(5), other);
    EXPECT_STREQ(map.GetName(2), "Lobby");
    EXPECT_EQ(map.GetPlayCount(2), 4);
}

TEST_F(EditSessionTest, AppendFileLowersTheFigure)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    const auto added = Samples(16000, 40);
    WriteUnitWav(folder.File("more.wav"), added);
    view.appendPath = folder.File("more.wav");
    const int32_t before = session->RemainingBytes();
    session->OnAppendFile();
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(session->RemainingBytes(), before - 16000);
    EXPECT_EQ(view.remaining, CEditSession::FormatRemaining(before - 16000));
    EXPECT_EQ(std::stod(CEditSession::FormatRemaining(before)) - std::stod(view.remaining), 2.0);
    EXPECT_EQ(Scratch(), Join(audio, added));
    EXPECT_TRUE(session->AudioChanged());

    // Cancel in the file dialog: nothing.
    view.appendPath.clear();
    session->OnAppendFile();
    EXPECT_EQ(Scratch(), Join(audio, added));
}

TEST_F(EditSessionTest, AppendRecordingTwiceGivesOldThenNew)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    session->OnAppendRecording();
    EXPECT_TRUE(session->AppendRecording());
    EXPECT_FALSE(view.recordEnabled);
    EXPECT_EQ(view.appendCaption, "Stop Append Recording");
    EXPECT_EQ(state, AudioRecording);
    Tick(500);
    session->OnAppendRecording();
    EXPECT_EQ(sonvox.records, 1);
    EXPECT_EQ(sonvox.stops, 1);
    EXPECT_TRUE(view.recordEnabled);
    EXPECT_EQ(view.appendCaption, "Append Recording");
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(Scratch(), Join(audio, sonvox.capture));
    EXPECT_TRUE(session->AudioChanged());
    // The slot's old audio is part of the new one: only the new part counts.
    EXPECT_EQ(session->RemainingBytes(), int32_t(map.GetRoomLeft()) - int32_t(sonvox.capture.size()));
    EXPECT_TRUE(report.messages.empty());
}

// The room for the new part is what the old part leaves: with 16,000 bytes
// of room besides the slot's audio, the recording ends after two seconds.
TEST_F(EditSessionTest, AppendRecordingThatStoppedItself)
{
    const auto audio = GiveSlotAudio(8000);
    Open(2, 16000);
    session->OnAppendRecording();
    Tick(25);
    EXPECT_EQ(session->RemainingBytes(), 16000 - 200);
    EXPECT_EQ(TickUntilIdle(), 79);
    EXPECT_EQ(sonvox.stops, 1);
    EXPECT_TRUE(session->AppendRecording());
    session->OnAppendRecording();
    EXPECT_EQ(sonvox.records, 1);
    EXPECT_EQ(sonvox.stops, 1);
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(Scratch(), Join(audio, sonvox.capture));
    EXPECT_EQ(session->RemainingBytes(), 16000 - int32_t(sonvox.capture.size()));
}

// A recording that runs when Append Recording is pressed ends first and
// becomes part of the old audio; the new part follows it.
TEST_F(EditSessionTest, AppendRecordingPressedWhileRecording)
{
    GiveSlotAudio(8000);
    Open();
    session->OnRecord();
    const auto first = sonvox.capture;
    session->OnAppendRecording();
    EXPECT_EQ(sonvox.records, 2);
    EXPECT_EQ(state, AudioRecording);
    sonvox.capture = Samples(3000, 90);
    session->OnAppendRecording();
    EXPECT_EQ(Scratch(), Join(first, sonvox.capture));
}

// OK in the middle of an Append Recording: the old part is not left behind.
TEST_F(EditSessionTest, EndingDuringAnAppendRecordingJoinsItsParts)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    session->OnAppendRecording();
    Tick(300);
    session->StopActivity();
    EXPECT_EQ(Scratch(), Join(audio, sonvox.capture));
    EXPECT_FALSE(session->AppendRecording());
    EXPECT_EQ(state, AudioIdle);

    // Settings during it stops the recording only; the second press joins.
    Open();
    session->OnAppendRecording();
    session->OnSettings();
    EXPECT_TRUE(session->AppendRecording());
    session->OnAppendRecording();
    EXPECT_EQ(Scratch(), Join(audio, sonvox.capture));
}

TEST_F(EditSessionTest, SettingsChangeTheNextSave)
{
    Open();
    sonvox.gain = 3.5;
    session->OnRecord();
    session->OnRecord();
    view.settingsChosen.timeConstant = 0.75;
    view.settingsChosen.clipAmount = 0.5;
    view.settingsChosen.thresholdFactor = 4.0;
    view.settingsChosen.initialTrim = 1200;
    view.settingsChosen.gain = 99;  // results are not taken from the dialog
    session->OnRecord();            // Settings stops the recording first
    session->OnSettings();
    EXPECT_EQ(sonvox.stops, 2);
    EXPECT_EQ(view.settingsShown.gain, 3.5);
    EXPECT_EQ(session->Params().gain, 3.5);
    session->OnRecord();
    session->OnRecord();
    ASSERT_EQ(sonvox.saved.size(), 3u);
    EXPECT_EQ(sonvox.saved[2].timeConstant, 0.75);
    EXPECT_EQ(sonvox.saved[2].clipAmount, 0.5);
    EXPECT_EQ(sonvox.saved[2].thresholdFactor, 4.0);
    EXPECT_EQ(sonvox.saved[2].initialTrim, 1200);
    EXPECT_EQ(sonvox.saved[1].initialTrim, 500);

    view.settingsOk = false;
    view.settingsChosen.initialTrim = 7;
    session->OnSettings();
    EXPECT_EQ(session->Params().initialTrim, 1200);

    // The next opening starts from the defaults.
    Open();
    EXPECT_EQ(session->Params().initialTrim, 500);
    EXPECT_EQ(session->Params().timeConstant, 0.9998);
}

TEST_F(EditSessionTest, MakeSilenceReplacesTheAudio)
{
    GiveSlotAudio(8000);
    Open(2, 4000);
    view.silenceMs = 250;
    session->OnMakeSilence();
    EXPECT_EQ(Scratch(), std::vector<uint8_t>(2000, 0xFF));
    EXPECT_TRUE(session->AudioChanged());
    // The silence takes the place of the slot's audio and, like a new
    // recording, must fit in the room left when the dialog opened.
    EXPECT_EQ(session->RemainingBytes(), 4000 - 2000);
    EXPECT_EQ(view.silenceRoom, 4000u);

    view.silenceMs = 0;
    session->OnMakeSilence();
    EXPECT_EQ(Scratch().size(), 2000u);
    view.silenceOk = false;
    view.silenceMs = 10;
    session->OnMakeSilence();
    EXPECT_EQ(Scratch().size(), 2000u);
}

// ------------------------------------------------------------------- mends

TEST_F(EditSessionTest, FailedSaveKeepsTheEarlierAudio)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    sonvox.saveResult = false;
    session->OnRecord();
    now += 100;
    session->OnRecord();
    EXPECT_EQ(report.messages, std::vector<std::string>{CEditSession::kSaveFailedText});
    EXPECT_EQ(Scratch(), audio);
    EXPECT_FALSE(session->AudioChanged());
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(view.recordCaption, "Record");
    EXPECT_EQ(session->RemainingBytes(), int32_t(map.GetRoomLeft()));

    // A recording made earlier in the dialog survives a later failure.
    sonvox.saveResult = true;
    session->OnRecord();
    session->OnRecord();
    const auto earlier = sonvox.capture;
    sonvox.saveResult = false;
    sonvox.capture = Samples(100, 3);
    session->OnRecord();
    session->OnRecord();
    EXPECT_EQ(Scratch(), earlier);
    EXPECT_TRUE(session->AudioChanged());

    // So does silence, also when the failing recording stopped itself.
    view.silenceMs = 40;
    session->OnMakeSilence();
    Open(2, 8000);
    view.silenceMs = 40;
    session->OnMakeSilence();
    session->OnRecord();
    TickUntilIdle();
    EXPECT_EQ(Scratch(), std::vector<uint8_t>(320, 0xFF));
    EXPECT_TRUE(session->AudioChanged());
}

// A failed save of a recording that ran no longer than the initial trim
// (500 samples: 62.5 ms) says so; any other failure keeps the general text.
TEST_F(EditSessionTest, FailedSaveOfARecordingShorterThanTheTrimSaysSo)
{
    struct Case {
        uint32_t ranMs;
        int32_t trim;
        const char* text;
    };
    const Case cases[] = {
        {0, 500, CEditSession::kShorterThanTrimText}, {62, 500, CEditSession::kShorterThanTrimText},
        {63, 500, CEditSession::kSaveFailedText},     {250, 2000, CEditSession::kShorterThanTrimText},
        {0, 0, CEditSession::kSaveFailedText},
    };
    for (const Case& c : cases) {
        Open();
        view.settingsChosen.initialTrim = c.trim;
        session->OnSettings();
        report.messages.clear();
        sonvox.saveResult = false;
        session->OnRecord();
        now += c.ranMs;
        session->OnRecord();
        EXPECT_EQ(report.messages, std::vector<std::string>{c.text}) << c.ranMs << " ms, trim " << c.trim;
    }
}

TEST_F(EditSessionTest, FailedSaveDuringAppendKeepsTheOldPart)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    sonvox.saveResult = false;
    session->OnAppendRecording();
    now += 100;
    session->OnAppendRecording();
    EXPECT_EQ(report.messages, std::vector<std::string>{CEditSession::kSaveFailedText});
    EXPECT_EQ(Scratch(), audio);
    EXPECT_FALSE(session->AudioChanged());
    EXPECT_EQ(session->RemainingBytes(), int32_t(map.GetRoomLeft()));

    // The same after the recording had stopped itself.
    Open(2, 800);
    session->OnAppendRecording();
    TickUntilIdle();
    session->OnAppendRecording();
    EXPECT_EQ(Scratch(), audio);
    EXPECT_EQ(sonvox.records, 2);

    // And when Record did not start at all.
    sonvox.recordResult = 0;
    session->OnAppendRecording();
    session->OnAppendRecording();
    EXPECT_EQ(Scratch(), audio);
    EXPECT_FALSE(session->AudioChanged());
}

// A new part that cannot be joined (not in the unit's format) is refused
// with the import's messages; the old part comes back.
TEST_F(EditSessionTest, AppendRecordingWithAPartThatCannotBeJoined)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    WavBuilder pcm;
    pcm.formatTag = 1;
    pcm.bits = 16;
    pcm.blockAlign = 2;
    pcm.bytesPerSec = 16000;
    pcm.data = Samples(200, 1);
    sonvox.foreign = pcm.Bytes();
    session->OnAppendRecording();
    session->OnAppendRecording();
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], "Trouble with " + folder.File("olun2.wav") +
                                      "\nWAVE format is not g.711 mono, 8kHz.\n"
                                      "Found format = 1, channels = 1, rate = 8000\nTrouble with file header\n");
    EXPECT_EQ(Scratch(), audio);
    EXPECT_FALSE(session->AudioChanged());
    EXPECT_EQ(session->RemainingBytes(), int32_t(map.GetRoomLeft()));
}

TEST_F(EditSessionTest, StopWithNothingCapturedReturnsToIdle)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    sonvox.stopResult = 0;
    session->OnRecord();
    Tick(100);
    session->OnRecord();
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(view.recordCaption, "Record");
    EXPECT_EQ(view.timer, 0u);
    EXPECT_TRUE(sonvox.saved.empty());
    EXPECT_EQ(Scratch(), audio);
    EXPECT_FALSE(session->AudioChanged());
    EXPECT_TRUE(report.messages.empty());
    // Record works again afterwards.
    session->OnRecord();
    EXPECT_EQ(state, AudioRecording);
}

TEST_F(EditSessionTest, RefusedAppendFileLeavesTheScratchFile)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    const int32_t before = session->RemainingBytes();
    auto refused = [&](const std::string& path, const std::string& lines) {
        report.messages.clear();
        view.appendPath = path;
        session->OnAppendFile();
        ASSERT_EQ(report.messages.size(), 1u) << path;
        EXPECT_EQ(report.messages[0], "Trouble with " + path + "\n" + lines);
        EXPECT_EQ(Scratch(), audio) << path;
        EXPECT_FALSE(session->AudioChanged()) << path;
        EXPECT_EQ(session->RemainingBytes(), before) << path;
    };
    refused(folder.File("missing.wav"),
            "Could not open file\n" + folder.File("missing.wav") + ": No such file or directory");
    // A format no decoder reads goes to the import's own check.
    WavBuilder odd;
    odd.formatTag = 0x1234;
    odd.data = Samples(100, 1);
    folder.Write("odd.wav", odd.Bytes());
    refused(folder.File("odd.wav"),
            "WAVE format is not g.711 mono, 8kHz.\nFound format = 4660, channels = 1, rate = 8000\n"
            "Trouble with file header\n");
    folder.Write("text.wav", "just some text, not audio at all");
    refused(folder.File("text.wav"), "File is not a .WAV type\nTrouble with file header\n");

    // Files of other formats are offered for conversion; No changes nothing.
    const std::string pcm = folder.File("pcm16.wav"), stereo = folder.File("stereo.wav"),
                      fast = folder.File("fast.wav");
    ASSERT_TRUE(Sox("-n -r 8000 -e signed -b 16 -c 1 " + pcm + " synth 1 sine 440"));
    ASSERT_TRUE(Sox("-n -r 8000 -e u-law -c 2 " + stereo + " synth 1 sine 440"));
    ASSERT_TRUE(Sox("-n -r 44100 -e u-law -c 1 " + fast + " synth 1 sine 440"));
    report.answer = false;
    report.messages.clear();
    for (const std::string& path : {pcm, stereo, fast}) {
        view.appendPath = path;
        session->OnAppendFile();
    }
    ASSERT_EQ(report.questions.size(), 3u);
    // The question says what happens next here: an append, not an import.
    EXPECT_NE(report.questions[0].find("and append it?"), std::string::npos) << report.questions[0];
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(Scratch(), audio);
    EXPECT_FALSE(session->AudioChanged());

    // Yes: the converted audio (one second) is appended.
    report.answer = true;
    view.appendPath = pcm;
    session->OnAppendFile();
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(Scratch().size(), audio.size() + 8000);
    EXPECT_EQ(session->RemainingBytes(), before - 8000);
}

TEST_F(EditSessionTest, AppendFileRefusedWhenItDoesNotFit)
{
    const auto audio = GiveSlotAudio(8000);
    Open(2, 1000);
    WriteUnitWav(folder.File("big.wav"), Samples(956, 2));  // 1000 bytes in all
    view.appendPath = folder.File("big.wav");
    session->OnAppendFile();
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], "Trouble with " + folder.File("big.wav") +
                                      "\nCannot import - no space left!\nTrouble with file length\n");
    EXPECT_EQ(Scratch(), audio);
    report.messages.clear();
    WriteUnitWav(folder.File("fits.wav"), Samples(955, 2));
    view.appendPath = folder.File("fits.wav");
    session->OnAppendFile();
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(session->RemainingBytes(), 1000 - 955);
    // The joined file passes the slot's own check at OK.
    EXPECT_TRUE(map.ReplaceSlotWav(2, scratch.c_str(), report));
    EXPECT_EQ(map.GetLength(2), 8000u + 955);
}

TEST_F(EditSessionTest, AppendFileWaitsForAnAppendRecording)
{
    const auto audio = GiveSlotAudio(8000);
    Open();
    WriteUnitWav(folder.File("more.wav"), Samples(800, 4));
    view.appendPath = folder.File("more.wav");
    session->OnAppendRecording();
    session->OnAppendFile();
    EXPECT_EQ(report.messages, std::vector<std::string>{CEditSession::kAppendBusyText});
    session->OnAppendRecording();
    EXPECT_EQ(Scratch(), Join(audio, sonvox.capture));
}

// ------------------------------------------------- the end of a recording aside

// Stop and Save run aside: until they are done every command is refused and
// nothing reaches the library from the session.
TEST_F(EditSessionTest, CommandsAreRefusedWhileARecordingIsSaved)
{
    const auto audio = GiveSlotAudio(8000);
    view.holdAside = true;
    view.appendPath = "/nonexistent/other.wav";
    view.silenceMs = 500;
    Open();
    session->OnRecord();
    Tick(1000);
    session->OnRecord();  // Stop
    ASSERT_TRUE(view.Held());
    EXPECT_TRUE(session->Busy());
    EXPECT_TRUE(view.busy);
    EXPECT_EQ(view.recordCaption, "Record");
    EXPECT_EQ(view.timer, 0u);
    EXPECT_EQ(sonvox.stops, 0);   // not on this thread
    EXPECT_EQ(Scratch(), audio);  // the old audio until the save is done

    const int32_t remaining = session->RemainingBytes();
    session->OnRecord();
    session->OnPlay();
    session->OnAppendRecording();
    session->OnMakeSilence();
    session->OnAppendFile();
    session->OnSettings();
    Tick(15);
    EXPECT_EQ(sonvox.records, 1);
    EXPECT_EQ(sonvox.cancels, 0);
    EXPECT_EQ(sonvox.previews, 0);
    EXPECT_EQ(view.silenceRoom, 0u);          // Make Silence never asked
    EXPECT_EQ(view.settingsShown.gain, 0.0);  // nor Settings
    EXPECT_FALSE(session->AppendRecording());
    EXPECT_EQ(session->RemainingBytes(), remaining);
    EXPECT_EQ(view.asides, 1);
    EXPECT_TRUE(report.messages.empty());

    view.RunHeld();
    EXPECT_FALSE(session->Busy());
    EXPECT_FALSE(view.busy);
    EXPECT_EQ(sonvox.stops, 1);
    ASSERT_EQ(sonvox.saved.size(), 1u);
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(Scratch(), sonvox.capture);
    EXPECT_TRUE(session->AudioChanged());
    EXPECT_EQ(session->RemainingBytes(), int32_t(map.GetRoomLeft()) - int32_t(sonvox.capture.size()));
    EXPECT_EQ(session->Params().gain, sonvox.gain);  // the results came back

    // Commands work again.
    session->OnPlay();
    EXPECT_EQ(state, AudioPlaying);
}

// OK (or Cancel) while the save runs: the ending waits for it and then sees
// the saved audio; a failed save puts back the earlier audio first.
TEST_F(EditSessionTest, EndingWhileARecordingIsSavedWaitsForIt)
{
    const auto audio = GiveSlotAudio(8000);
    view.holdAside = true;
    Open();
    session->OnRecord();
    session->OnRecord();
    int ended = 0;
    bool changedAtEnd = false;
    session->StopActivity([&] {
        ++ended;
        changedAtEnd = session->AudioChanged();
    });
    EXPECT_EQ(ended, 0);
    view.RunHeld();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(changedAtEnd);
    EXPECT_EQ(Scratch(), sonvox.capture);

    // The recording stopped by the ending itself is saved aside too.
    Open();
    sonvox.saveResult = false;
    session->OnRecord();
    now += 100;
    session->StopActivity([&] {
        ++ended;
        changedAtEnd = session->AudioChanged();
    });
    EXPECT_EQ(ended, 1);
    ASSERT_TRUE(view.Held());
    view.RunHeld();
    EXPECT_EQ(ended, 2);
    EXPECT_FALSE(changedAtEnd);
    EXPECT_EQ(Scratch(), audio);
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], CEditSession::kSaveFailedText);
}

// The second press of Append Recording joins the parts only once the new
// part is saved; the first press during a recording starts the new part only
// once the running one is saved. Settings waits too and shows its results.
TEST_F(EditSessionTest, AppendRecordingAndSettingsWaitForTheSave)
{
    const auto audio = GiveSlotAudio(8000);
    view.holdAside = true;
    Open();
    session->OnAppendRecording();
    EXPECT_EQ(sonvox.records, 1);
    session->OnAppendRecording();
    EXPECT_TRUE(session->Busy());
    EXPECT_TRUE(view.recordEnabled);
    EXPECT_EQ(view.appendCaption, "Stop Append Recording");
    view.RunHeld();
    EXPECT_EQ(view.appendCaption, "Append Recording");
    EXPECT_EQ(Scratch(), Join(audio, sonvox.capture));

    // Record, then Append Recording while it runs: the first recording is
    // saved before it becomes the old part.
    Open();
    session->OnRecord();
    const auto first = sonvox.capture;
    session->OnAppendRecording();
    EXPECT_EQ(sonvox.records, 2);  // no new recording yet
    EXPECT_FALSE(session->AppendRecording());
    view.RunHeld();
    EXPECT_EQ(sonvox.records, 3);
    EXPECT_TRUE(session->AppendRecording());
    EXPECT_EQ(state, AudioRecording);
    sonvox.capture = Samples(3000, 90);
    session->OnAppendRecording();
    view.RunHeld();
    EXPECT_EQ(Scratch(), Join(first, sonvox.capture));

    // Settings while recording opens once the recording is saved, with the
    // results of that save.
    Open();
    sonvox.gain = 12;
    session->OnRecord();
    session->OnSettings();
    EXPECT_EQ(view.settingsShown.gain, 0.0);
    view.RunHeld();
    EXPECT_EQ(view.settingsShown.gain, 12.0);
}
