#include "CSonvoxApi.h"

#ifdef ORMID_HAVE_SONVOX
#include "sonvox.h"

int CSonvoxApi::Init(const char* logPath)
{
    // The first argument is ignored by the library.
    return Audio_Init(0, logPath, 1);
}
void CSonvoxApi::Release() { Audio_Release(); }
void CSonvoxApi::PreviewCancel() { ::PreviewCancel(); }
int CSonvoxApi::LoadPlay(const char* path) { return ::LoadPlay(path); }
unsigned CSonvoxApi::GetDuration() { return ::GetDuration(); }
void CSonvoxApi::Preview() { ::Preview(); }

#else
// Built without the audio library: audio is never available, so the panel
// reports "Sonvox not available" and never calls the rest.
int CSonvoxApi::Init(const char*) { return 0; }
void CSonvoxApi::Release() {}
void CSonvoxApi::PreviewCancel() {}
int CSonvoxApi::LoadPlay(const char*) { return 0; }
unsigned CSonvoxApi::GetDuration() { return 0; }
void CSonvoxApi::Preview() {}
#endif
