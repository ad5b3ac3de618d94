// The calls of the audio library Sonvox that the program makes, behind one
// interface: the program binds the real library (CSonvoxLibrary), tests and
// the guide's pictures hand in their own.
#pragma once

#include "RecordProcessingParams.h"

class IAudioLibrary {
public:
    virtual ~IAudioLibrary() = default;

    // Non-zero when audio is usable; logPath names the library's own log.
    virtual int Init(const char* logPath) = 0;
    virtual void Release() = 0;

    // Non-zero: a recording has started.
    virtual int Record() = 0;
    // Non-zero: a recording was captured and may be saved.
    virtual int Stop() = 0;
    // Writes the capture, processed with the four parameters, to path and
    // fills the three results. 0 when it failed: the file is then gone.
    virtual int Save(const char* path, RecordProcessingParams& params) = 0;
    // Peak (0-32767) of the oldest captured block into *peak; 0 and *peak
    // untouched when no block is waiting, -1 when the recording has ended by
    // itself (the microphone was lost): Stop keeps what was recorded.
    virtual int MeterGetPeak(int* peak) = 0;

    virtual void PreviewCancel() = 0;
    // Non-zero when the file was loaded for playing.
    virtual int LoadPlay(const char* path) = 0;
    // Milliseconds of the loaded file; 0 means nothing to play.
    virtual unsigned GetDuration() = 0;
    // Starts playing the loaded file; returns at once.
    virtual void Preview() = 0;
    // Non-zero when what Preview started stopped early because the speaker
    // was lost; a library that cannot tell says 0.
    virtual int PreviewLost() { return 0; }
};
