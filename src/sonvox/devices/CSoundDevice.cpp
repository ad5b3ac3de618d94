#include "CSoundDevice.h"

#include "CFileDevice.h"
#include "CPortAudioDevice.h"

#include <cstdlib>

uint32_t StandardFormatFlag(const SoundFormat& f)
{
    uint32_t base;
    switch (f.samplesPerSec) {
    case 11025:
        base = kFormat11M08;
        break;
    case 22050:
        base = kFormat22M08;
        break;
    case 44100:
        base = kFormat44M08;
        break;
    default:
        return 0;
    }
    if (f.channels != 1 && f.channels != 2)
        return 0;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16)
        return 0;
    uint32_t shift = (f.channels == 2 ? 1 : 0) + (f.bitsPerSample == 16 ? 2 : 0);
    return base << shift;
}

int CSoundDevice::Prepare(SoundBuffer* buffer)
{
    if (!buffer || !buffer->data || buffer->bufferLength == 0)
        return kSoundInvalidParam;
    buffer->flags |= kBufferPrepared;
    return kSoundOk;
}

int CSoundDevice::Unprepare(SoundBuffer* buffer)
{
    if (!buffer)
        return kSoundInvalidParam;
    if (buffer->flags & kBufferQueued)
        return kSoundStillQueued;
    buffer->flags &= ~kBufferPrepared;
    return kSoundOk;
}

std::string CSoundDevice::ErrorText(int result) const
{
    return StandardErrorText(result);
}

std::string CSoundDevice::StandardErrorText(int result)
{
    switch (result) {
    case kSoundOk:
        return "The operation completed successfully";
    case kSoundError:
        return "Unspecified error";
    case kSoundNoDevice:
        return "No sound device is available";
    case kSoundNotOpen:
        return "The device is not open";
    case kSoundAlreadyOpen:
        return "The device is already open";
    case kSoundBadFormat:
        return "The device does not support this format";
    case kSoundNotPrepared:
        return "The buffer is not prepared";
    case kSoundStillQueued:
        return "The buffer is still with the device";
    case kSoundInvalidParam:
        return "Invalid parameter";
    case kSoundNoMemory:
        return "Out of memory";
    default:
        return "<Unknown Error>";
    }
}

bool FileDeviceSelected()
{
    return getenv("SONVOX_CAPTURE_FILE") != nullptr || getenv("SONVOX_PLAYBACK_FILE") != nullptr;
}

std::unique_ptr<CSoundDevice> CreateSoundDevice(SoundDirection direction)
{
    if (FileDeviceSelected()) {
        const char* path = getenv(direction == SoundDirection::Input ? "SONVOX_CAPTURE_FILE" : "SONVOX_PLAYBACK_FILE");
        return std::make_unique<CFileDevice>(direction, path ? path : "");
    }
    return std::make_unique<CPortAudioDevice>(direction);
}

void ChooseSoundDevice(SoundDirection direction, const SSoundDeviceEntry& device)
{
    CPortAudioDevice::Use(direction, device);
}

bool SoundBackendStartup()
{
    if (FileDeviceSelected())
        return true;
    return CPortAudioDevice::BackendStartup();
}

void SoundBackendShutdown()
{
    CPortAudioDevice::BackendShutdown();
}
