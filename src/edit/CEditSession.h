// The rules of the "Edit Message" dialog without its window: the audio
// activity (Idle / Recording / Playing), the scratch WAV file and its moves
// through "olun.wav" and "olun2.wav", the seconds remaining, the timer tick.
// The dialog turns clicks and timer ticks into the calls below and shows what
// the session tells its view; tests drive it tick by tick with a fake audio
// library, a recording view and their own clock.
//
// The end of a recording (the library's Stop and Save, which processes the
// whole capture) runs aside through the view, off the window's thread: until
// it is done the session is busy and refuses every command; OK and Cancel
// wait for it.
//
// No path loses audio: a recording that cannot be processed puts back what
// the scratch file held before it; a file that cannot be appended leaves the
// scratch file as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AudioState.h"
#include "CPreviewPlayer.h"
#include "IAudioLibrary.h"
#include "IEditView.h"
#include "IOperatorReport.h"
#include "RecordProcessingParams.h"

class CScratchEdit;
class cMemoryMap;

class CEditSession {
public:
    using Clock = std::function<uint32_t()>;  // millisecond tick count

    static constexpr unsigned kTimerId = 853;
    static constexpr unsigned kRecordTickMs = 15;
    // The least room a recording starts in: one tick of audio.
    static constexpr int64_t kMinRecordBytes = 8 * kRecordTickMs;
    static constexpr unsigned kPlayTickMs = CPreviewPlayer::kTickMs;

    struct Setup {
        uint8_t slot = 0;               // 0-7
        int32_t roomLeft = 0;           // room left of the image when the dialog opened
        std::string scratchPath;        // "TXTemp.wav" in the working folder
        std::string workingFolder;      // ends with '/': "olun.wav", "olun2.wav" go here
        bool audioAvailable = true;     // the audio library started
        uint8_t* audioState = nullptr;  // the application's audio state; the session's own when null
        std::string importFolder;       // where Append File's dialog starts
    };

    // clock defaults to the system's tick count.
    CEditSession(IAudioLibrary& sonvox, IEditView& view, IOperatorReport& report, cMemoryMap& map, Setup setup,
                 Clock clock = Clock());
    ~CEditSession();
    CEditSession(const CEditSession&) = delete;
    CEditSession& operator=(const CEditSession&) = delete;

    // Opening: default parameters, remaining = room left, meter cleared.
    void Open();

    void OnRecord();
    void OnPlay();
    void OnTimer();
    void OnSettings();
    void OnMakeSilence();
    void OnAppendFile();
    void OnAppendRecording();
    // Cut (remove samples [from, to) of the scratch file) and Crop (keep
    // only them), and Ctrl+Z's undo of the last of them; true when the
    // scratch file changed. Refused while anything runs or an Append
    // Recording is under way.
    bool OnCut(size_t from, size_t to);
    bool OnCrop(size_t from, size_t to);
    bool OnUndo();
    bool CanUndo() const;
    // Play Selection: plays samples [from, to) only; Play starts at
    // SetPlayStart's sample (a click in the waveform).
    void OnPlaySelection(size_t from, size_t to);
    void SetPlayStart(size_t sample) { m_playStart = sample; }
    // The sample of the scratch file now playing; -1 when nothing plays.
    int64_t PlayPosition() const;
    // OK and Cancel (and closing the window) stop any activity first; an
    // Append Recording under way is finished as its second press would.
    // then runs once all of it has ended: at once, or when the recording
    // being processed is saved.
    void StopActivity(std::function<void()> then = std::function<void()>());

    AudioState State() const;
    // A recording is being stopped and processed aside: commands are refused.
    bool Busy() const { return m_busy; }
    bool AudioChanged() const { return m_audioChanged; }
    bool AppendRecording() const { return m_appendRecording; }
    int32_t RemainingBytes() const { return m_remainingBytes; }
    const RecordProcessingParams& Params() const { return m_processing; }
    const Setup& GetSetup() const { return m_setup; }

    // "%3.2f" seconds, or "< 1.00" below one second (negative included).
    static std::string FormatRemaining(int32_t bytes);

