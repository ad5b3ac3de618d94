#include "CSonvoxLibrary.h"

#include "sonvox.h"

int CSonvoxLibrary::Init(const char* logPath)
{
    // The first argument is ignored by the library.
    return Audio_Init(0, logPath, 1);
}

void CSonvoxLibrary::Release()
{
    Audio_Release();
}

int CSonvoxLibrary::Record()
{
    return ::Record();
}

int CSonvoxLibrary::Stop()
{
    return ::Stop();
}

int CSonvoxLibrary::Save(const char* path, RecordProcessingParams& p)
{
    return ::Save(path, p.timeConstant, p.clipAmount, p.thresholdFactor, p.initialTrim, &p.gain, &p.clipCount, &p.snr);
}

int CSonvoxLibrary::MeterGetPeak(int* peak)
{
    return ::MeterGetPeak(peak);
}

void CSonvoxLibrary::PreviewCancel()
{
    ::PreviewCancel();
}

int CSonvoxLibrary::LoadPlay(const char* path)
{
    return ::LoadPlay(path);
}

unsigned CSonvoxLibrary::GetDuration()
{
    return ::GetDuration();
}

void CSonvoxLibrary::Preview()
{
    ::Preview();
}

int CSonvoxLibrary::PreviewLost()
{
    return ::PreviewLost();
}
