#include "CPortAudioDevice.h"

#include "CModulePin.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// ALSA and the sound servers PortAudio probes print their start-up complaints
// to stderr; the operator's terminal is no place for them.
void SilentAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

// Standard error belongs to the whole process: while one of these is alive,
// nothing any thread writes there is seen. They are taken one at a time, so
// that two threads cannot save and restore each other's /dev/null and leave
// the process without its standard error for good.
std::mutex g_stderrLock;

class QuietStderr {
public:
    QuietStderr() : m_hold(g_stderrLock)
    {
        fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr()
    {
        if (m_saved >= 0) {
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    std::lock_guard<std::mutex> m_hold;
    int m_saved = -1;
};

std::mutex g_backendLock;
int g_backendHolds = 0;  // BackendStartup calls not yet matched by BackendShutdown
int g_portAudioUsers = 0;  // successful StartPortAudio calls not yet matched by StopPortAudio

// Call with g_backendLock held. Only the first start really starts PortAudio
// (the host APIs probe the sound system and complain); later ones only count,
// so a stream opened on the playback thread while the library runs touches
// neither the environment nor the process's standard error.
PaError StartPortAudio()
{
    PaError e;
    if (g_portAudioUsers > 0) {
        e = Pa_Initialize();
    } else {
        snd_lib_error_set_handler(SilentAlsaHandler);
        setenv("JACK_NO_START_SERVER", "1", 0);
        CModulePin pin;
        {
            QuietStderr quiet;
            e = Pa_Initialize();
        }
        pin.PinNewModules();
    }
    if (e == paNoError) ++g_portAudioUsers;
    return e;
}

// Call with g_backendLock held.
void StopPortAudio()
{
    if (g_portAudioUsers == 0) return;
    if (--g_portAudioUsers > 0) {
        Pa_Terminate();
        return;
    }
    QuietStderr quiet;
    Pa_Terminate();
}

int StreamCallback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* user)
{
    return static_cast<CPortAudioDevice*>(user)->Process(input, output, frames);
}

const uint32_t kStandardRates[] = {11025, 22050, 44100};

} // namespace

bool CPortAudioDevice::BackendStartup()
{
    std::lock_guard<std::mutex> lk(g_backendLock);
    if (StartPortAudio() != paNoError) return false;
    ++g_backendHolds;
    return true;
}

void CPortAudioDevice::BackendShutdown()
{
    std::lock_guard<std::mutex> lk(g_backendLock);
    if (g_backendHolds == 0) return;
    --g_backendHolds;
    StopPortAudio();
}

CPortAudioDevice::CPortAudioDevice(SoundDirection direction) : CSoundDevice(direction) {}

CPortAudioDevice::~CPortAudioDevice()
{
    Close();
    Terminate();
}

bool CPortAudioDevice::Initialise()
{
    if (m_initialised) return true;
    std::lock_guard<std::mutex> lk(g_backendLock);
    PaError e = StartPortAudio();
    if (e != paNoError) {
        m_lastError = Pa_GetErrorText(e);
        return false;
    }
    m_initialised = true;
    return true;
}

void CPortAudioDevice::Terminate()
{
    if (!m_initialised) return;
    std::lock_guard<std::mutex> lk(g_backendLock);
    StopPortAudio();
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
    bool input = Direction() == SoundDirection::Input;
    p->device = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    if (p->device == paNoDevice) return kSoundNoDevice;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(p->device);
    if (!info) return kSoundNoDevice;
    if (f.bitsPerSample == 8) p->sampleFormat = paUInt8;
    else if (f.bitsPerSample == 16) p->sampleFormat = paInt16;
    else return kSoundBadFormat;
    p->channelCount = f.channels;
    p->suggestedLatency = input ? info->defaultLowInputLatency : info->defaultLowOutputLatency;
    return kSoundOk;
}

int CPortAudioDevice::Capabilities(uint32_t& flags)
{
    flags = 0;
    if (!Initialise()) return kSoundBackendError;
    // Mono only: recordings are mono, and every probe opens the device.
    for (uint32_t rate : kStandardRates)
        for (uint16_t bits : {uint16_t(8), uint16_t(16)}) {
            SoundFormat f{rate, bits, 1};
            PaStreamParameters p;
            int r = FillParameters(f, &p);
            if (r == kSoundNoDevice) return r;
            if (r != kSoundOk) continue;
            bool input = Direction() == SoundDirection::Input;
            if (Pa_IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, rate) == paFormatIsSupported)
                flags |= StandardFormatFlag(f);
        }
    return kSoundOk;
}

int CPortAudioDevice::QueryFormat(const SoundFormat& format)
{
    if (!Initialise()) return kSoundBackendError;
    PaStreamParameters p;
    int r = FillParameters(format, &p);
    if (r != kSoundOk) return r;
    bool input = Direction() == SoundDirection::Input;
    PaError e = Pa_IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, format.samplesPerSec);
    if (e == paFormatIsSupported) return kSoundOk;
    if (e == paInvalidSampleRate || e == paSampleFormatNotSupported || e == paInvalidChannelCount)
        return kSoundBadFormat;
    return Fail(e);
}

