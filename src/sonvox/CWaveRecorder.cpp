#include "CWaveRecorder.h"

#include "CAudioLog.h"
#include "CMeterTap.h"
#include "CWaveFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* const kLogUnit = "WaveIn";
}

CWaveRecorder::CWaveRecorder(CMeterTap& meter) : m_meter(meter) { }

CWaveRecorder::~CWaveRecorder()
{
    Shutdown();
}

bool CWaveRecorder::Prepare()
{
    for (SoundBuffer& h : m_headers) {
        if (h.data)
            continue;
        h = SoundBuffer{};
        h.data = new (std::nothrow) uint8_t[kBufferBytes];
        if (!h.data)
            return false;
        std::lock_guard<std::mutex> lk(m_freeLock);
        m_free.push_front(&h);
    }
    return CreateWorker();
}

bool CWaveRecorder::CreateWorker()
{
    return m_worker.Create([this] { HandleBuffer(); });
}

void CWaveRecorder::SetFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bits)
{
    m_format = SoundFormat{samplesPerSec, bits, channels};
    m_capture.reset();
    m_captureLength = 0;
    if (!m_recordQueue.IsEmpty())
        m_recordQueue.Clear();
}

uint32_t CWaveRecorder::BufferLength() const
{
    auto frames = uint32_t(float(m_format.samplesPerSec) * 0.024f);
    return frames * m_format.BlockAlign();
}

CSoundDevice& CWaveRecorder::Device()
{
    // A closed device is made anew, so the backend is chosen afresh.
    if (!m_device || !m_device->IsOpen())
        m_device = CreateSoundDevice(SoundDirection::Input);
    return *m_device;
}

int CWaveRecorder::Capabilities(uint32_t& flags)
{
    m_lastResult = Device().Capabilities(flags);
    return m_lastResult;
}

int CWaveRecorder::QueryFormat()
{
    m_lastResult = Device().QueryFormat(m_format);
    return m_lastResult;
}

std::string CWaveRecorder::LastErrorText() const
{
    if (!m_device)
        return "<Unknown Error>";
    return m_device->ErrorText(m_lastResult);
}

int CWaveRecorder::RecordingState() const
{
    std::lock_guard<std::mutex> lk(m_stateLock);
    return m_state;
}

void CWaveRecorder::SetState(int state)
{
    std::lock_guard<std::mutex> lk(m_stateLock);
    m_state = state;
}

void CWaveRecorder::PushFree(SoundBuffer* b)
{
    std::lock_guard<std::mutex> lk(m_freeLock);
    m_free.push_back(b);
}

SoundBuffer* CWaveRecorder::TakeFree()
{
    std::lock_guard<std::mutex> lk(m_freeLock);
    if (m_free.empty())
        return nullptr;
    SoundBuffer* b = m_free.front();
    m_free.pop_front();
    return b;
}

SoundBuffer* CWaveRecorder::TakeFilled()
{
    std::lock_guard<std::mutex> lk(m_filledLock);
    if (m_filled.empty())
        return nullptr;
    SoundBuffer* b = m_filled.front();
    m_filled.pop_front();
    return b;
}

void CWaveRecorder::DeviceCallback(void* context, SoundBuffer* b)
{
    auto* self = static_cast<CWaveRecorder*>(context);
    if (b->bytesRecorded > 0) {
        std::lock_guard<std::mutex> lk(self->m_filledLock);
        self->m_filled.push_back(b);
    } else {
        self->PushFree(b);
    }
}

bool CWaveRecorder::Start()
{
    uint32_t length = BufferLength();
    uint8_t fill = m_format.bitsPerSample == 8 ? 0x80 : 0;
    if (RecordingState() != kIdle)
        return false;
    if (m_device && m_device->IsOpen())
        StopDevice();
    if (length == 0 || length > kBufferBytes) {
        m_lastResult = kSoundBadFormat;
        return false;
    }

    CSoundDevice& dev = Device();
    m_lastResult = dev.Open(m_format, &CWaveRecorder::DeviceCallback, this);
    if (m_lastResult != kSoundOk) {
        SetState(kIdle);
        return false;
    }
    while (SoundBuffer* b = TakeFree()) {
        if (b->flags & kBufferPrepared)
            m_lastResult = dev.Unprepare(b);
        if (m_lastResult == kSoundOk) {
            memset(b->data, fill, length);
            b->bufferLength = length;
            b->bytesRecorded = 0;
            b->user = nullptr;
            b->loops = 0;
            b->flags = 0;
            m_lastResult = dev.Prepare(b);
        }
        if (m_lastResult == kSoundOk)
            m_lastResult = dev.Queue(b);
        if (m_lastResult != kSoundOk) {
            PushFree(b);
            SetState(kIdle);
            return false;
        }
    }
    if (!m_worker.IsRunning() && !CreateWorker()) {
        m_lastResult = kSoundNoMemory;
        SetState(kIdle);
        return false;
    }
    m_lastResult = dev.Start();
    if (m_lastResult != kSoundOk) {
        SetState(kIdle);
        return false;
    }
    m_lost = false;
    m_worker.Resume();
    SetState(kRecording);
    return true;
}

