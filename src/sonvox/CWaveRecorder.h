// Captures the default input device in the recording format. Three 24 ms
// buffers circulate between the device and the poll worker, which copies each
// filled one onto the record queue (and the meter tap) and hands it back.
// Stop joins the record queue into one capture, which WriteCapture saves.
#pragma once

#include "CBlockQueue.h"
#include "CPollWorker.h"
#include "devices/CSoundDevice.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class CMeterTap;

class CWaveRecorder {
public:
    static constexpr int kBufferCount = 3;
    static constexpr uint32_t kBufferBytes = 19200;
    enum { kIdle = 0, kRecording = 2 };

    explicit CWaveRecorder(CMeterTap& meter);
    ~CWaveRecorder();
    CWaveRecorder(const CWaveRecorder&) = delete;
    CWaveRecorder& operator=(const CWaveRecorder&) = delete;

    // Allocates the buffers and starts the worker suspended.
    bool Prepare();
    // Stores the device format; drops the capture and the record queue.
    void SetFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bits);
    const SoundFormat& Format() const { return m_format; }
    // 24 ms of the device format, whole frames.
    uint32_t BufferLength() const;

    // The default input device's supported-format flags; a device result.
    int Capabilities(uint32_t& flags);
    // Whether the input device would open in the device format; a device
    // result, also kept as the last device result.
    int QueryFormat();

    bool Start();
    // After Start: waits until the device delivers sound (bounded).
    bool WaitUntilDelivering(unsigned timeoutMs);
    // Closes the device. The buffers it had filled before are drained into
    // the record queue first, so they belong to this recording.
    int StopDevice();
    bool MakeCapture();
    // Writes the capture as a PCM WAV file. The file appears at path only
    // complete: it is written beside it and renamed into place.
    bool WriteCapture(const char* path);
    // Stops, ends the worker, frees the buffers.
    void Shutdown();

    int RecordingState() const;
    // The recording ended by itself: the input device was lost. What it had
    // delivered is in the record queue, for Stop. Cleared by Start and Stop.
    bool DeviceLost() const { return m_lost.load(); }
    int CaptureLength() const { return m_captureLength; }
    const uint8_t* CaptureData() const { return m_capture.get(); }
    int RecordQueueBytes() const { return m_recordQueue.TotalBytes(); }
    // The device's text for the last device result.
    std::string LastErrorText() const;

private:
    static void DeviceCallback(void* context, SoundBuffer* buffer);
    void HandleBuffer();
    bool Keep(SoundBuffer* buffer, bool toMeter);
    bool CreateWorker();
    // Poll worker: ends the recording when the device is gone.
    bool CheckLost();
    void SetState(int state);
    CSoundDevice& Device();
    void PushFree(SoundBuffer* buffer);
    SoundBuffer* TakeFree();
    SoundBuffer* TakeFilled();

    CMeterTap& m_meter;
    SoundFormat m_format;
    CBlockQueue m_recordQueue;
    BlockData m_capture;
    int m_captureLength = 0;

    std::unique_ptr<CSoundDevice> m_device;
    int m_lastResult = kSoundOk;
    SoundBuffer m_headers[kBufferCount];
    std::mutex m_freeLock;
    std::deque<SoundBuffer*> m_free;
    std::mutex m_filledLock;
    std::deque<SoundBuffer*> m_filled;

    mutable std::mutex m_stateLock;
    int m_state = kIdle;
    std::atomic<bool> m_lost{false};

    CPollWorker m_worker;
};
