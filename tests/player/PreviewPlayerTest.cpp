// The one preview player of the panel and Edit Message, on a test clock: what
// it asks of the library for each kind of file, and when it stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AudioState.h"
#include "CPreviewPlayer.h"
#include "FakeAudioLibrary.h"
#include "TempFolder.h"

namespace {

struct RecordingView : IPlayerView {
    std::vector<std::string> seen;
    void SetPlaying(bool playing) override { seen.push_back(playing ? "playing" : "stopped"); }
    void StartTimer(unsigned ms) override { seen.push_back("timer " + std::to_string(ms)); }
    void StopTimer() override { seen.push_back("no timer"); }
};

struct CountingReport : IOperatorReport {
    std::vector<std::string> messages;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string&) override { return false; }
};

// A unit WAV file of n audio bytes (n / 8 milliseconds).
std::string UnitWav(const TempFolder& folder, uint32_t n)
{
    std::string bytes(cMemoryMap::kWavHeaderSize + n, char(0xFF));
    cMemoryMap::BuildWavHeader(n, reinterpret_cast<uint8_t*>(bytes.data()));
    folder.Write("play.wav", bytes);
    return folder.File("play.wav");
}

}  // namespace

TEST(PreviewPlayer, WhatEachFileStarts)
{
    struct Row {
        const char* what;
        int loadResult;
        uint32_t audioBytes;
        CPreviewPlayer::Start start;
        std::vector<std::string> calls;
        std::vector<std::string> seen;
    } rows[] = {
        {"a message plays",
         1,
         8000,
         CPreviewPlayer::Start::Playing,
         {"PreviewCancel", "LoadPlay", "GetDuration", "Preview"},
         {"playing", "timer 50"}},
        {"a file the library refuses", 0, 8000, CPreviewPlayer::Start::LoadFailed, {"PreviewCancel", "LoadPlay"}, {}},
        {"an empty message", 1, 0, CPreviewPlayer::Start::Empty, {"PreviewCancel", "LoadPlay", "GetDuration"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder folder;
        CFakeAudioLibrary audio;
        audio.loadResult = row.loadResult;
        RecordingView view;
        uint8_t state = AudioIdle;
        CPreviewPlayer player(audio, view, state, [] { return 1000u; });
        EXPECT_EQ(player.Play(UnitWav(folder, row.audioBytes)), row.start);
        EXPECT_EQ(audio.calls, row.calls);
        EXPECT_EQ(view.seen, row.seen);
        EXPECT_EQ(state, row.start == CPreviewPlayer::Start::Playing ? AudioPlaying : AudioIdle);
    }
}

TEST(PreviewPlayer, StopsOnceTheDurationHasPassedAcrossTheClockWrap)
{
    for (const uint32_t start : {1000u, 0xFFFFFF00u}) {
        SCOPED_TRACE(start);
        TempFolder folder;
        CFakeAudioLibrary audio;
        RecordingView view;
        uint8_t state = AudioIdle;
        uint32_t now = start;
        CPreviewPlayer player(audio, view, state, [&now] { return now; });
        CountingReport report;
        ASSERT_EQ(player.Play(UnitWav(folder, 2000)), CPreviewPlayer::Start::Playing);  // 250 ms
        now = start + 250;
        player.Tick(report);
        EXPECT_TRUE(player.Playing());
        now = start + 251;
        player.Tick(report);
        EXPECT_FALSE(player.Playing());
        EXPECT_EQ(state, AudioIdle);
        EXPECT_EQ(audio.calls.back(), "PreviewCancel");
        EXPECT_EQ(view.seen, (std::vector<std::string>{"playing", "timer 50", "stopped", "no timer"}));
        // Stopping again, or a tick with nothing playing, asks nothing more.
        const size_t calls = audio.calls.size();
        player.Stop();
        player.Tick(report);
        EXPECT_EQ(audio.calls.size(), calls);
        EXPECT_TRUE(report.messages.empty());
    }
}

// The speaker goes away while a message plays: the player stops at the next
// tick, long before the duration, and the operator is told once.
TEST(PreviewPlayer, ALostSpeakerStopsThePlayingAndIsSaidOnce)
{
    TempFolder folder;
    CFakeAudioLibrary audio;
    RecordingView view;
    uint8_t state = AudioIdle;
    uint32_t now = 1000;
    CPreviewPlayer player(audio, view, state, [&now] { return now; });
    CountingReport report;
    ASSERT_EQ(player.Play(UnitWav(folder, 80000)), CPreviewPlayer::Start::Playing);  // 10 s
    now += 50;
    player.Tick(report);
    EXPECT_TRUE(player.Playing());
    audio.speakerLost = 1;
    now += 50;
    player.Tick(report);
    EXPECT_FALSE(player.Playing());
    EXPECT_EQ(state, AudioIdle);
    EXPECT_EQ(audio.calls.back(), "PreviewCancel");
    EXPECT_EQ(view.seen, (std::vector<std::string>{"playing", "timer 50", "stopped", "no timer"}));
    now += 50;
    player.Tick(report);
    EXPECT_EQ(report.messages, (std::vector<std::string>{CPreviewPlayer::kSpeakerLostText}));
}

TEST(PreviewPlayer, AnUnavailableLibraryIsSaidEachTime)
{
    CFakeAudioLibrary audio;
    RecordingView view;
    uint8_t state = AudioIdle;
    CPreviewPlayer player(audio, view, state);
    CountingReport report;
    EXPECT_TRUE(player.Usable(report));
    player.SetAvailable(false);
    EXPECT_FALSE(player.Usable(report));
    EXPECT_FALSE(player.Usable(report));
    EXPECT_EQ(report.messages, (std::vector<std::string>(2, CPreviewPlayer::kNotAvailableText)));
    EXPECT_TRUE(audio.calls.empty());
}
