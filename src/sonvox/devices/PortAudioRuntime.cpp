#include "PortAudioRuntime.h"

#include "CModulePin.h"
#include "CQuietStderr.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include <cstdlib>
#include <mutex>

namespace {

void SilentAlsaHandler(const char*, int, const char*, int, const char*, ...) { }

std::mutex g_lock;
int g_users = 0;  // successful starts not yet matched by a stop

}  // namespace

int PortAudioStart(std::string* error)
{
    std::lock_guard<std::mutex> lk(g_lock);
    PaError e;
    if (g_users > 0) {
        e = Pa_Initialize();
    } else {
        snd_lib_error_set_handler(SilentAlsaHandler);
        setenv("JACK_NO_START_SERVER", "1", 0);
        CModulePin pin;
        {
            CQuietStderr quiet;
            e = Pa_Initialize();
        }
        pin.PinNewModules();
    }
    if (e == paNoError)
        ++g_users;
    else if (error)
        *error = Pa_GetErrorText(e);
    return e;
}

void PortAudioStop()
{
    std::lock_guard<std::mutex> lk(g_lock);
    if (g_users == 0)
        return;
    if (--g_users > 0) {
        Pa_Terminate();
        return;
    }
    CQuietStderr quiet;
    Pa_Terminate();
}
