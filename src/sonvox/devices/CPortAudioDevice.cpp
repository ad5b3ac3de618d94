#include "CPortAudioDevice.h"

#include "CModulePin.h"
#include "CQuietStderr.h"
#include "CStderrTap.h"
#include "PortAudioRuntime.h"

#include <pa_linux_alsa.h>
#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

std::mutex g_backendLock;
int g_backendHolds = 0;  // BackendStartup calls not yet matched by BackendShutdown

// The devices chosen for each direction (Use); empty: the default device.
std::mutex g_choiceLock;
SSoundDeviceEntry g_chosen[2];

SSoundDeviceEntry& Chosen(SoundDirection d)
{
    return g_chosen[d == SoundDirection::Input ? 0 : 1];
}

int StreamCallback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags flags, void* user)
{
    return static_cast<CPortAudioDevice*>(user)->Process(input, output, frames, flags);
}

void StreamFinished(void* user)
{
    static_cast<CPortAudioDevice*>(user)->Finished();
}

const uint32_t kStandardRates[] = {11025, 22050, 44100};
// Latency asked of the sound system: buffers that ride out a busy machine.
// Record waits for the first sound; playback starts behind the silence that
// fills the output buffer at the start (see Open).
constexpr double kInputLatency = 0.2;
constexpr double kOutputLatency = 0.2;
// Output starts once this much more than the sound system's buffer is
// queued, and at the latest at the most a player queues (20 chunks of 30 ms).
constexpr double kStartMarginMs = 100;
constexpr double kMostQueuedMs = 540;
// Capture kept while no buffer is queued (the poll worker is late).
constexpr size_t kRingSeconds = 2;
// A running stream whose callback has not run for twice its buffer, and at
// least this long, has lost its device.
constexpr double kLeastStallMs = 1000;

}  // namespace

bool CPortAudioDevice::BackendStartup()
{
    std::lock_guard<std::mutex> lk(g_backendLock);
    if (PortAudioStart() != paNoError)
        return false;
    ++g_backendHolds;
    return true;
}

void CPortAudioDevice::BackendShutdown()
{
    std::lock_guard<std::mutex> lk(g_backendLock);
    if (g_backendHolds == 0)
        return;
    --g_backendHolds;
    PortAudioStop();
}

void CPortAudioDevice::Use(SoundDirection direction, const SSoundDeviceEntry& device)
{
    std::lock_guard<std::mutex> lk(g_choiceLock);
    Chosen(direction) = device;
}

CPortAudioDevice::CPortAudioDevice(SoundDirection direction) : CSoundDevice(direction) { }

CPortAudioDevice::~CPortAudioDevice()
{
    Close();
    Terminate();
}

bool CPortAudioDevice::Initialise()
{
    if (m_initialised)
        return true;
    std::string error;
    if (PortAudioStart(&error) != paNoError) {
        std::lock_guard<std::mutex> lk(m_lock);
        m_lastError = error;
        return false;
    }
    m_initialised = true;
    return true;
}

void CPortAudioDevice::Terminate()
{
    if (!m_initialised)
        return;
    PortAudioStop();
    m_initialised = false;
}

int CPortAudioDevice::Fail(int paError)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_lastError = Pa_GetErrorText(PaError(paError));
    return kSoundBackendError;
}

