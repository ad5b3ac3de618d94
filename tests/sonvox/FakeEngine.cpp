#include "FakeEngine.h"

#include "Engine.h"
#include "SonvoxState.h"

FakeEngine& Fake()
{
    static FakeEngine f;
    return f;
}

bool EnginePrepareRecorder()
{
    ++Fake().prepareCalls;
    return Fake().prepareOk;
}

bool EngineSelectRecordingFormat()
{
    if (!Fake().formatOk)
        return false;
    State().format = RecordingFormat{22050, 16, 1};
    return true;
}

const char* EngineLastFormatErrorText()
{
    return Fake().formatError.c_str();
}

bool EngineStartPlayback()
{
    ++Fake().startPlaybackCalls;
    return Fake().playbackOk;
}

void EngineStopPlayback()
{
    ++Fake().stopPlaybackCalls;
}
void EngineShutdownRecorder()
{
    ++Fake().shutdownCalls;
}
int EngineRecord()
{
    return Fake().recordResult;
}

int EngineStopRecording()
{
    ++Fake().stopCalls;
    return Fake().stopResult;
}

bool EngineInputLost()
{
    return Fake().inputLost;
}

bool EngineOutputLost()
{
    return false;
}

int EngineSave(const char*, double, double, double, int, double* gain, double* clip, double* snr)
{
    ++Fake().saveCalls;
    *gain = 1.5;
    *clip = 2;
    *snr = 30;
    return Fake().saveResult;
}

int EnginePreview()
{
    ++Fake().previewCalls;
    return Fake().previewResult;
}

void EngineCancelPlayback()
{
    ++Fake().cancelCalls;
}
void EngineChooseDevices() { }
