// The audio library Sonvox, as the main panel calls it.
#pragma once

#include "ISonvoxApi.h"

class CSonvoxApi : public ISonvoxApi {
public:
    int Init(const char* logPath) override;
    void Release() override;
    void PreviewCancel() override;
    int LoadPlay(const char* path) override;
    unsigned GetDuration() override;
    void Preview() override;
};