int CPortAudioDevice::FillParameters(const SoundFormat& f, void* out)
{
    auto* p = static_cast<PaStreamParameters*>(out);
    memset(p, 0, sizeof *p);
    const bool input = Direction() == SoundDirection::Input;
    SSoundDeviceEntry chosen;
    {
        std::lock_guard<std::mutex> lk(g_choiceLock);
        chosen = Chosen(Direction());
    }
    const PaDeviceIndex fallback = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    p->device = fallback;
    m_name = chosen.name.empty() ? "System default" : chosen.name;
    m_serverSource = chosen.serverName;
    m_watchDefault = chosen.IsDefault();
    if (!chosen.portAudioName.empty()) {
        // Found by name: the numbers change whenever PortAudio starts anew.
        for (PaDeviceIndex i = 0, n = Pa_GetDeviceCount(); i < n; ++i) {
            const PaDeviceInfo* d = Pa_GetDeviceInfo(i);
            if (d && chosen.portAudioName == d->name && (input ? d->maxInputChannels : d->maxOutputChannels) > 0) {
                p->device = i;
                break;
            }
        }
    }
    if (!chosen.alsaName.empty()) {
        // A device of the sound server, reached through ALSA's plugin for it.
        PaAlsa_InitializeStreamInfo(&m_alsaInfo);
        m_alsaName = chosen.alsaName;
        m_alsaInfo.deviceString = m_alsaName.c_str();
        p->device = paUseHostApiSpecificDeviceSpecification;
        p->hostApiSpecificStreamInfo = &m_alsaInfo;
    } else if (p->device == paNoDevice || !Pa_GetDeviceInfo(p->device)) {
        return kSoundNoDevice;
    }
    if (f.bitsPerSample == 8)
        p->sampleFormat = paUInt8;
    else if (f.bitsPerSample == 16)
        p->sampleFormat = paInt16;
    else
        return kSoundBadFormat;
    p->channelCount = f.channels;
    p->suggestedLatency = input ? kInputLatency : kOutputLatency;
    return kSoundOk;
}

int CPortAudioDevice::Capabilities(uint32_t& flags)
{
    flags = 0;
    if (!Initialise())
        return kSoundBackendError;
    // Mono only: recordings are mono, and every probe opens the device.
    for (uint32_t rate : kStandardRates)
        for (uint16_t bits : {uint16_t(8), uint16_t(16)}) {
            SoundFormat f{rate, bits, 1};
            PaStreamParameters p;
            int r = FillParameters(f, &p);
            if (r == kSoundNoDevice)
                return r;
            if (r != kSoundOk)
                continue;
            bool input = Direction() == SoundDirection::Input;
            if (Pa_IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, rate) == paFormatIsSupported)
                flags |= StandardFormatFlag(f);
        }
    return kSoundOk;
}

int CPortAudioDevice::QueryFormat(const SoundFormat& format)
{
    if (!Initialise())
        return kSoundBackendError;
    PaStreamParameters p;
    int r = FillParameters(format, &p);
    if (r != kSoundOk)
        return r;
    bool input = Direction() == SoundDirection::Input;
    PaError e = Pa_IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, format.samplesPerSec);
    if (e == paFormatIsSupported)
        return kSoundOk;
    if (e == paInvalidSampleRate || e == paSampleFormatNotSupported || e == paInvalidChannelCount)
        return kSoundBadFormat;
    return Fail(e);
}

int CPortAudioDevice::Open(const SoundFormat& format, SoundCallback callback, void* context)
{
    const bool input = Direction() == SoundDirection::Input;
    if (m_stream)
        return kSoundAlreadyOpen;
    if (!Initialise())
        return kSoundBackendError;
    PaStreamParameters p;
    int r = FillParameters(format, &p);
    if (r != kSoundOk)
        return r;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_format = format;
        m_callback = callback;
        m_context = context;
        m_queue.clear();
        m_headPos = 0;
        m_ring.assign(input ? size_t(format.AvgBytesPerSec()) * kRingSeconds : 0, 0);
        m_ringStart = m_ringUsed = 0;
        m_lostBytes = 0;
        m_overruns = 0;
        m_finished = false;
    }
    PaStream* stream = nullptr;
    PaError e;
    {
        // A stream may bring modules of its own (a rate converter, a server
        // client): they stay too.
        CModulePin pin;
        {
            CQuietStderr quiet;
            // Output starts with silence in the sound system's buffer, the
            // message after it. A buffer filled with the message itself
            // before the start is what a sound server's sink that rewinds
            // (a sound card's) re-renders when the stream joins it: the
            // start of the message came late, partly lost or repeated.
            e = Pa_OpenStream(&stream, input ? &p : nullptr, input ? nullptr : &p, format.samplesPerSec,
                              paFramesPerBufferUnspecified, paNoFlag, StreamCallback, this);
        }
        pin.PinNewModules();
    }
    if (e != paNoError)
        return Fail(e);
    m_stream = stream;
    // What PortAudio prints while the stream runs goes to the log.
    CStderrTap::Acquire(PortAudioMessage);
    Pa_SetStreamFinishedCallback(stream, StreamFinished);
    // The callback runs at real-time priority where the process may have it.
    PaAlsa_EnableRealtimeScheduling(stream, 1);
    return kSoundOk;
}

