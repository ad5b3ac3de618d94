// What the preview player asks of the window that shows it: the play
// button's caption and the timer that ends the playing.
#pragma once

class IPlayerView {
public:
    virtual ~IPlayerView() = default;
    // Playing: the play button reads "Stop"; else its own caption again.
    virtual void SetPlaying(bool playing) = 0;
    // The window's timer, which calls CPreviewPlayer::Tick.
    virtual void StartTimer(unsigned periodMs) = 0;
    virtual void StopTimer() = 0;
};
