#include "CPlayThread.h"

#include "CAudioLog.h"
#include "CBlockQueue.h"
#include "Chunks.h"
#include "Codec.h"

#include <chrono>
#include <cstring>
#include <pthread.h>

namespace {

const char* const kLogUnit = "play";
constexpr uint32_t kDecodeBytes = 2048;
// Longest wait for the device to play out what it holds once the queue is
// done: all buffers of one chunk each, and a margin for the device's latency.
constexpr auto kDrainMargin = std::chrono::milliseconds(500);

const SoundFormat kDeviceFormat{8000, 8, 1};

}  // namespace

CPlayThread::CPlayThread(CBlockQueue& playQueue) : m_playQueue(playQueue) { }

CPlayThread::~CPlayThread()
{
    if (m_thread.joinable() && !Quit(2000)) {
        // Still running (its owner should have kept it, see Quit): the
        // buffers at least stay where the thread and the device write them.
        m_thread.detach();
        return;
    }
    FreeBuffers();
}

bool CPlayThread::Start()
{
    for (SoundBuffer& h : m_headers) {
        if (!h.data)
            h.data = new (std::nothrow) uint8_t[kBufferBytes];
        if (!h.data) {
            FreeBuffers();
            return false;
        }
        m_free.push_back(&h);
    }
    try {
        m_thread = std::thread(&CPlayThread::Run, this);
        // Named, so that a crash report, a debugger or /proc tells the
        // library's threads from the program's own: an unnamed thread
        // carries the program's name.
        pthread_setname_np(m_thread.native_handle(), "sonvox-play");
    } catch (...) {
        FreeBuffers();
        return false;
    }
    std::lock_guard<std::mutex> lk(m_requestLock);
    m_accepting = true;
    return true;
}

bool CPlayThread::Post(Command command)
{
    std::lock_guard<std::mutex> lk(m_requestLock);
    if (!m_accepting)
        return false;
    if (command != kPlay)
        ++m_cancelSeq;
    if (command == kQuit)
        m_accepting = false;
    m_lost = false;
    m_requests.push_back(command);
    m_requestWake.notify_one();
    return true;
}

bool CPlayThread::Quit(unsigned timeoutMs)
{
    if (!m_thread.joinable())
        return true;
    Post(kQuit);
    std::unique_lock<std::mutex> lk(m_doneLock);
    if (!m_doneWake.wait_for(lk, std::chrono::milliseconds(timeoutMs), [this] { return m_ended; }))
        return false;
    lk.unlock();
    m_thread.join();
    return true;
}

void CPlayThread::Run()
{
    for (;;) {
        Command command;
        {
            std::unique_lock<std::mutex> lk(m_requestLock);
            m_requestWake.wait(lk, [this] { return !m_requests.empty(); });
            command = m_requests.front();
            m_requests.pop_front();
        }
        if (command == kPlay) {
            Play();
        } else if (command == kCancel) {
            if (m_device)
                CloseDevice(true);
        } else if (command == kQuit) {
            if (m_device)
                CloseDevice(true);
            break;
        }
    }
    std::lock_guard<std::mutex> lk(m_doneLock);
    m_ended = true;
    m_doneWake.notify_all();
}

void CPlayThread::DeviceCallback(void* context, SoundBuffer* buffer)
{
    auto* self = static_cast<CPlayThread*>(context);
    std::lock_guard<std::mutex> lk(self->m_freeLock);
    self->m_free.push_back(buffer);
    self->m_freeWake.notify_all();
}

void CPlayThread::Play()
{
    unsigned seq = m_cancelSeq.load();
    m_device = CreateSoundDevice(SoundDirection::Output);
    if (m_device->Open(kDeviceFormat, &CPlayThread::DeviceCallback, this) != kSoundOk) {
        SVLOG("waveOutOpen failed.");
        SVLOG("Unable to open output device");
        m_device.reset();
        return;
    }
    m_device->Reset();
    uint8_t decoded[kDecodeBytes];

    while (!m_playQueue.IsEmpty() && !CancelSince(seq)) {
        SoundBuffer* h = nullptr;
        {
            std::unique_lock<std::mutex> lk(m_freeLock);
            if (m_free.empty()) {
                m_freeWake.wait_for(lk, std::chrono::milliseconds(5));
                lk.unlock();
                if (m_device->Lost()) {
                    // The rest of the message has nowhere to go.
                    LogLost();
                    m_playQueue.Clear();
                    CloseDevice(true);
                    return;
                }
                continue;
            }
            h = m_free.front();
            m_free.pop_front();
        }
        Block chunk = m_playQueue.PopFront();
        if (!chunk || chunk.length <= 0 || uint32_t(chunk.length) > kDecodeBytes) {
            DeviceCallback(this, h);
            continue;
        }
        SwapBytePairs(chunk.data.get(), size_t(chunk.length));
        CodecOutput out;
        out.data = decoded;
        if (!MuLawDecode(chunk.data.get(), chunk.length, 8, 8000, out) || out.count <= 0) {
            DeviceCallback(this, h);
            continue;
        }
        if (h->flags & kBufferDone)
            m_device->Unprepare(h);
        memcpy(h->data, decoded, size_t(out.count));
        h->bufferLength = uint32_t(out.count);
        h->bytesRecorded = uint32_t(out.count);
        h->user = nullptr;
        h->flags = 0;
        h->loops = 0;
        if (m_device->Prepare(h) != kSoundOk || m_device->Queue(h) != kSoundOk)
            DeviceCallback(this, h);
    }
    CloseDevice(CancelSince(seq));
}

// At the end of the queue the device plays out what it holds; a cancel or
// quit drops it at once.
void CPlayThread::CloseDevice(bool cancelled)
{
    if (!cancelled) {
        unsigned seq = m_cancelSeq.load();
        // The sound system still holds the end of the message.
        m_device->Drain();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(30 * kHeaderCount) + kDrainMargin;
        std::unique_lock<std::mutex> lk(m_freeLock);
        while (m_free.size() < size_t(kHeaderCount) && !CancelSince(seq) && std::chrono::steady_clock::now() < deadline)
            m_freeWake.wait_for(lk, std::chrono::milliseconds(5));
        lk.unlock();
        if (m_device->Lost())
            LogLost();
    }
    m_device->Reset();
    const std::string gaps = m_device->LossReport();
    if (!gaps.empty())
        SVLOG("%s", gaps.c_str());
    m_device->Close();
    m_device.reset();
}

void CPlayThread::LogLost()
{
    LogPrintf("Sound output device lost: %s", m_device->Name().c_str());
    m_lost = true;
}

void CPlayThread::FreeBuffers()
{
    std::lock_guard<std::mutex> lk(m_freeLock);
    for (SoundBuffer& h : m_headers) {
        delete[] h.data;
        h = SoundBuffer{};
    }
    m_free.clear();
}