int CPortAudioDevice::Open(const SoundFormat& format, SoundCallback callback, void* context)
{
    if (m_stream) return kSoundAlreadyOpen;
    if (!Initialise()) return kSoundBackendError;
    PaStreamParameters p;
    int r = FillParameters(format, &p);
    if (r != kSoundOk) return r;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_format = format;
        m_callback = callback;
        m_context = context;
        m_queue.clear();
        m_headPos = 0;
    }
    bool input = Direction() == SoundDirection::Input;
    PaStream* stream = nullptr;
    PaError e;
    {
        // A stream may bring modules of its own (a rate converter, a server
        // client): they stay too.
        CModulePin pin;
        {
            QuietStderr quiet;
            e = Pa_OpenStream(&stream, input ? &p : nullptr, input ? nullptr : &p, format.samplesPerSec,
                              paFramesPerBufferUnspecified, paNoFlag, StreamCallback, this);
        }
        pin.PinNewModules();
    }
    if (e != paNoError) return Fail(e);
    m_stream = stream;
    // Output runs from the start and plays silence while nothing is queued,
    // so a written buffer is heard without waiting for the stream to start.
    if (!input) {
        e = Pa_StartStream(stream);
        if (e != paNoError) {
            Pa_CloseStream(stream);
            m_stream = nullptr;
            return Fail(e);
        }
        m_running = true;
    }
    return kSoundOk;
}

bool CPortAudioDevice::IsOpen() const { return m_stream != nullptr; }

int CPortAudioDevice::Queue(SoundBuffer* buffer)
{
    if (!buffer || !buffer->data) return kSoundInvalidParam;
    if (!(buffer->flags & kBufferPrepared)) return kSoundNotPrepared;
    if (!m_stream) return kSoundNotOpen;
    std::lock_guard<std::mutex> lk(m_lock);
    if (buffer->flags & kBufferQueued) return kSoundStillQueued;
    buffer->flags = (buffer->flags | kBufferQueued) & ~kBufferDone;
    if (Direction() == SoundDirection::Input) buffer->bytesRecorded = 0;
    m_queue.push_back(buffer);
    return kSoundOk;
}

int CPortAudioDevice::Start()
{
    if (!m_stream) return kSoundNotOpen;
    if (m_running) return kSoundOk;
    PaError e = Pa_StartStream(static_cast<PaStream*>(m_stream));
    if (e != paNoError) return Fail(e);
    m_running = true;
    return kSoundOk;
}

void CPortAudioDevice::Complete(SoundBuffer* b)
{
    b->flags = (b->flags & ~kBufferQueued) | kBufferDone;
    if (m_callback) m_callback(m_context, b);
}

int CPortAudioDevice::Process(const void* input, void* output, unsigned long frames)
{
    std::lock_guard<std::mutex> lk(m_lock);
    uint16_t align = m_format.BlockAlign();
    size_t bytes = size_t(frames) * align;
    if (Direction() == SoundDirection::Input) {
        const uint8_t* src = static_cast<const uint8_t*>(input);
        while (bytes && src && !m_queue.empty()) {
            SoundBuffer* head = m_queue.front();
            size_t room = head->bufferLength - head->bytesRecorded;
            size_t n = std::min(room, bytes);
            memcpy(head->data + head->bytesRecorded, src, n);
            head->bytesRecorded += uint32_t(n);
            src += n;
            bytes -= n;
            if (head->bytesRecorded >= head->bufferLength) {
                m_queue.pop_front();
                Complete(head);
            }
        }
        // Whatever is left had no buffer to go to and is lost.
        return paContinue;
    }
    uint8_t* dst = static_cast<uint8_t*>(output);
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
    memset(dst, m_format.bitsPerSample == 8 ? 0x80 : 0, bytes);
    return paContinue;
}

int CPortAudioDevice::Reset()
{
    if (!m_stream) return kSoundNotOpen;
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
    return kSoundOk;
}

int CPortAudioDevice::Close()
{
    if (!m_stream) return kSoundOk;
    auto* stream = static_cast<PaStream*>(m_stream);
    if (m_running) Pa_AbortStream(stream);
    m_running = false;
    Reset();
    Pa_CloseStream(stream);
    m_stream = nullptr;
    std::lock_guard<std::mutex> lk(m_lock);
    m_callback = nullptr;
    return kSoundOk;
}

std::string CPortAudioDevice::ErrorText(int result) const
{
    if (result == kSoundBackendError) {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_lastError.empty() ? "<Unknown Error>" : m_lastError;
    }
    return StandardErrorText(result);
}
