// No sound device layer: nothing can record or play, and Audio_Init fails at
// the choice of recording format.
#include "Engine.h"

bool EnginePrepareRecorder()
{
    return true;
}
// No capability request can be made, so no format flag is present.
bool EngineSelectRecordingFormat()
{
    return false;
}
const char* EngineLastFormatErrorText()
{
    return "<Unknown Error>";
}
bool EngineStartPlayback()
{
    return false;
}
void EngineStopPlayback() { }
void EngineShutdownRecorder() { }
int EngineRecord()
{
    return 0;
}
int EngineStopRecording()
{
    return 0;
}
bool EngineInputLost()
{
    return false;
}
int EngineSave(const char*, double, double, double, int, double*, double*, double*)
{
    return 0;
}
int EnginePreview()
{
    return 0;
}
void EngineCancelPlayback() { }
bool EngineOutputLost()
{
    return false;
}
void EngineChooseDevices() { }
