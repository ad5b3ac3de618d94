// The device side of the library, behind the exports: the recorder, the
// playback thread and the choice of recording format. AudioAPI.cpp keeps the
// argument checks, the queues and the log; these hooks do the device work.
// EngineNull.cpp is the build without a sound device layer.
#pragma once

struct RecordingFormat;

// Audio_Init: allocate the recorder's input buffers and start its poll
// worker suspended. False when that cannot be done.
bool EnginePrepareRecorder();
// Audio_Init: take the devices named in the environment (CSoundDeviceList)
// for the streams opened from now on; a name that is not there is logged and
// the default device used.
void EngineChooseDevices();
// Audio_Init: choose the recording format (stored in State().format, also the
// last one tried on failure). False when no input format can be used.
bool EngineSelectRecordingFormat();
// The input device's error text for the last format query, "<Unknown Error>"
// when there was none.
const char* EngineLastFormatErrorText();
// Audio_Init: start the playback thread. False when it cannot be started.
bool EngineStartPlayback();
// Audio_Release: tell the playback thread to quit and wait for it (bounded).
void EngineStopPlayback();
// Audio_Release: stop any recording, end the poll worker, free the buffers.
void EngineShutdownRecorder();

// Record: 1 when the input device is recording and has begun to deliver, so
// that everything from the return on is in the recording.
int EngineRecord();
// Stop: stop the input device and join the record queue into the capture;
// 1 when a capture of at least one byte was made.
int EngineStopRecording();
// MeterGetPeak: whether the recording ended by itself because the input
// device was lost (until the next Record or Stop).
bool EngineInputLost();
// Save: write the capture to path and process it; the result pointers are
// valid and already zeroed.
int EngineSave(const char* path, double timeConstant, double clipAmount, double thresholdFactor, int initialTrim,
               double* gain, double* clip, double* snr);
// Preview with a non-empty play queue: stop recording, post the play request;
// the result of posting it.
int EnginePreview();
// PreviewCancel: post the cancel request when the playback thread exists.
void EngineCancelPlayback();
// PreviewLost: whether the message last previewed stopped early because the
// output device was lost (until the next Preview or PreviewCancel).
bool EngineOutputLost();
