// Plays one WAV file through the audio library, as the main panel's Preview
// and Edit Message's Play both do: cancel what plays, load the file, start
// it, and stop once its duration has passed on the clock (the library gives
// no word when it is done). The audio state it keeps is the one the program
// shares, so that only one activity runs at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "IAudioLibrary.h"
#include "IPlayerView.h"

class IOperatorReport;

class CPreviewPlayer {
public:
    using Clock = std::function<uint32_t()>;  // millisecond tick count

    static constexpr unsigned kTickMs = 50;
    static const char* const kNotAvailableText;  // "Sonvox not available - cannot play"
    static const char* const kSpeakerLostText;   // "The speaker stopped playing."

    enum class Start { Playing, LoadFailed, Empty };

    // audioState is the shared one (AudioState); clock defaults to the
    // system's tick count.
    CPreviewPlayer(IAudioLibrary& audio, IPlayerView& view, uint8_t& audioState, Clock clock = Clock());

    // Whether the audio library started; Usable tells the operator when not.
    void SetAvailable(bool available) { m_available = available; }
    bool Available() const { return m_available; }
    bool Usable(IOperatorReport& report) const;

    // Plays path from its start. Playing: the view shows it and the timer
    // runs; otherwise nothing plays and the state is unchanged.
    Start Play(const std::string& path);
    bool Playing() const;
    // Milliseconds since the playing started; 0 when nothing plays.
    uint32_t ElapsedMs() const;
    // The timer's step: stops once the file has played out, or at once when
    // the speaker was lost, which report then tells the operator.
    void Tick(IOperatorReport& report);
    // Ends the playing (nothing happens when nothing plays).
    void Stop();

private:
    IAudioLibrary& m_audio;
    IPlayerView& m_view;
    uint8_t& m_audioState;
    Clock m_clock;
    bool m_available = true;
    uint32_t m_start = 0;
    uint32_t m_duration = 0;
};
