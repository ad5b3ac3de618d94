#include "CFileDevice.h"

#include <cerrno>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {
// How much audio the input device keeps while no buffer is queued.
constexpr uint64_t kRingMs = 200;
}  // namespace

CFileDevice::CFileDevice(SoundDirection direction, std::string path) : CSoundDevice(direction), m_path(std::move(path))
{
}

CFileDevice::~CFileDevice()
{
    Close();
}

int CFileDevice::Capabilities(uint32_t& flags)
{
    flags = 0;
    if (m_path.empty())
        return kSoundNoDevice;
    flags = kFormat11M08 | kFormat11S08 | kFormat11M16 | kFormat11S16 | kFormat22M08 | kFormat22S08 | kFormat22M16 |
            kFormat22S16 | kFormat44M08 | kFormat44S08 | kFormat44M16 | kFormat44S16;
    return kSoundOk;
}

int CFileDevice::QueryFormat(const SoundFormat& f)
{
    if (m_path.empty())
        return kSoundNoDevice;
    if (Direction() == SoundDirection::Input && access(m_path.c_str(), R_OK) != 0)
        return kSoundNoDevice;
    if ((f.bitsPerSample != 8 && f.bitsPerSample != 16) || f.channels < 1 || f.channels > 2 || f.samplesPerSec < 4000 ||
        f.samplesPerSec > 192000)
        return kSoundBadFormat;
    return kSoundOk;
}

int CFileDevice::Open(const SoundFormat& format, SoundCallback callback, void* context)
{
    if (IsOpen())
        return kSoundAlreadyOpen;
    int q = QueryFormat(format);
    if (q != kSoundOk)
        return q;
    std::string error;
    if (Direction() == SoundDirection::Input) {
        if (!m_source.Load(m_path, format, error)) {
            m_lastError = error;
            return kSoundBackendError;
        }
    } else if (!m_out.Open(m_path, format)) {
        m_lastError = "cannot write " + m_path + ": " + strerror(errno);
        return kSoundBackendError;
    }
    std::lock_guard<std::mutex> lk(m_lock);
    m_format = format;
    m_callback = callback;
    m_context = context;
    m_queue.clear();
    m_capturing = false;
    m_framesDone = 0;
    m_headStarted = false;
    m_lastEnd = Clock::now();
    m_quit = false;
    m_open = true;
    m_thread = std::thread(&CFileDevice::Run, this);
    pthread_setname_np(m_thread.native_handle(),
                       Direction() == SoundDirection::Input ? "sonvox-filein" : "sonvox-fileout");
    return kSoundOk;
}

bool CFileDevice::IsOpen() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_open;
}

int CFileDevice::Queue(SoundBuffer* buffer)
{
    if (!buffer || !buffer->data)
        return kSoundInvalidParam;
    if (!(buffer->flags & kBufferPrepared))
        return kSoundNotPrepared;
    std::lock_guard<std::mutex> lk(m_lock);
    if (!m_open)
        return kSoundNotOpen;
    if (buffer->flags & kBufferQueued)
        return kSoundStillQueued;
    buffer->flags = (buffer->flags | kBufferQueued) & ~kBufferDone;
    if (Direction() == SoundDirection::Input) {
        buffer->bytesRecorded = 0;
        m_queue.push_back(buffer);
    } else {
        Clock::time_point now = Clock::now();
        if (m_queue.empty() && m_lastEnd < now)
            m_lastEnd = now;  // the device was idle
        m_queue.push_back(buffer);
        PlayUpTo(now, false);
    }
    m_wake.notify_all();
    return kSoundOk;
}

int CFileDevice::Start()
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (!m_open)
        return kSoundNotOpen;
    if (Direction() == SoundDirection::Input && !m_capturing) {
        m_capturing = true;
        m_t0 = Clock::now();
        m_framesDone = 0;
        m_wake.notify_all();
    }
    return kSoundOk;
}

int CFileDevice::Reset()
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (!m_open)
        return kSoundNotOpen;
    if (Direction() == SoundDirection::Input) {
        if (m_capturing)
            CaptureUpTo(Clock::now());
        m_capturing = false;
    }
    while (!m_queue.empty()) {
        SoundBuffer* b = m_queue.front();
        m_queue.pop_front();
        Complete(b);
    }
    m_headStarted = false;
    m_lastEnd = Clock::now();
    return kSoundOk;
}

