// The library's view of a sound device: one direction (input or output) of the
// default device of a backend. Buffers are handed to the device and come back
// through the completion callback, exactly once each, with the done flag set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SoundFormat {
    uint32_t samplesPerSec = 44100;
    uint16_t bitsPerSample = 16;
    uint16_t channels = 1;

    uint16_t BlockAlign() const { return uint16_t(channels * bitsPerSample / 8); }
    uint32_t AvgBytesPerSec() const { return samplesPerSec * BlockAlign(); }
};

// The standard supported-format flags, one bit per rate, channel count and size.
enum SoundFormatFlag : uint32_t {
    kFormat11M08 = 0x001,
    kFormat11S08 = 0x002,
    kFormat11M16 = 0x004,
    kFormat11S16 = 0x008,
    kFormat22M08 = 0x010,
    kFormat22S08 = 0x020,
    kFormat22M16 = 0x040,
    kFormat22S16 = 0x080,
    kFormat44M08 = 0x100,
    kFormat44S08 = 0x200,
    kFormat44M16 = 0x400,
    kFormat44S16 = 0x800,
};

// The flag that stands for a format, 0 when the format is not a standard one.
uint32_t StandardFormatFlag(const SoundFormat& format);

// One buffer travelling between its owner and a device.
struct SoundBuffer {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;   // bytes to record into / bytes to play
    uint32_t bytesRecorded = 0;  // input: bytes the device filled
    void* user = nullptr;
    uint32_t flags = 0;  // SoundBufferFlag
    uint32_t loops = 0;
};

enum SoundBufferFlag : uint32_t {
    kBufferPrepared = 0x1,
    kBufferDone = 0x2,
    kBufferQueued = 0x4,  // with the device
};

// Result codes of device operations; 0 is success.
enum SoundResult : int {
    kSoundOk = 0,
    kSoundError = 1,
    kSoundNoDevice = 2,
    kSoundNotOpen = 3,
    kSoundAlreadyOpen = 4,
    kSoundBadFormat = 5,
    kSoundNotPrepared = 6,
    kSoundStillQueued = 7,
    kSoundInvalidParam = 8,
    kSoundNoMemory = 9,
    kSoundBackendError = 10,  // the backend's own text is in ErrorText
};

enum class SoundDirection { Input, Output };

// Called from the device's own context for every buffer the device is done
// with. It must return quickly and must not call back into the device.
using SoundCallback = void (*)(void* context, SoundBuffer* buffer);

class CSoundDevice {
public:
    virtual ~CSoundDevice() = default;

    SoundDirection Direction() const { return m_direction; }

    // Which standard formats the default device supports (SoundFormatFlag).
    virtual int Capabilities(uint32_t& flags) = 0;
    // Whether Open would succeed in this format, without opening.
    virtual int QueryFormat(const SoundFormat& format) = 0;
    virtual int Open(const SoundFormat& format, SoundCallback callback, void* context) = 0;
    virtual bool IsOpen() const = 0;

    int Prepare(SoundBuffer* buffer);
    int Unprepare(SoundBuffer* buffer);
    // Input: add an empty buffer to be filled. Output: play the buffer.
    virtual int Queue(SoundBuffer* buffer) = 0;
    // Input: begin capturing into the queued buffers. Output: nothing to do.
    virtual int Start() = 0;
    // Input: waits until the started device has delivered its first audio
    // (a sound server may take a second or more to begin); false when none
    // came within the time. Devices that deliver from the start return true.
    virtual bool WaitUntilDelivering(unsigned timeoutMs)
    {
        (void)timeoutMs;
        return true;
    }
    // Output, after the last buffer: plays everything queued and waits until
    // it has been played (bounded). Devices that play as they take return
    // at once; their buffers come back as they are played.
    virtual void Drain() { }
    // Stops the device and returns every queued buffer through the callback
    // before it returns; an input buffer comes back with what it holds so far.
    virtual int Reset() = 0;
    // What was lost since the device opened (or the last call): sound not
    // captured, gaps in what was played; a text for the log, empty when
    // nothing was.
    virtual std::string LossReport() { return std::string(); }
    // Whether the started device has gone away: its stream ended or failed
    // without being stopped, or stopped delivering (taking) sound for
    // longer than its buffer. Devices that cannot be lost return false.
    virtual bool Lost() { return false; }
    // The device's name for the log.
    virtual std::string Name() const { return "System default"; }
    // Resets and closes. Safe on a closed device.
    virtual int Close() = 0;

    // The text for a result of this device.
    virtual std::string ErrorText(int result) const;

protected:
    explicit CSoundDevice(SoundDirection direction) : m_direction(direction) { }
    static std::string StandardErrorText(int result);

private:
    SoundDirection m_direction;
};

// The default device of the chosen backend for one direction: the file device
// when SONVOX_CAPTURE_FILE or SONVOX_PLAYBACK_FILE is set, PortAudio otherwise.
std::unique_ptr<CSoundDevice> CreateSoundDevice(SoundDirection direction);

struct SSoundDeviceEntry;
// The device that streams of the backend opened from now on use for a
// direction; an empty entry is the default device.
void ChooseSoundDevice(SoundDirection direction, const SSoundDeviceEntry& device);

// Backend start-up for the life of the library (Audio_Init to Audio_Release),
// so that opening a device later is quick. Both are counted and safe to repeat.
bool SoundBackendStartup();
void SoundBackendShutdown();
bool FileDeviceSelected();