bool CPortAudioDevice::IsOpen() const
{
    return m_stream != nullptr;
}

int CPortAudioDevice::Queue(SoundBuffer* buffer)
{
    if (!buffer || !buffer->data)
        return kSoundInvalidParam;
    if (!(buffer->flags & kBufferPrepared))
        return kSoundNotPrepared;
    if (!m_stream)
        return kSoundNotOpen;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (buffer->flags & kBufferQueued)
            return kSoundStillQueued;
        buffer->flags = (buffer->flags | kBufferQueued) & ~kBufferDone;
        m_queue.push_back(buffer);
        if (Direction() == SoundDirection::Input) {
            buffer->bytesRecorded = 0;
            // Sound that waited for a buffer goes first.
            FillFromRing();
            return kSoundOk;
        }
    }
    // Output: once the queue holds more than the sound system's buffer, the
    // stream starts and fills that buffer from it at once (outside the lock,
    // which the stream's callback takes): the queue must not run dry then,
    // as the owner can add to it only after the start. A shorter sound
    // starts with Drain.
    if (!m_running && QueuedMs() >= StartAtMs())
        return StartOutput();
    return kSoundOk;
}

int CPortAudioDevice::Start()
{
    if (!m_stream)
        return kSoundNotOpen;
    if (m_running)
        return kSoundOk;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_delivering = false;
        m_finished = false;
        m_lastCallback = std::chrono::steady_clock::now();
    }
    // The server's source is watched: its going is a loss the stream never
    // sees (see CSourceWatch). The default device is the server's only when
    // ALSA reaches one.
    if (Direction() == SoundDirection::Input &&
        (!m_serverSource.empty() || (m_watchDefault && CSoundDeviceList::AlsaReachesServer())))
        m_watch.Start(m_serverSource);
    PaError e = Pa_StartStream(static_cast<PaStream*>(m_stream));
    if (e != paNoError) {
        m_watch.Stop();
        return Fail(e);
    }
    m_running = true;
    return kSoundOk;
}

void CPortAudioDevice::FillFromRing()
{
    while (m_ringUsed > 0 && !m_queue.empty()) {
        SoundBuffer* head = m_queue.front();
        const size_t n =
            std::min({size_t(head->bufferLength - head->bytesRecorded), m_ringUsed, m_ring.size() - m_ringStart});
        memcpy(head->data + head->bytesRecorded, m_ring.data() + m_ringStart, n);
        head->bytesRecorded += uint32_t(n);
        m_ringStart = (m_ringStart + n) % m_ring.size();
        m_ringUsed -= n;
        if (head->bytesRecorded >= head->bufferLength) {
            m_queue.pop_front();
            Complete(head);
        }
    }
}

