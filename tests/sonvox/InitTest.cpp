// Audio_Init and Audio_Release over a fake device side. One process-wide log
// is opened by the first successful open, so the whole life of the library is
// one test in its own program.
#include "sonvox.h"

#include "FakeEngine.h"
#include "SonvoxState.h"
#include "TestSupport.h"

TEST(AudioInit, LifeOfTheLibrary)
{
    fs::path dir = MakeTempDir("init");
    const fs::path logPath = dir / "logs" / "Audio.log";

    // Before any log is open reports go nowhere.
    EXPECT_EQ(LoadPlaySilence(10), 0);

    // A reader made by IsValidFile before start-up is replaced by Init.
    auto valid = WriteWav(dir / "v.wav", Bytes(8000, 0xFF));
    EXPECT_EQ(IsValidFile(valid.c_str()), 1);
    EXPECT_EQ(GetDuration(), 1000u);

    // A log that cannot be created: no start, and the recorder is shut again.
    EXPECT_EQ(Audio_Init(1, (dir / "no" / "such" / "Audio.log").string().c_str(), 1), 0);
    EXPECT_EQ(Audio_Init(1, nullptr, 1), 0);
    EXPECT_EQ(Fake().prepareCalls, Fake().shutdownCalls);
    EXPECT_FALSE(fs::exists(logPath));

    // No usable input format: the log names the device's error and the format.
    Fake().formatOk = false;
    EXPECT_EQ(Audio_Init(1, logPath.string().c_str(), 1), 0);
    ASSERT_TRUE(fs::exists(logPath));
    {
        LogWatch fromStart(logPath);
        fromStart.Mark();
        auto lines = LogLines(ReadAll(logPath));
        ASSERT_EQ(lines.size(), 1u);
        Report r;
        ASSERT_TRUE(ParseReport(lines[0], r)) << lines[0];
        EXPECT_EQ(r.unit, "AudioAPI");
        EXPECT_EQ(r.text, "<Unknown Error>. 44100,16,1");
        EXPECT_NE(SourceLine("AudioAPI.cpp", r.line).find("EngineLastFormatErrorText"), std::string::npos);
    }
    EXPECT_EQ(Fake().startPlaybackCalls, 0);

    // A device that works: started, the format chosen, the meter flag set.
    LogWatch log(logPath);
    Fake().formatOk = true;
    EXPECT_EQ(Audio_Init(1, logPath.string().c_str(), 1), 1);
    EXPECT_EQ(State().format.sampleRate, 22050u);
    EXPECT_EQ(State().meterTap.IsEnabled(), 1);
    EXPECT_EQ(GetDuration(), 0u);
    EXPECT_FALSE(State().moduleFolder.empty());
    EXPECT_TRUE(log.NewLines().empty());  // the codec self-test passed

    // A second Init while started changes nothing.
    EXPECT_EQ(Audio_Init(1, logPath.string().c_str(), 0), 0);
    EXPECT_EQ(State().meterTap.IsEnabled(), 1);
    EXPECT_EQ(Fake().startPlaybackCalls, 1);

    // Release empties both queues and stops the playback thread.
    ASSERT_EQ(LoadPlaySilence(1000), 1);
    ASSERT_EQ(LoadPageSilence(1000), 1);
    EXPECT_EQ(Audio_Release(), 1);
    EXPECT_TRUE(State().playQueue.IsEmpty());
    EXPECT_EQ(GetBuffCount(), 0);
    EXPECT_EQ(Fake().stopPlaybackCalls, 1);
    EXPECT_EQ(GetDuration(), 0u);
    // Release when not started only shuts the recorder down.
    const int shutdowns = Fake().shutdownCalls;
    EXPECT_EQ(Audio_Release(), 1);
    EXPECT_EQ(Fake().stopPlaybackCalls, 1);
    EXPECT_EQ(Fake().shutdownCalls, shutdowns + 1);

    // Started again, the log stays where it was opened first.
    EXPECT_EQ(Audio_Init(1, (dir / "elsewhere.log").string().c_str(), 0), 1);
    EXPECT_EQ(State().meterTap.IsEnabled(), 0);
    EXPECT_FALSE(fs::exists(dir / "elsewhere.log"));
    log.Mark();
    EXPECT_EQ(LoadPlaySilence(10), 0);
    EXPECT_EQ(log.NewLines().size(), 1u);

    // A playback thread that cannot start leaves the library stopped.
    EXPECT_EQ(Audio_Release(), 1);
    Fake().playbackOk = false;
    const int prepared = Fake().prepareCalls, shut = Fake().shutdownCalls;
    EXPECT_EQ(Audio_Init(1, logPath.string().c_str(), 1), 0);
    EXPECT_EQ(Fake().prepareCalls - prepared, 1);
    EXPECT_EQ(Fake().shutdownCalls - shut, 1);
    EXPECT_EQ(Audio_Release(), 1);
    fs::remove_all(dir);
}
