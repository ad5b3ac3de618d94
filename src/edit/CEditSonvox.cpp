#include "CEditSonvox.h"

#include "sonvox.h"

int CEditSonvox::Record()
{
    return ::Record();
}
int CEditSonvox::Stop()
{
    return ::Stop();
}

int CEditSonvox::Save(const char* path, RecordProcessingParams& p)
{
    return ::Save(path, p.timeConstant, p.clipAmount, p.thresholdFactor, p.initialTrim, &p.gain, &p.clipCount, &p.snr);
}

void CEditSonvox::PreviewCancel()
{
    ::PreviewCancel();
}
int CEditSonvox::LoadPlay(const char* path)
{
    return ::LoadPlay(path);
}
unsigned CEditSonvox::GetDuration()
{
    return ::GetDuration();
}
void CEditSonvox::Preview()
{
    ::Preview();
}
int CEditSonvox::MeterGetPeak(int* peak)
{
    return ::MeterGetPeak(peak);
}