void CPortAudioDevice::Deliver(const uint8_t* src, size_t bytes)
{
    FillFromRing();
    while (bytes && m_ringUsed == 0 && !m_queue.empty()) {
        SoundBuffer* head = m_queue.front();
        const size_t n = std::min(size_t(head->bufferLength - head->bytesRecorded), bytes);
        memcpy(head->data + head->bytesRecorded, src, n);
        head->bytesRecorded += uint32_t(n);
        src += n;
        bytes -= n;
        if (head->bytesRecorded >= head->bufferLength) {
            m_queue.pop_front();
            Complete(head);
        }
    }
    // No buffer to go to: into the ring, in order, until it is full; what
    // does not fit is lost, as on a sound card whose buffer overruns.
    const size_t room = m_ring.size() - m_ringUsed;
    if (bytes > room) {
        m_lostBytes += bytes - room;
        bytes = room;
    }
    for (size_t at = (m_ringStart + m_ringUsed) % std::max<size_t>(m_ring.size(), 1); bytes > 0;) {
        const size_t n = std::min(bytes, m_ring.size() - at);
        memcpy(m_ring.data() + at, src, n);
        m_ringUsed += n;
        src += n;
        bytes -= n;
        at = 0;
    }
}

void CPortAudioDevice::Complete(SoundBuffer* b)
{
    b->flags = (b->flags & ~kBufferQueued) | kBufferDone;
    if (m_callback)
        m_callback(m_context, b);
}

int CPortAudioDevice::Process(const void* input, void* output, unsigned long frames, unsigned long statusFlags)
{
    std::lock_guard<std::mutex> lk(m_lock);
    uint16_t align = m_format.BlockAlign();
    size_t bytes = size_t(frames) * align;
    if (Direction() == SoundDirection::Input) {
        const uint8_t* src = static_cast<const uint8_t*>(input);
        if (statusFlags & paInputOverflow)
            ++m_overruns;
        if (src && bytes && !m_delivering) {
            m_delivering = true;
            m_deliveringWake.notify_all();
        }
        if (src && bytes)
            m_lastCallback = std::chrono::steady_clock::now();
        if (src)
            Deliver(src, bytes);
        return paContinue;
    }
    uint8_t* dst = static_cast<uint8_t*>(output);
    m_lastCallback = std::chrono::steady_clock::now();
    while (bytes && !m_queue.empty()) {
        SoundBuffer* head = m_queue.front();
        size_t n = std::min<size_t>(head->bufferLength - m_headPos, bytes);
        memcpy(dst, head->data + m_headPos, n);
        dst += n;
        bytes -= n;
        m_headPos += uint32_t(n);
        if (m_headPos >= head->bufferLength) {
            m_queue.pop_front();
            m_headPos = 0;
            Complete(head);
        }
    }
    // Ran dry before the last buffer came (Drain): a gap in the sound.
    if (bytes && !m_draining)
        m_lostBytes += bytes;
    if (statusFlags & paOutputUnderflow)
        ++m_overruns;
    memset(dst, m_format.bitsPerSample == 8 ? 0x80 : 0, bytes);
    return paContinue;
}

double CPortAudioDevice::QueuedMs()
{
    std::lock_guard<std::mutex> lk(m_lock);
    double bytes = 0;
    for (const SoundBuffer* b : m_queue)
        bytes += b->bufferLength;
    return (bytes - m_headPos) * 1000.0 / std::max<uint32_t>(m_format.AvgBytesPerSec(), 1);
}

double CPortAudioDevice::StartAtMs() const
{
    const PaStreamInfo* info = Pa_GetStreamInfo(static_cast<PaStream*>(m_stream));
    const double buffer = info ? info->outputLatency * 1000.0 : kOutputLatency * 1000.0;
    return std::min(buffer + kStartMarginMs, kMostQueuedMs);
}

int CPortAudioDevice::StartOutput()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_draining = false;
        m_finished = false;
        m_lastCallback = std::chrono::steady_clock::now();
    }
    PaError e = Pa_StartStream(static_cast<PaStream*>(m_stream));
    if (e != paNoError)
        return Fail(e);
    m_running = true;
    return kSoundOk;
}

