// The exported functions. Each checks its arguments, catches everything that
// could escape, and reports failures as a 0 result and a line in the log.
// Device work is behind the hooks of Engine.h.
#include "sonvox.h"

#include "CAudioLog.h"
#include "CBlockQueue.h"
#include "CWaveFile.h"
#include "Chunks.h"
#include "Codec.h"
#include "CoderInfor.h"
#include "Engine.h"
#include "FileList.h"
#include "SonvoxState.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace {

const char kLogUnit[] = "AudioAPI";

// Longest audio taken from one file.
constexpr uint64_t kMaxFileSeconds = 480;
// Longest silence queued by one call; more is refused rather than left to
// overflow or exhaust memory.
constexpr int kMaxSilenceSeconds = 3600;
constexpr unsigned kMaxPageGapMs = 1500;
constexpr unsigned kDefaultPageGapMs = 100;

template <class F, class R>
R Guarded(F&& body, R failure)
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// The exports that drive the recorder and the player are meant for one
// client thread. A client that calls them from two threads at once is served
// one call at a time instead of having a device change torn in half: wrong use
// is slow, never fatal. Recursive, because Record stops a running recording
// through Stop.
std::recursive_mutex& DeviceCallLock()
{
    static std::recursive_mutex lock;
    return lock;
}

template <class F, class R>
R Serialised(F&& body, R failure)
{
    std::lock_guard<std::recursive_mutex> hold(DeviceCallLock());
    return Guarded(std::forward<F>(body), failure);
}

// Creates the shared reader when there is none; call with readerLock held.
CWaveFile* SharedReader()
{
    SonvoxState& st = State();
    if (!st.sharedReader)
        st.sharedReader.reset(new (std::nothrow) CWaveFile);
    return st.sharedReader.get();
}

// Queues the mu-law audio of one file (at most 480 seconds) onto queue.
// 1 when the whole of it was queued.
int QueueFile(const std::string& path, CBlockQueue& queue)
{
    SonvoxState& st = State();
    std::lock_guard<std::mutex> hold(st.readerLock);
    CWaveFile* reader = SharedReader();
    if (!reader) {
        SVLOG("Memory allocation failed.");
        return 0;
    }
    if (!reader->OpenRead(path.c_str()))
        return 0;

    int result = 1;
    const uint64_t wanted = std::min<uint64_t>(reader->DataSize(), kMaxFileSeconds * reader->AvgBytesPerSec());
    if (wanted > 0) {
        if (reader->FormatTag() != 7) {
            SVLOG("Error file: %s is not in MULAW format", path.c_str());
            result = 0;
        } else {
            // A data chunk that claims more than the file holds: queue what is
            // there and say the file was not whole.
            const uint32_t present = std::min<uint64_t>(wanted, reader->BytesAvailable());
            if (present < wanted) {
                SVLOG("Error file: %s is truncated", path.c_str());
                result = 0;
            }
            if (present > 0) {
                BlockData audio = AllocBlock(present);
                if (!audio) {
                    SVLOG("Memory allocation failed.");
                    result = 0;
                } else if (reader->Read(audio.get(), present) != present) {
                    SVLOG("Error file: %s cannot be read", path.c_str());
                    result = 0;
                } else {
                    SwapBytePairs(audio.get(), present);
                    if (!QueueChunks(audio.get(), present, queue))
                        result = 0;
                }
            }
        }
    }
    reader->CloseRead();
    return result;
}

// Encodes bytes of 8-bit PCM silence and queues them as chunks.
int QueueSilence(int bytes, CBlockQueue& queue)
{
    BlockData pcm = AllocBlock(size_t(bytes));
    BlockData code = AllocBlock(size_t(bytes));
    if (!pcm || !code) {
        SVLOG("Memory allocation failed.");
        return 0;
    }
    memset(pcm.get(), 0x80, size_t(bytes));
    CodecOutput out;
    out.data = code.get();
    if (!MuLawEncode(pcm.get(), bytes, 8000, 1, out)) {
        SVLOG("Compress failed.");
        return 1;
    }
    SwapBytePairs(code.get(), size_t(out.count));
    QueueChunks(code.get(), size_t(out.count), queue);
    return 1;
}

