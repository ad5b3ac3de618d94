#include "CPreviewPlayer.h"

#include <algorithm>

#include "AudioState.h"
#include "CLogFile.h"
#include "IOperatorReport.h"
#include "TickCount.h"

const char* const CPreviewPlayer::kNotAvailableText = "Sonvox not available - cannot play";
const char* const CPreviewPlayer::kSpeakerLostText = "The speaker stopped playing.";

CPreviewPlayer::CPreviewPlayer(IAudioLibrary& audio, IPlayerView& view, uint8_t& audioState, Clock clock)
    : m_audio(audio), m_view(view), m_audioState(audioState), m_clock(clock ? std::move(clock) : Clock(GetTickCountMs))
{
}

bool CPreviewPlayer::Usable(IOperatorReport& report) const
{
    if (!m_available)
        report.ShowMessage(kNotAvailableText);
    return m_available;
}

bool CPreviewPlayer::Playing() const
{
    return m_audioState == AudioPlaying;
}

CPreviewPlayer::Start CPreviewPlayer::Play(const std::string& path)
{
    m_audio.PreviewCancel();
    if (!m_audio.LoadPlay(path.c_str()))
        return Start::LoadFailed;
    const unsigned duration = m_audio.GetDuration();
    TheLog().Write("Duration of file is %d ms\n", int(duration));
    if (duration == 0)
        return Start::Empty;
    m_audioState = AudioPlaying;
    m_view.SetPlaying(true);
    m_start = m_clock();
    m_duration = duration;
    m_view.StartTimer(kTickMs);
    m_audio.Preview();
    return Start::Playing;
}

uint32_t CPreviewPlayer::ElapsedMs() const
{
    return Playing() ? std::min(uint32_t(m_clock() - m_start), m_duration) : 0;
}

void CPreviewPlayer::Tick(IOperatorReport& report)
{
    if (!Playing())
        return;
    if (m_audio.PreviewLost()) {
        // Stopped first: the message box must not find the state still playing.
        Stop();
        report.ShowMessage(kSpeakerLostText);
        return;
    }
    if (uint32_t(m_clock() - m_start) > m_duration)
        Stop();
}

void CPreviewPlayer::Stop()
{
    if (!Playing())
        return;
    m_audio.PreviewCancel();
    m_audioState = AudioIdle;
    m_view.SetPlaying(false);
    m_view.StopTimer();
}