    // Message texts raised here.
    static const char* const kMemoryFullText;  // Record with no room left
    static const char* const kNoisyText;       // the noise warning after a recording
    // A recording whose processing failed: the scratch file is put back.
    static const char* const kSaveFailedText;
    // The same, for a recording that ran no longer than the initial trim.
    static const char* const kShorterThanTrimText;
    // Append File while an Append Recording is under way.
    static const char* const kAppendBusyText;
    // The library ended a recording by itself: the microphone went away.
    static const char* const kMicrophoneLostText;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;  // backup of the scratch file

    void UpdateRemaining();
    // Plays samples [from, to) of the scratch file (to beyond its end: to
    // the end), through a copy of them when not the whole file.
    void PlayRange(size_t from, size_t to);
    bool CanEdit() const;
    bool AfterEdit(bool changed, bool undo);
    std::string PlayPart() const { return m_setup.workingFolder + "play.wav"; }
    void SetState(AudioState state);
    // The Record button's steps, and the end of a recording.
    void StartRecording();
    // Stops the library and saves the capture aside; then (on the window's
    // thread) AfterRecording, and then.
    void FinishRecording(std::function<void()> then);
    // withinTrim: the recording ran no longer than the initial trim.
    void AfterRecording(bool captured, bool saved, bool withinTrim);
    // Ends a recording or playback (StopActivity's steps for the running
    // activity), then runs then; StopActivity is the dialog's ending.
    void StopRunning(std::function<void()> then = std::function<void()>());
    void SetBusy(bool busy);
    // The first press of Append Recording once what ran has ended; the
    // second press (or the dialog's ending) joins the parts, then runs then.
    void BeginAppend();
    void FinishAppend(std::function<void()> then);
    void JoinAppendParts();
    void AskSettingsNow();
    // What the scratch file holds before a recording: kept until it is saved.
    void KeepScratch();
    void RestoreScratch();
    // m_remainingBytes from what the scratch file (and, while appending,
    // "olun.wav") now holds.
    void Recount();
    // The room for the audio that goes into the scratch file now: the room
    // the slot has once its old audio is gone, less the old part of an
    // Append Recording.
    int64_t RoomForScratch() const;
    bool ConcatenateWavFiles(const std::string& first, const std::string& second, const std::string& output,
                             uint32_t roomForSecond, const std::string& secondShownAs = std::string());
    std::string OldPart() const { return m_setup.workingFolder + "olun.wav"; }
    std::string NewPart() const { return m_setup.workingFolder + "olun2.wav"; }

    // Play's captions and timer, as the player asks for them.
    struct PlayerView : IPlayerView {
        explicit PlayerView(IEditView& view) : m_view(view) { }
        void SetPlaying(bool playing) override { m_view.SetPlayCaption(playing ? "Stop" : "Play"); }
        void StartTimer(unsigned periodMs) override { m_view.StartTimer(periodMs); }
        void StopTimer() override { m_view.StopTimer(); }
        IEditView& m_view;
    };

    IAudioLibrary& m_sonvox;
    IEditView& m_view;
    IOperatorReport& m_report;
    cMemoryMap& m_map;
    Setup m_setup;
    Clock m_clock;
    uint8_t m_ownState = AudioIdle;
    PlayerView m_playerView;
    CPreviewPlayer m_player;

    uint32_t m_recordStart = 0;
    int32_t m_remainingBytes = 0;
    RecordProcessingParams m_processing;
    bool m_audioChanged = false;
    bool m_appendRecording = false;

    // The room left plus what the slot's old audio frees when it is
    // replaced; the remaining figure is this less the audio the slot gets.
    int64_t m_slotRoom = 0;
    // Room for the running recording (m_remainingBytes at its start).
    int64_t m_recordRoom = 0;
    bool m_audioChangedBefore = false;             // m_audioChanged when the recording started
    int64_t m_slotRoomBefore = 0;                  // m_slotRoom when the recording started
    bool m_newPart = false;                        // an Append Recording has a new part to join
    bool m_recordingAppends = false;               // the running recording is the new part of an append
    bool m_audioChangedBeforeAppend = false;       // m_audioChanged at the first press
    bool m_busy = false;                           // a recording is being processed aside
    std::vector<std::function<void()>> m_waiting;  // endings asked for while busy
    std::unique_ptr<CScratchEdit> m_edits;         // Cut, Crop and their undo
    std::vector<bool> m_changedBeforeEdit;         // m_audioChanged before each undoable edit
    size_t m_playStart = 0;                        // where Play starts, in samples
    size_t m_playFrom = 0;                         // the sample the running play started at
};
