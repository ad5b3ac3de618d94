// The device side of the exports: one recorder, one playback thread and the
// choice of recording format, over the device layer.
#include "Engine.h"

#include "CAudioLog.h"
#include "CPlayThread.h"
#include "CWaveRecorder.h"
#include "Processing.h"
#include "SonvoxState.h"
#include "devices/CSoundDevice.h"
#include "devices/CSoundDeviceList.h"
#include "devices/PortAudioRuntime.h"
#include "sonvox.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const char* const kLogUnit = "AudioAPI";
// Longest wait for the playback thread to end; past it the thread is left
// running on memory that is then never freed.
constexpr unsigned kPlaybackJoinMs = 2000;
// Longest wait for a previous recording to wind down in Record.
constexpr int kRecordIdleWaitMs = 2000;
// Longest wait in Record for the input device to begin delivering. A sound
// server may take a second or two to start a stream (a null sink runs in
// 2 s blocks while nobody listens; a headset changes its profile).
constexpr unsigned kFirstDeliveryWaitMs = 5000;

// Ends the playback thread: drops what is queued, posts the quit request and
// waits (bounded). A thread that does not end keeps its object: its memory
// stays for the rest of the process rather than being freed under it.
void StopPlayer(std::unique_ptr<CPlayThread>& player)
{
    if (!player)
        return;
    // Whatever is still queued would keep the thread busy: drop it first.
    player->Post(CPlayThread::kCancel);
    State().playQueue.Clear();
    if (!player->Quit(kPlaybackJoinMs)) {
        SVLOG("Playback thread did not end");
        player.release();
        return;
    }
    player.reset();
}

struct Engine {
    CWaveRecorder recorder{State().meterTap};
    std::unique_ptr<CPlayThread> player;
    bool backendHeld = false;
    bool formatQueried = false;
    std::string formatError = "<Unknown Error>";

    // A client that ends without Audio_Release: the playback thread is ended
    // here, at the latest, before the rest of the library goes.
    ~Engine() { StopPlayer(player); }
};

Engine& TheEngine()
{
    static Engine engine;
    return engine;
}

// Stores the format as the recording format and asks the input device
// whether it would open in it.
bool TryFormat(uint32_t rate, uint16_t bits)
{
    Engine& e = TheEngine();
    RecordingFormat& f = State().format;
    f = RecordingFormat{rate, bits, 1};
    e.recorder.SetFormat(f.channels, f.sampleRate, f.bitsPerSample);
    int r = e.recorder.QueryFormat();
    e.formatQueried = true;
    e.formatError = e.recorder.LastErrorText();
    return r == kSoundOk;
}

}  // namespace

bool EnginePrepareRecorder()
{
    Engine& e = TheEngine();
    PortAudioSetMessageSink([](const char* message) { LogPrintf("%s", message); });
    if (!e.backendHeld)
        e.backendHeld = SoundBackendStartup();
    return e.recorder.Prepare();
}

bool EngineSelectRecordingFormat()
{
    Engine& e = TheEngine();
    uint32_t flags = 0;
    int r = e.recorder.Capabilities(flags);
    if (r != kSoundOk) {
        e.formatQueried = true;
        e.formatError = e.recorder.LastErrorText();
        return false;
    }
    if (flags & kFormat44M16) {
        if (TryFormat(44100, 16))
            return true;
    }
    if (flags & kFormat44M08)
        return TryFormat(44100, 8);
    if (flags & kFormat22M16)
        return TryFormat(22050, 16);
    if (flags & kFormat22M08)
        return TryFormat(22050, 8);
    if (flags & kFormat11M16)
        return TryFormat(11025, 16);
    if (flags & kFormat11M08)
        return TryFormat(11025, 8);
    return false;
}