int LoadPageSilenceImpl(int ms)
{
    const float secs = float(ms) * 0.001f;
    if (!(secs > 0.0f) || secs > float(kMaxSilenceSeconds)) {
        SVLOG("Invalid parameter secs = %.4f", double(secs));
        return 0;
    }
    return QueueSilence(int(secs * 8000.0f), State().pageQueue);
}

int PreviewCancelImpl()
{
    EngineCancelPlayback();
    State().playQueue.Clear();
    return 1;
}

int PageCancelImpl()
{
    State().pageQueue.Clear();
    return 1;
}

// Start-up check that the codec can make mu-law silence.
void CodecSelfTest()
{
    const int bytes = 8000;
    BlockData pcm = AllocBlock(bytes);
    BlockData code = AllocBlock(bytes);
    bool ok = false;
    if (!pcm || !code) {
        SVLOG("Memory allocation failed.");
    } else {
        memset(pcm.get(), 0x80, bytes);
        CodecOutput out;
        out.data = code.get();
        ok = MuLawEncode(pcm.get(), bytes, 8000, 1, out);
    }
    if (!ok)
        LogPrintf("Error - Unable to determine silence");
}

int AudioInitImpl(const char* logPath, int meterEnabled)
{
    SonvoxState& st = State();
    // The codec report needs nothing prepared on this platform.
    st.firstInitDone = true;
    if (st.initialised)
        return 0;
    st.meterTap.SetEnabled(meterEnabled);
    // The log comes first: the recorder's worker reports as it starts.
    if (!TheAudioLog().Open(logPath))
        return 0;
    if (!EnginePrepareRecorder())
        return 0;
    {
        // A reader left by IsValidFile before start-up is replaced, not leaked.
        std::lock_guard<std::mutex> hold(st.readerLock);
        st.sharedReader.reset();
    }
    st.moduleFolder = FindModuleFolder();
    EngineChooseDevices();
    if (!EngineSelectRecordingFormat()) {
        const RecordingFormat& f = st.format;
        SVLOG("%s. %d,%d,%d", EngineLastFormatErrorText(), int(f.sampleRate), int(f.bitsPerSample), int(f.channels));
        EngineShutdownRecorder();
        return 0;
    }
    CodecSelfTest();
    {
        std::lock_guard<std::mutex> hold(st.readerLock);
        if (!SharedReader()) {
            SVLOG("Memory allocation failed.");
            EngineShutdownRecorder();
            return 0;
        }
    }
    if (!EngineStartPlayback()) {
        EngineShutdownRecorder();
        return 0;
    }
    st.initialised = 1;
    return 1;
}

int AudioReleaseImpl()
{
    SonvoxState& st = State();
    if (st.initialised) {
        EngineStopPlayback();
        PreviewCancelImpl();
        PageCancelImpl();
        {
            std::lock_guard<std::mutex> hold(st.readerLock);
            st.sharedReader.reset();
        }
        st.initialised = 0;
    }
    EngineShutdownRecorder();
    return 1;
}

}  // namespace