void CPortAudioDevice::Drain()
{
    if (!m_stream || Direction() != SoundDirection::Output)
        return;
    double left = QueuedMs();
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_draining = true;
    }
    if (!m_running) {
        if (left <= 0 || StartOutput() != kSoundOk)
            return;
    }
    // What is queued goes to the sound system, then its buffer plays out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(left) + 1000);
    while (QueuedMs() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Pa_StopStream(static_cast<PaStream*>(m_stream));
    m_running = false;
}

bool CPortAudioDevice::WaitUntilDelivering(unsigned timeoutMs)
{
    std::unique_lock<std::mutex> lk(m_lock);
    return m_deliveringWake.wait_for(lk, std::chrono::milliseconds(timeoutMs), [this] { return m_delivering; });
}

int CPortAudioDevice::Reset()
{
    if (!m_stream)
        return kSoundNotOpen;
    // Input stops; output keeps its stream running and simply has nothing to play.
    if (Direction() == SoundDirection::Input && m_running) {
        Pa_AbortStream(static_cast<PaStream*>(m_stream));
        m_running = false;
    }
    std::lock_guard<std::mutex> lk(m_lock);
    while (!m_queue.empty()) {
        SoundBuffer* b = m_queue.front();
        m_queue.pop_front();
        Complete(b);
    }
    m_headPos = 0;
    m_ringStart = m_ringUsed = 0;
    return kSoundOk;
}

int CPortAudioDevice::Close()
{
    if (!m_stream)
        return kSoundOk;
    auto* stream = static_cast<PaStream*>(m_stream);
    if (m_running)
        Pa_AbortStream(stream);
    m_running = false;
    m_watch.Stop();
    Reset();
    Pa_CloseStream(stream);
    CStderrTap::Release();
    m_stream = nullptr;
    std::lock_guard<std::mutex> lk(m_lock);
    m_callback = nullptr;
    return kSoundOk;
}

void CPortAudioDevice::Finished()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_finished = true;
}

bool CPortAudioDevice::Lost()
{
    if (!m_stream || !m_running)
        return false;
    auto* stream = static_cast<PaStream*>(m_stream);
    // Stopped or failed while this side still runs it: the stream is over.
    if (Pa_IsStreamActive(stream) != 1)
        return true;
    // The recording's source left the server, which feeds it another.
    if (m_watch.Gone())
        return true;
    const PaStreamInfo* info = Pa_GetStreamInfo(stream);
    const bool input = Direction() == SoundDirection::Input;
    const double buffer = info ? (input ? info->inputLatency : info->outputLatency) * 1000.0 : 0.0;
    const double stallMs = std::max(2.0 * buffer, kLeastStallMs);
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_finished)
        return true;
    // An input that never began is Record's to report, not a loss.
    if (input && !m_delivering)
        return false;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_lastCallback).count() >
           stallMs;
}

std::string CPortAudioDevice::Name() const
{
    return m_name;
}

std::string CPortAudioDevice::LossReport()
{
    std::lock_guard<std::mutex> lk(m_lock);
    std::string report;
    if (m_lostBytes > 0 || m_overruns > 0) {
        const uint32_t perMs = std::max<uint32_t>(m_format.AvgBytesPerSec() / 1000, 1);
        const bool input = Direction() == SoundDirection::Input;
        report = std::string(input ? "Sound lost while recording: " : "Gaps while playing: ") +
                 std::to_string(m_lostBytes / perMs) +
                 (input ? " ms without a buffer, " : " ms with nothing queued, ") + std::to_string(m_overruns) +
                 (input ? " overruns" : " underruns") + " of the sound system";
    }
    m_lostBytes = 0;
    m_overruns = 0;
    return report;
}

std::string CPortAudioDevice::ErrorText(int result) const
{
    if (result == kSoundBackendError) {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_lastError.empty() ? "<Unknown Error>" : m_lastError;
    }
    return StandardErrorText(result);
}
