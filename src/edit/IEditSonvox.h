// The calls of the audio library that the edit dialog makes, behind an
// interface: the program binds libsonvox (CEditSonvox), tests hand in a fake
// that records the calls.
#pragma once

#include "RecordProcessingParams.h"

class IEditSonvox {
public:
    virtual ~IEditSonvox() = default;
    // Non-zero: a recording has started.
    virtual int Record() = 0;
    // Non-zero: a recording was captured and may be saved.
    virtual int Stop() = 0;
    // Writes the capture, processed with the four parameters, to path and
    // fills the three results. 0 when it failed: the file is then gone.
    virtual int Save(const char* path, RecordProcessingParams& params) = 0;
    virtual void PreviewCancel() = 0;
    // Non-zero when the file was loaded for playing.
    virtual int LoadPlay(const char* path) = 0;
    // Milliseconds of the loaded file; 0 means nothing to play.
    virtual unsigned GetDuration() = 0;
    // Starts playing the loaded file; returns at once.
    virtual void Preview() = 0;
    // Peak (0-32767) of the oldest captured block into *peak; 0 and *peak
    // untouched when no block is waiting, -1 when the recording has ended by
    // itself (the microphone was lost): Stop keeps what was recorded.
    virtual int MeterGetPeak(int* peak) = 0;
};