extern "C" {

int Audio_Init(uint32_t /*opaque*/, const char* log_path, int meter_enabled)
{
    return Serialised([&] { return AudioInitImpl(log_path, meter_enabled); }, 0);
}

int Audio_Release(void)
{
    return Serialised([] { return AudioReleaseImpl(); }, 1);
}

int Record(void)
{
    return Serialised([] { return EngineRecord(); }, 0);
}

int Stop(void)
{
    return Serialised(
        [] {
            PreviewCancelImpl();
            int made = EngineStopRecording();
            CMeterTap& tap = State().meterTap;
            if (tap.IsEnabled())
                tap.ClearIfAny();
            return made;
        },
        0);
}

int Save(const char* path, double time_constant, double clip_amount, double threshold_factor, int initial_trim,
         double* gain_out, double* clip_out, double* snr_out)
{
    if (!gain_out || !clip_out || !snr_out)
        return 0;
    *gain_out = *clip_out = *snr_out = 0.0;
    if (!path || !*path)
        return 0;
    return Serialised(
        [&] {
            return EngineSave(path, time_constant, clip_amount, threshold_factor, initial_trim, gain_out, clip_out,
                              snr_out);
        },
        0);
}

int Preview(void)
{
    return Serialised(
        [] {
            if (State().playQueue.IsEmpty())
                return 1;
            return EnginePreview();
        },
        0);
}

int PreviewCancel(void)
{
    return Serialised([] { return PreviewCancelImpl(); }, 1);
}

int PreviewLost(void)
{
    return Guarded([] { return EngineOutputLost() ? 1 : 0; }, 0);
}

int LoadPlay(const char* list)
{
    if (!list)
        return 0;
    return Guarded(
        [&] {
            int result = 1;
            std::string item;
            for (const char* pos = list; NextListItem(pos, item);)
                if (!QueueFile(item, State().playQueue))
                    result = 0;
            return result;
        },
        0);
}

int LoadPage(const char* list, unsigned int gap_ms)
{
    if (!list)
        return 0;
    if (gap_ms > kMaxPageGapMs)
        gap_ms = kDefaultPageGapMs;
    return Guarded(
        [&] {
            int result = 1;
            std::string item;
            for (const char* pos = list; NextListItem(pos, item);) {
                if (!QueueFile(item, State().pageQueue))
                    result = 0;
                if (result && gap_ms != 0)
                    LoadPageSilenceImpl(int(gap_ms));
            }
            return result;
        },
        0);
}

int GetBuff(unsigned char* destination)
{
    if (!destination)
        return 0;
    return Guarded(
        [&] {
            Block b = State().pageQueue.PopFront();
            if (!b)
                return 0;
            memcpy(destination, b.data.get(), size_t(b.length));
            return b.length;
        },
        0);
}

int PageCancel(void)
{
    return Guarded([] { return PageCancelImpl(); }, 1);
}

int LoadPlaySilence(int ms)
{
    return Guarded(
        [&] {
            const int seconds = ms / 1000;
            if (seconds <= 0 || seconds > kMaxSilenceSeconds) {
                SVLOG("Invalid parameter");
                return 0;
            }
            return QueueSilence(8000 * seconds, State().playQueue);
        },
        0);
}

int LoadPageSilence(int ms)
{
    return Guarded([&] { return LoadPageSilenceImpl(ms); }, 0);
}

void SetNormValue(uint32_t, uint32_t, uint32_t, uint32_t) { }

void NormUpdate(void) { }

int GetBuffCount(void)
{
    return Guarded([] { return State().pageQueue.Count(); }, 0);
}

int IsValidFile(const char* path)
{
    if (!path)
        return 0;
    return Guarded(
        [&] {
            SonvoxState& st = State();
            std::lock_guard<std::mutex> hold(st.readerLock);
            CWaveFile* reader = SharedReader();
            if (!reader || !reader->OpenRead(path))
                return 0;
            const bool ok = reader->FormatTag() == 7 && reader->SamplesPerSec() == 8000 &&
                            reader->BitsPerSample() == 8 && reader->Channels() == 1;
            reader->CloseRead();
            return ok ? 1 : 0;
        },
        0);
}

int GetCoderInfor(void)
{
    return Guarded([] { return ShowCoderInfor(); }, 1);
}

unsigned int GetDuration(void)
{
    return Guarded(
        [] {
            SonvoxState& st = State();
            std::lock_guard<std::mutex> hold(st.readerLock);
            return st.sharedReader ? unsigned(st.sharedReader->DurationMs()) : 0u;
        },
        0u);
}

int GetSilentBuff(unsigned char* destination)
{
    if (!destination)
        return 0;
    return Guarded(
        [&] {
            uint8_t pcm[kChunkBytes];
            memset(pcm, 0x80, sizeof pcm);
            CodecOutput out;
            out.data = destination;
            if (!MuLawEncode(pcm, kChunkBytes, 8000, 1, out))
                return 0;
            SwapBytePairs(destination, kChunkBytes);
            return kChunkBytes;
        },
        0);
}

int MeterGetPeak(int* peak_out)
{
    if (!peak_out)
        return 0;
    return Guarded(
        [&] {
            if (EngineInputLost())
                return -1;
            Block b = State().meterTap.Take();
            if (!b)
                return 0;
            const int samples = b.length / 2;
            int peak = 0;
            for (int i = 0; i < samples; ++i) {
                const int16_t s = int16_t(uint16_t(b.data[2 * i] | (b.data[2 * i + 1] << 8)));
                if (s > peak)
                    peak = s;
            }
            *peak_out = peak;
            return samples;
        },
        0);
}

}  // extern "C"
