#include "CSonvoxApi.h"

#include "sonvox.h"

int CSonvoxApi::Init(const char* logPath)
{
    // The first argument is ignored by the library.
    return Audio_Init(0, logPath, 1);
}
void CSonvoxApi::Release()
{
    Audio_Release();
}
void CSonvoxApi::PreviewCancel()
{
    ::PreviewCancel();
}
int CSonvoxApi::LoadPlay(const char* path)
{
    return ::LoadPlay(path);
}
unsigned CSonvoxApi::GetDuration()
{
    return ::GetDuration();
}
void CSonvoxApi::Preview()
{
    ::Preview();
}
