#include "CEditSession.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <unistd.h>

#include "TickCount.h"
#include "CAtomicFile.h"
#include "CAudioEdit.h"
#include "CAudioImport.h"
#include "CImageCommands.h"
#include "CScratchEdit.h"
#include "SafeFile.h"
#include "cMemoryMap.h"

const char* const CEditSession::kNoisyText =
    "This message may be noisy.  Playback may be unpleasant.\nPlease check mic, connections and recording levels.\n";
const char* const CEditSession::kSaveFailedText =
    "The recording could not be processed.\nThe message keeps its previous audio.";
const char* const CEditSession::kShorterThanTrimText =
    "The recording is shorter than the Initial Trim of the Settings: nothing of it is left.\n"
    "The message keeps its previous audio.";
const char* const CEditSession::kAppendBusyText = "Please stop the Append Recording first.";
const char* const CEditSession::kMicrophoneLostText =
    "The microphone stopped delivering sound; the recording was stopped and what was recorded is kept.";
const char* const CEditSession::kMemoryFullText = "The unit's memory is full: there is no room left to record.\n"
                                                  "Delete or shorten a message to make room.";

namespace {

// Larger than any unit WAV file: the image itself is smaller.
constexpr size_t kMaxScratchBytes = size_t(64) << 20;

int32_t ToInt32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// What the scratch file held when the running recording started.
struct CEditSession::Impl {
    enum Kept { kNothing, kAbsent, kHeld };
    Kept kept = kNothing;
    std::string bytes;
};

CEditSession::CEditSession(IAudioLibrary& sonvox, IEditView& view, IOperatorReport& report, cMemoryMap& map,
                           Setup setup, Clock clock)
    : m_impl(std::make_unique<Impl>()), m_sonvox(sonvox), m_view(view), m_report(report), m_map(map),
      m_setup(std::move(setup)), m_clock(clock ? std::move(clock) : Clock(GetTickCountMs)), m_playerView(view),
      m_player(sonvox, m_playerView, m_setup.audioState ? *m_setup.audioState : m_ownState, m_clock)
{
    m_player.SetAvailable(m_setup.audioAvailable);
    m_edits = std::make_unique<CScratchEdit>(m_setup.scratchPath);
}

CEditSession::~CEditSession()
{
    if (!m_setup.workingFolder.empty())
        ::unlink(PlayPart().c_str());
}

AudioState CEditSession::State() const
{
    return AudioState(m_setup.audioState ? *m_setup.audioState : m_ownState);
}

void CEditSession::SetState(AudioState state)
{
    if (m_setup.audioState)
        *m_setup.audioState = state;
    else
        m_ownState = state;
}

std::string CEditSession::FormatRemaining(int32_t bytes)
{
    const double seconds = bytes / 8000.0;
    if (seconds < 1.0)
        return "< 1.00";
    char text[32];
    std::snprintf(text, sizeof text, "%3.2f", seconds);
    return text;
}

void CEditSession::UpdateRemaining()
{
    m_view.SetRemainingText(FormatRemaining(m_remainingBytes));
}

void CEditSession::Open()
{
    m_processing.RestoreDefaults();
    m_processing.gain = m_processing.clipCount = m_processing.snr = 0;
    // Replacing the slot's audio frees it (and moves the messages after it
    // down): that room is the slot's too.
    const int64_t freed = int64_t(m_map.GetRoomLeftWithout(m_setup.slot)) - int64_t(m_map.GetRoomLeft());
    m_slotRoom = int64_t(m_setup.roomLeft) + std::max<int64_t>(freed, 0);
    m_remainingBytes = m_setup.roomLeft;
    UpdateRemaining();
    m_audioChanged = false;
    m_view.MeterClear();
    m_appendRecording = false;
    m_newPart = false;
    m_impl->kept = Impl::kNothing;
}

int64_t CEditSession::RoomForScratch() const
{
    int64_t room = m_slotRoom;
    if (m_appendRecording)
        room -= std::max<int64_t>(CAudioEdit::AudioBytes(OldPart()), 0);
    return room;
}

void CEditSession::Recount()
{
    int64_t used = std::max<int64_t>(CAudioEdit::AudioBytes(m_setup.scratchPath), 0);
    if (m_appendRecording)
        used += std::max<int64_t>(CAudioEdit::AudioBytes(OldPart()), 0);
    m_remainingBytes = ToInt32(m_slotRoom - used);
}

// ------------------------------------------------------------------ recording

void CEditSession::KeepScratch()
{
    std::string bytes;
    int error = 0;
    if (ReadRegularFile(m_setup.scratchPath, bytes, kMaxScratchBytes, error)) {
        m_impl->kept = Impl::kHeld;
        m_impl->bytes.swap(bytes);
    } else {
        // A file that is there but cannot be read is left to itself.
        m_impl->kept = error == ENOENT ? Impl::kAbsent : Impl::kNothing;
        m_impl->bytes.clear();
    }
}

void CEditSession::RestoreScratch()
{
    const Impl::Kept kept = m_impl->kept;
    m_impl->kept = Impl::kNothing;
    if (kept == Impl::kAbsent) {
        ::unlink(m_setup.scratchPath.c_str());
    } else if (kept == Impl::kHeld) {
        CAtomicFile file;
        if (!file.Open(m_setup.scratchPath.c_str(), m_impl->bytes.size()) ||
            !file.Write(m_impl->bytes.data(), m_impl->bytes.size()) || !file.Commit()) {
            const int error = file.Error();
            file.Abort();
            m_report.ShowFileError("", m_setup.scratchPath, error);
        }
    }
    m_impl->bytes.clear();
    m_impl->bytes.shrink_to_fit();
}

void CEditSession::StartRecording()
{
    if (!m_sonvox.Record())
        return;
    KeepScratch();
    m_audioChangedBefore = m_audioChanged;
    m_slotRoomBefore = m_slotRoom;
    m_recordingAppends = m_appendRecording;
    // A new recording must fit in the room the image had when the dialog
    // opened: the slot's old audio is not counted as free for it.
    if (!m_appendRecording)
        m_slotRoom = std::min<int64_t>(m_slotRoom, m_setup.roomLeft);
    m_recordRoom = RoomForScratch();
    m_remainingBytes = ToInt32(m_recordRoom);
    m_recordStart = m_clock();
    m_view.StartTimer(kRecordTickMs);
    SetState(AudioRecording);
    m_view.SetRecordCaption("Stop");
    UpdateRemaining();
}

void CEditSession::SetBusy(bool busy)
{
    m_busy = busy;
    m_view.SetBusy(busy);
}

void CEditSession::FinishRecording(std::function<void()> then)
{
    m_view.StopTimer();
    m_view.MeterClear();
    m_view.SetRecordCaption("Record");
    SetBusy(true);
    // Stop and Save take as long as the capture is (Save converts and
    // processes all of it): they run aside on copies and touch nothing of
    // the session, which refuses commands until they are done.
    struct Outcome {
        bool captured = false;
        bool saved = false;
        RecordProcessingParams params;
    };
    auto outcome = std::make_shared<Outcome>();
    outcome->params = m_processing;
    // The capture is no longer than the recording ran: one that ran no longer
    // than the initial trim leaves the processing nothing.
    const int64_t recorded = 8 * int64_t(uint32_t(m_clock() - m_recordStart));
    const bool withinTrim = outcome->params.initialTrim > 0 && recorded <= outcome->params.initialTrim;
    IAudioLibrary* sonvox = &m_sonvox;
    const std::string path = m_setup.scratchPath;
    m_view.RunAside(
        [sonvox, outcome, path] {
            outcome->captured = sonvox->Stop() != 0;
            if (outcome->captured)
                outcome->saved = sonvox->Save(path.c_str(), outcome->params) != 0;
        },
        [this, outcome, then, withinTrim] {
            m_processing = outcome->params;
            SetState(AudioIdle);
            AfterRecording(outcome->captured, outcome->saved, withinTrim);
            SetBusy(false);
            if (then)
                then();
            // Endings asked for meanwhile (OK, Cancel), in their order.
            while (!m_busy && !m_waiting.empty()) {
                std::function<void()> next = std::move(m_waiting.front());
                m_waiting.erase(m_waiting.begin());
                next();
            }
        });
}

void CEditSession::AfterRecording(bool captured, bool saved, bool withinTrim)
{
    if (!captured) {
        // Nothing was recorded: the scratch file was never touched.
        m_slotRoom = m_slotRoomBefore;
        Recount();
        UpdateRemaining();
        m_impl->kept = Impl::kNothing;
        m_impl->bytes.clear();
        return;
    }
    if (!saved) {
        // The library has removed (or half written) the scratch file.
        RestoreScratch();
        m_audioChanged = m_audioChangedBefore;
        m_slotRoom = m_slotRoomBefore;
        Recount();
        UpdateRemaining();
        m_report.ShowMessage(withinTrim ? kShorterThanTrimText : kSaveFailedText);
        return;
    }
    m_impl->kept = Impl::kNothing;
    m_impl->bytes.clear();
    if (m_processing.gain > 20.0 || m_processing.snr < 0)
        m_report.ShowMessage(kNoisyText);
    m_audioChanged = true;
    if (m_recordingAppends)
        m_newPart = true;
    Recount();
    UpdateRemaining();
}

void CEditSession::OnRecord()
{
    if (m_busy)
        return;
    if (!m_player.Usable(m_report))
        return;
    if (State() != AudioIdle) {
        StopRunning();
        return;
    }
    // Less room than one tick of the countdown: the recording would end
    // before it began.
    const int64_t room = m_appendRecording ? RoomForScratch() : std::min<int64_t>(m_slotRoom, m_setup.roomLeft);
    if (room < kMinRecordBytes) {
        m_report.ShowMessage(kMemoryFullText);
        return;
    }
    StartRecording();
}

// ------------------------------------------------------------------- playing

void CEditSession::OnPlay()
{
    if (m_busy)
        return;
    if (!m_player.Usable(m_report))
        return;
    switch (State()) {
    case AudioIdle:
        if (!m_audioChanged && !m_map.ExportSlotWav(m_setup.slot, m_setup.scratchPath.c_str(), m_report))
            return;
        {
            // A start at (or past) the end plays the whole message.
            const int64_t bytes = std::max<int64_t>(CAudioEdit::AudioBytes(m_setup.scratchPath), 0);
            PlayRange(m_playStart < size_t(bytes) ? m_playStart : 0, SIZE_MAX);
        }
        break;
    case AudioPlaying:
        StopRunning();
        break;
    default:
        break;
    }
}

void CEditSession::PlayRange(size_t from, size_t to)
{
    const int64_t bytes = CAudioEdit::AudioBytes(m_setup.scratchPath);
    if (bytes >= 0 && to >= size_t(bytes))
        to = size_t(bytes);
    if (from == 0 && to == size_t(std::max<int64_t>(bytes, 0))) {
        m_playFrom = 0;
        m_player.Play(m_setup.scratchPath);
        return;
    }
    if (from >= to || !m_edits->WriteRange(from, to, PlayPart(), m_report))
        return;
    m_playFrom = from;
    m_player.Play(PlayPart());
}

void CEditSession::OnPlaySelection(size_t from, size_t to)
{
    if (m_busy || State() != AudioIdle || !m_player.Usable(m_report))
        return;
    if (!m_audioChanged && !m_map.ExportSlotWav(m_setup.slot, m_setup.scratchPath.c_str(), m_report))
        return;
    PlayRange(from, to);
}

int64_t CEditSession::PlayPosition() const
{
    if (State() != AudioPlaying)
        return -1;
    return int64_t(m_playFrom) + int64_t(m_player.ElapsedMs()) * 8;
}

bool CEditSession::CanEdit() const
{
    return !m_busy && State() == AudioIdle && !m_appendRecording;
}

bool CEditSession::AfterEdit(bool changed, bool undo)
{
    if (!changed)
        return false;
    if (undo) {
        if (!m_changedBeforeEdit.empty()) {
            m_audioChanged = m_changedBeforeEdit.back();
            m_changedBeforeEdit.pop_back();
        }
    } else {
        m_changedBeforeEdit.push_back(m_audioChanged);
        if (m_changedBeforeEdit.size() > CScratchEdit::kDepth)
            m_changedBeforeEdit.erase(m_changedBeforeEdit.begin());
        m_audioChanged = true;
    }
    Recount();
    UpdateRemaining();
    return true;
}

bool CEditSession::OnCut(size_t from, size_t to)
{
    return CanEdit() && AfterEdit(m_edits->Cut(from, to, m_report), false);
}

bool CEditSession::OnCrop(size_t from, size_t to)
{
    return CanEdit() && AfterEdit(m_edits->Crop(from, to, m_report), false);
}

bool CEditSession::CanUndo() const
{
    return CanEdit() && m_edits->CanUndo();
}

bool CEditSession::OnUndo()
{
    if (!CanEdit())
        return false;
    // Steps the scratch file has outgrown (a recording since) are gone.
    if (!m_edits->CanUndo()) {
        m_changedBeforeEdit.clear();
        return false;
    }
    return AfterEdit(m_edits->Undo(m_report), true);
}

void CEditSession::StopActivity(std::function<void()> then)
{
    if (m_busy) {
        m_waiting.push_back([this, then] { StopActivity(then); });
        return;
    }
    StopRunning([this, then] {
        // The dialog is ending: an Append Recording under way is finished as
        // its second press would, or the old part would stay behind in
        // "olun.wav" and OK would take the new part alone.
        if (m_appendRecording)
            FinishAppend(then);
        else if (then)
            then();
    });
}

void CEditSession::StopRunning(std::function<void()> then)
{
    switch (State()) {
    case AudioPlaying:
        m_player.Stop();
        break;
    case AudioRecording:
        FinishRecording(std::move(then));
        return;
    default:
        break;
    }
    if (then)
        then();
}

void CEditSession::OnTimer()
{
    if (m_busy)
        return;
    switch (State()) {
    case AudioRecording: {
        // No captured block: the meter keeps falling on its own.
        int level = 0;
        const int samples = m_sonvox.MeterGetPeak(&level);
        if (samples < 0) {
            // The library has ended the recording: the microphone is gone.
            // It is finished as Stop would, keeping what was recorded.
            FinishRecording([this] { m_report.ShowMessage(kMicrophoneLostText); });
            return;
        }
        if (samples > 0)
            m_view.MeterSetLevel(level);
        const uint32_t elapsed = m_clock() - m_recordStart;
        m_remainingBytes = ToInt32(m_recordRoom - 8 * int64_t(elapsed));
        if (m_remainingBytes <= 0) {
            m_view.StopTimer();
            StopRunning();
        }
        UpdateRemaining();
        break;
    }
    case AudioPlaying:
        m_player.Tick(m_report);
        break;
    default:
        break;
    }
}

// ----------------------------------------------------------- other commands

void CEditSession::OnSettings()
{
    if (m_busy)
        return;
    StopRunning([this] { AskSettingsNow(); });
}

void CEditSession::AskSettingsNow()
{
    RecordProcessingParams chosen = m_processing;
    if (!m_view.AskSettings(m_processing, chosen))
        return;
    m_processing.timeConstant = chosen.timeConstant;
    m_processing.clipAmount = chosen.clipAmount;
    m_processing.thresholdFactor = chosen.thresholdFactor;
    m_processing.initialTrim = chosen.initialTrim;
}

void CEditSession::OnMakeSilence()
{
    // The dialog offers only what fits in the room the image had when the
    // dialog opened, as for a recording: the silence replaces the audio.
    // The slot's own audio is freed at OK, so the file's header fits in it
    // unless the slot is empty.
    if (m_busy)
        return;
    const int64_t room = RoomForScratch();
    uint32_t offered = CAudioEdit::AudioRoom(room);
    if (!m_appendRecording)
        offered = std::min(offered, uint32_t(std::max<int32_t>(m_setup.roomLeft, 0)));
    uint32_t ms = 0;
    if (!m_view.AskSilence(offered, ms) || ms == 0)
        return;
    ms = std::min(ms, offered / 8);
    if (ms == 0)
        return;
    if (!m_map.WriteSilenceWav(ms, m_setup.scratchPath.c_str(), m_report))
        return;  // the file keeps its previous audio
    if (!m_appendRecording)
        m_slotRoom = std::min<int64_t>(m_slotRoom, m_setup.roomLeft);
    m_audioChanged = true;
    if (m_appendRecording)
        m_newPart = true;
    Recount();
    UpdateRemaining();
}

bool CEditSession::ConcatenateWavFiles(const std::string& first, const std::string& second, const std::string& output,
                                       uint32_t roomForSecond, const std::string& secondShownAs)
{
    uint32_t appended = 0;
    if (!CAudioEdit::ConcatenateWavFiles(first, second, output, roomForSecond, m_report, appended, secondShownAs))
        return false;
    m_remainingBytes = ToInt32(int64_t(m_remainingBytes) - appended);
    return true;
}

void CEditSession::OnAppendFile()
{
    if (m_busy)
        return;
    if (m_appendRecording) {
        m_report.ShowMessage(kAppendBusyText);
        return;
    }
    std::string chosen;
    if (!m_view.AskAppendFile(chosen))
        return;
    const uint32_t room = uint32_t(std::max<int32_t>(m_remainingBytes, 0));
    // A file of another kind is offered for conversion, as Import WAV does.
    CAudioImport audio;
    if (!CImageCommands(m_map, m_report).PrepareFile(audio, chosen, room))
        return;
    ::unlink(OldPart().c_str());
    if (!CAudioEdit::MoveFile(m_setup.scratchPath, OldPart(), m_report))
        return;
    if (!ConcatenateWavFiles(OldPart(), audio.ImportPath(), m_setup.scratchPath, room, chosen)) {
        CAudioEdit::MoveFile(OldPart(), m_setup.scratchPath, m_report);
        return;
    }
    m_audioChanged = true;
    UpdateRemaining();
}

void CEditSession::OnAppendRecording()
{
    if (m_busy)
        return;
    if (!m_appendRecording) {
        // What runs ends first (a recording is saved), so that the old part
        // holds all of it.
        StopRunning([this] { BeginAppend(); });
        return;
    }
    FinishAppend(std::function<void()>());
}

void CEditSession::BeginAppend()
{
    if (m_slotRoom - std::max<int64_t>(CAudioEdit::AudioBytes(m_setup.scratchPath), 0) < kMinRecordBytes) {
        m_report.ShowMessage(kMemoryFullText);
        return;
    }
    ::unlink(OldPart().c_str());
    if (!CAudioEdit::MoveFile(m_setup.scratchPath, OldPart(), m_report))
        return;
    m_appendRecording = true;
    m_newPart = false;
    m_audioChangedBeforeAppend = m_audioChanged;
    m_view.EnableRecord(false);
    OnRecord();
    m_view.SetAppendCaption("Stop Append Recording");
}

void CEditSession::FinishAppend(std::function<void()> then)
{
    m_appendRecording = false;
    m_view.EnableRecord(true);
    auto join = [this, then] {
        JoinAppendParts();
        if (then)
            then();
    };
    // The new part is joined once it is saved.
    if (State() == AudioRecording)
        StopRunning(join);
    else
        join();
}

void CEditSession::JoinAppendParts()
{
    m_view.SetAppendCaption("Append Recording");
    if (!m_newPart) {
        // Nothing new was recorded (or it could not be saved): the old part
        // becomes the scratch file again.
        ::unlink(m_setup.scratchPath.c_str());
        CAudioEdit::MoveFile(OldPart(), m_setup.scratchPath, m_report);
    } else {
        m_newPart = false;
        ::unlink(NewPart().c_str());
        // The join reads both parts whole before it writes: where the new
        // part cannot be moved aside, it is read from the scratch file.
        std::string second = NewPart();
        int error = 0;
        if (!CAtomicFile::Move(m_setup.scratchPath.c_str(), second.c_str(), error))
            second = m_setup.scratchPath;
        // No space test for a part that the countdown already held to the room.
        if (ConcatenateWavFiles(OldPart(), second, m_setup.scratchPath, 0xFFFFFFFFu)) {
            m_audioChanged = true;
        } else {
            CAudioEdit::MoveFile(OldPart(), m_setup.scratchPath, m_report);  // the old audio, never less
            m_audioChanged = m_audioChangedBeforeAppend;
        }
    }
    Recount();
    UpdateRemaining();
}
