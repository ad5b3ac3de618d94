// The edit dialog's calls bound to the audio library libsonvox.
#pragma once

#include "IEditSonvox.h"

class CEditSonvox : public IEditSonvox {
public:
    int Record() override;
    int Stop() override;
    int Save(const char* path, RecordProcessingParams& params) override;
    void PreviewCancel() override;
    int LoadPlay(const char* path) override;
    unsigned GetDuration() override;
    void Preview() override;
    int MeterGetPeak(int* peak) override;
};
