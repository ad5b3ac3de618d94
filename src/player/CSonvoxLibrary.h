// IAudioLibrary bound to the audio library libsonvox.
#pragma once

#include "IAudioLibrary.h"

class CSonvoxLibrary : public IAudioLibrary {
public:
    int Init(const char* logPath) override;
    void Release() override;
    int Record() override;
    int Stop() override;
    int Save(const char* path, RecordProcessingParams& params) override;
    int MeterGetPeak(int* peak) override;
    void PreviewCancel() override;
    int LoadPlay(const char* path) override;
    unsigned GetDuration() override;
    void Preview() override;
    int PreviewLost() override;
};