void EngineChooseDevices()
{
    if (FileDeviceSelected())
        return;
    for (SoundDirection d : {SoundDirection::Input, SoundDirection::Output}) {
        const bool input = d == SoundDirection::Input;
        const char* wanted = getenv(input ? CSoundDeviceList::kInputVariable : CSoundDeviceList::kOutputVariable);
        SSoundDeviceChoice choice = CSoundDeviceList::Resolve(d, wanted ? wanted : "");
        if (choice.missing)
            SVLOG("Sound %s device \"%s\" not found: the system default is used", input ? "input" : "output", wanted);
        else if (!choice.device.IsDefault())
            SVLOG("Sound %s device: %s", input ? "input" : "output", choice.device.name.c_str());
        ChooseSoundDevice(d, choice.device);
    }
}

const char* EngineLastFormatErrorText()
{
    Engine& e = TheEngine();
    return e.formatQueried ? e.formatError.c_str() : "<Unknown Error>";
}

bool EngineStartPlayback()
{
    Engine& e = TheEngine();
    if (e.player)
        return true;
    auto player = std::make_unique<CPlayThread>(State().playQueue);
    if (!player->Start())
        return false;
    e.player = std::move(player);
    return true;
}

void EngineStopPlayback()
{
    StopPlayer(TheEngine().player);
}

void EngineShutdownRecorder()
{
    Engine& e = TheEngine();
    e.recorder.Shutdown();
    if (e.backendHeld)
        SoundBackendShutdown();
    e.backendHeld = false;
}

int EngineRecord()
{
    Engine& e = TheEngine();
    SonvoxState& st = State();
    if (!st.initialised)
        return 0;
    if (e.recorder.RecordingState() != CWaveRecorder::kIdle) {
        Stop();
        for (int waited = 0; e.recorder.RecordingState() != CWaveRecorder::kIdle && waited < kRecordIdleWaitMs;
             waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const RecordingFormat& f = st.format;
    e.recorder.SetFormat(f.channels, f.sampleRate, f.bitsPerSample);
    if (e.recorder.QueryFormat() != kSoundOk) {
        SVLOG("Unsupported format");
        return 0;
    }
    if (!e.recorder.Start()) {
        SVLOG("%s", e.recorder.LastErrorText().c_str());
        e.recorder.StopDevice();
        return 0;
    }
    // Whoever calls Record shows that recording has begun once it returns:
    // from then on nothing may be lost, so it returns once sound comes.
    if (getenv("NOWAIT") == nullptr && !e.recorder.WaitUntilDelivering(kFirstDeliveryWaitMs)) {
        SVLOG("The input device delivered no sound within %u ms", kFirstDeliveryWaitMs);
        e.recorder.StopDevice();
        return 0;
    }
    return 1;
}

int EngineStopRecording()
{
    Engine& e = TheEngine();
    e.recorder.StopDevice();
    return e.recorder.MakeCapture() && e.recorder.CaptureLength() > 0 ? 1 : 0;
}

bool EngineInputLost()
{
    return TheEngine().recorder.DeviceLost();
}

int EngineSave(const char* path, double timeConstant, double clipAmount, double thresholdFactor, int initialTrim,
               double* gain, double* clip, double* snr)
{
    Engine& e = TheEngine();
    if (!e.recorder.WriteCapture(path))
        return 0;
    if (!Processing(path, timeConstant, clipAmount, thresholdFactor, initialTrim, gain, clip, snr)) {
        unlink(path);
        return 0;
    }
    return 1;
}

int EnginePreview()
{
    Engine& e = TheEngine();
    if (e.recorder.RecordingState() == CWaveRecorder::kRecording)
        e.recorder.StopDevice();
    if (!e.player)
        return 0;
    return e.player->Post(CPlayThread::kPlay) ? 1 : 0;
}

bool EngineOutputLost()
{
    Engine& e = TheEngine();
    return e.player && e.player->OutputLost();
}

void EngineCancelPlayback()
{
    Engine& e = TheEngine();
    if (e.player)
        e.player->Post(CPlayThread::kCancel);
}