int CFileDevice::Close()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (!m_open)
            return kSoundOk;
    }
    Reset();
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_quit = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lk(m_lock);
    m_out.Close();
    m_open = false;
    m_callback = nullptr;
    return kSoundOk;
}

std::string CFileDevice::ErrorText(int result) const
{
    if (result == kSoundBackendError) {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_lastError.empty() ? "File device error" : m_lastError;
    }
    return StandardErrorText(result);
}

void CFileDevice::Complete(SoundBuffer* b)
{
    b->flags = (b->flags & ~kBufferQueued) | kBufferDone;
    if (m_callback)
        m_callback(m_context, b);
}

CFileDevice::Clock::duration CFileDevice::FramesToDuration(uint64_t frames) const
{
    using namespace std::chrono;
    return duration_cast<Clock::duration>(nanoseconds(frames * 1000000000ull / m_format.samplesPerSec));
}

void CFileDevice::CaptureUpTo(Clock::time_point now)
{
    if (!m_capturing || now <= m_t0)
        return;
    uint64_t ns = uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_t0).count());
    // ns * rate stays far below 2^64 for any recording length that matters.
    uint64_t due = uint64_t((unsigned __int128)ns * m_format.samplesPerSec / 1000000000ull);
    uint16_t align = m_format.BlockAlign();
    while (m_framesDone < due) {
        if (m_queue.empty()) {
            // Like a sound card, the device holds what it captured in its
            // own ring until a buffer comes; what overflows the ring is lost.
            uint64_t ring = uint64_t(m_format.samplesPerSec) * kRingMs / 1000;
            uint64_t pending = due - m_framesDone;
            if (pending > ring) {
                m_source.Skip(pending - ring);
                m_framesDone += pending - ring;
            }
            break;
        }
        SoundBuffer* head = m_queue.front();
        uint64_t room = (head->bufferLength - head->bytesRecorded) / align;
        uint64_t n = std::min<uint64_t>(room, due - m_framesDone);
        m_source.Take(head->data + head->bytesRecorded, uint32_t(n));
        head->bytesRecorded += uint32_t(n * align);
        m_framesDone += n;
        if (n == room) {
            m_queue.pop_front();
            Complete(head);
        }
    }
}

void CFileDevice::PlayUpTo(Clock::time_point now, bool complete)
{
    while (!m_queue.empty()) {
        SoundBuffer* head = m_queue.front();
        if (!m_headStarted) {
            if (now < m_lastEnd)
                return;
            m_out.Append(head->data, head->bufferLength);
            m_headStarted = true;
            m_headEnd = m_lastEnd + FramesToDuration(head->bufferLength / m_format.BlockAlign());
        }
        if (!complete || now < m_headEnd)
            return;
        m_queue.pop_front();
        m_headStarted = false;
        m_lastEnd = m_headEnd;
        Complete(head);
    }
}

CFileDevice::Clock::time_point CFileDevice::NextEvent() const
{
    Clock::time_point idle = Clock::now() + std::chrono::milliseconds(50);
    if (m_queue.empty())
        return idle;
    if (Direction() == SoundDirection::Input) {
        if (!m_capturing)
            return idle;
        SoundBuffer* head = m_queue.front();
        uint64_t room = (head->bufferLength - head->bytesRecorded) / m_format.BlockAlign();
        return m_t0 + FramesToDuration(m_framesDone + room);
    }
    return m_headStarted ? m_headEnd : m_lastEnd;
}

void CFileDevice::Run()
{
    // A sound card keeps its pace whatever the processor does; so does this
    // device where the process may have real-time scheduling.
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

    std::unique_lock<std::mutex> lk(m_lock);
    while (!m_quit) {
        Clock::time_point now = Clock::now();
        if (Direction() == SoundDirection::Input)
            CaptureUpTo(now);
        else
            PlayUpTo(now, true);
        m_wake.wait_until(lk, NextEvent());
    }
}
