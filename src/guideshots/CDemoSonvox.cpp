#include "CDemoSonvox.h"

int CDemoSonvox::Save(const char*, RecordProcessingParams&)
{
    return 0;  // nothing was captured, so nothing is written
}

int CDemoSonvox::LoadPlay(const char*)
{
    return 0;
}

int CDemoSonvox::MeterGetPeak(int* peak)
{
    *peak = m_peak;
    return 1;
}
