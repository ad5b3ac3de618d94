// The audio library as the guide's pictures need it: a microphone that
// always answers with one steady level and a recording that captures
// nothing, so that the "Edit Message" window can be shown recording on a
// build machine without any sound device, the same on every build.
#pragma once

#include "IAudioLibrary.h"

class CDemoSonvox : public IAudioLibrary {
public:
    // The peak every captured block reports, 0-32767.
    explicit CDemoSonvox(int peak) : m_peak(peak) { }

    int Init(const char*) override { return 1; }
    void Release() override { }
    int Record() override { return 1; }
    int Stop() override { return 0; }
    int Save(const char* path, RecordProcessingParams& params) override;
    void PreviewCancel() override { }
    int LoadPlay(const char* path) override;
    unsigned GetDuration() override { return 0; }
    void Preview() override { }
    int MeterGetPeak(int* peak) override;

private:
    int m_peak;
};
