#include "PortAudioRuntime.h"

#include "CModulePin.h"
#include "CQuietStderr.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

// While PortAudio starts or ends, every host API probes the sound system and
// ALSA complains of all it does not find: noise, dropped. At any other time
// ALSA (and the sound server's plugin) speaks of a stream in use: that goes
// to the log, never to the operator's terminal.
std::atomic<int> g_probing{0};
std::atomic<void (*)(const char*)> g_sink{nullptr};

void AlsaHandler(const char* file, int line, const char* function, int err, const char* format, ...)
{
    void (*sink)(const char*) = g_sink.load();
    if (g_probing.load() > 0 || !format || !sink)
        return;
    char text[400];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    char message[600];
    snprintf(message, sizeof message, "ALSA: %s%s%s in %s, %s:%d", text, err ? ": " : "", err ? snd_strerror(err) : "",
             function ? function : "?", file ? file : "?", line);
    sink(message);
}

struct Probing {
    Probing() { ++g_probing; }
    ~Probing() { --g_probing; }
};

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
        snd_lib_error_set_handler(AlsaHandler);
        setenv("JACK_NO_START_SERVER", "1", 0);
        CModulePin pin;
        {
            Probing probing;
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

void PortAudioSetMessageSink(void (*sink)(const char* message))
{
    g_sink.store(sink);
}

void PortAudioMessage(const char* message)
{
    void (*sink)(const char*) = g_sink.load();
    if (!sink || !message)
        return;
    std::string text = std::string("PortAudio: ") + message;
    sink(text.c_str());
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
    Probing probing;
    CQuietStderr quiet;
    Pa_Terminate();
}
