// The six calls of the audio library that the main panel uses for the
// preview, behind an interface: the program binds the real library, tests on
// machines without a sound card hand in their own.
#pragma once

class ISonvoxApi {
public:
    virtual ~ISonvoxApi() = default;
    // Non-zero when audio is usable.
    virtual int Init(const char* logPath) = 0;
    virtual void Release() = 0;
    virtual void PreviewCancel() = 0;
    // Non-zero when the file was loaded for playing.
    virtual int LoadPlay(const char* path) = 0;
    // Milliseconds of the loaded file.
    virtual unsigned GetDuration() = 0;
    virtual void Preview() = 0;
};