bool CWaveRecorder::WaitUntilDelivering(unsigned timeoutMs)
{
    return m_device && m_device->IsOpen() && m_device->WaitUntilDelivering(timeoutMs);
}

bool CWaveRecorder::Keep(SoundBuffer* b, bool toMeter)
{
    if (toMeter)
        m_meter.PushCopy(b->data, int(b->bytesRecorded));
    BlockData copy = AllocBlock(b->bytesRecorded);
    if (!copy)
        return false;
    memcpy(copy.get(), b->data, b->bytesRecorded);
    return m_recordQueue.PushBack(std::move(copy), int(b->bytesRecorded));
}

bool CWaveRecorder::CheckLost()
{
    if (m_lost)
        return true;
    if (RecordingState() != kRecording || !m_device->Lost())
        return false;
    // As Stop would: what was delivered whole is kept, the recording ends.
    // The device itself is closed by Stop (or the next Record), from the
    // client's thread: this thread may not wait for itself.
    while (SoundBuffer* b = TakeFilled()) {
        if (b->bytesRecorded == b->bufferLength)
            Keep(b, false);
        b->bytesRecorded = 0;
        PushFree(b);
    }
    LogPrintf("Sound input device lost: %s", m_device->Name().c_str());
    m_lost = true;
    SetState(kIdle);
    return true;
}

void CWaveRecorder::HandleBuffer()
{
    if (!m_device || !m_device->IsOpen() || CheckLost())
        return;
    SoundBuffer* b = TakeFilled();
    if (!b)
        return;
    CSoundDevice& dev = *m_device;
    if (b->flags & kBufferPrepared) {
        int r = dev.Unprepare(b);
        if (r != kSoundOk) {
            LogPrintf("%s line: %d - %s", kLogUnit, __LINE__, dev.ErrorText(r).c_str());
            return;
        }
    }
    Keep(b, m_meter.IsEnabled() != 0);
    b->bytesRecorded = 0;
    b->flags = 0;
    b->bufferLength = BufferLength();
    b->loops = 0;
    b->user = this;
    int r = dev.Prepare(b);
    if (r == kSoundOk)
        r = dev.Queue(b);
    if (r != kSoundOk)
        LogPrintf("%s line: %d - %s", kLogUnit, __LINE__, dev.ErrorText(r).c_str());
}

int CWaveRecorder::StopDevice()
{
    if (!m_device || !m_device->IsOpen())
        return 1;
    m_worker.Suspend();
    m_device->Reset();
    const std::string loss = m_device->LossReport();
    if (!loss.empty())
        LogPrintf("%s line: %d - %s", kLogUnit, __LINE__, loss.c_str());
    m_device->Close();
    m_lost = false;
    // What the device delivered before the stop belongs to this recording;
    // the buffer it was filling when reset comes back part-filled and is
    // dropped, as it was never delivered.
    while (SoundBuffer* b = TakeFilled()) {
        if (b->bytesRecorded == b->bufferLength)
            Keep(b, false);
        b->bytesRecorded = 0;
        PushFree(b);
    }
    SetState(kIdle);
    return 1;
}

bool CWaveRecorder::MakeCapture()
{
    if (m_recordQueue.IsEmpty())
        return false;
    m_capture.reset();
    m_captureLength = 0;
    int total = m_recordQueue.TotalBytes();
    BlockData all = AllocBlock(size_t(total));
    if (!all) {
        m_recordQueue.Clear();
        return false;
    }
    memset(all.get(), 0, size_t(total));
    int at = 0;
    m_recordQueue.ResetCursor();
    for (BlockView v = m_recordQueue.NextAtCursor(); v.data; v = m_recordQueue.NextAtCursor()) {
        if (at + v.length > total)
            break;
        memcpy(all.get() + at, v.data, size_t(v.length));
        at += v.length;
    }
    m_capture = std::move(all);
    m_captureLength = total;
    return true;
}

bool CWaveRecorder::WriteCapture(const char* path)
{
    if (!path || !*path || !m_capture || m_captureLength < 1)
        return false;
    // Replaced only once complete: a failure leaves the old file.
    CWaveFile wav;
    bool ok = wav.OpenWrite(path, 1, m_format.samplesPerSec, m_format.bitsPerSample, m_format.channels) &&
              wav.Write(m_capture.get(), unsigned(m_captureLength)) == unsigned(m_captureLength);
    return wav.CloseWrite() == 1 && ok;
}

void CWaveRecorder::Shutdown()
{
    StopDevice();
    m_worker.End();
    // The device is closed and the worker gone: nobody else touches the lists.
    {
        std::lock_guard<std::mutex> lk(m_filledLock);
        m_filled.clear();
    }
    std::lock_guard<std::mutex> lk(m_freeLock);
    m_free.clear();
    for (SoundBuffer& h : m_headers) {
        delete[] h.data;
        h = SoundBuffer{};
    }
}
