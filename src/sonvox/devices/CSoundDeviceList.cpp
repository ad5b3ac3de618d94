#include "CSoundDeviceList.h"

#include "CQuietStderr.h"
#include "PortAudioRuntime.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>
#include <pulse/pulseaudio.h>

#include <chrono>

namespace {

// Longest wait for a sound server's answer: a server that hangs must not
// hang the program with it.
constexpr auto kServerWait = std::chrono::seconds(2);

struct ServerDevice {
    std::string name;
    std::string description;
};

struct ServerAnswer {
    std::vector<ServerDevice> sinks;
    std::vector<ServerDevice> sources;
    int pending = 0;
};

void AddSink(pa_context*, const pa_sink_info* info, int eol, void* data)
{
    auto* answer = static_cast<ServerAnswer*>(data);
    if (eol) {
        --answer->pending;
        return;
    }
    if (info && info->name)
        answer->sinks.push_back({info->name, info->description ? info->description : ""});
}

void AddSource(pa_context*, const pa_source_info* info, int eol, void* data)
{
    auto* answer = static_cast<ServerAnswer*>(data);
    if (eol) {
        --answer->pending;
        return;
    }
    // A monitor plays back what a sink plays: no microphone.
    if (info && info->name && info->monitor_of_sink == PA_INVALID_INDEX)
        answer->sources.push_back({info->name, info->description ? info->description : ""});
}

// Asks the sound server for its sinks and sources; false when no server
// answered in time. A server is never started for it.
bool AskServer(ServerAnswer& answer)
{
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "ORMID");
    bool asked = false, answered = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + kServerWait;
        while (std::chrono::steady_clock::now() < deadline) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
                break;
            if (state == PA_CONTEXT_READY && !asked) {
                asked = true;
                answer.pending = 2;
                if (pa_operation* o = pa_context_get_sink_info_list(context, AddSink, &answer))
                    pa_operation_unref(o);
                else
                    --answer.pending;
                if (pa_operation* o = pa_context_get_source_info_list(context, AddSource, &answer))
                    pa_operation_unref(o);
                else
                    --answer.pending;
            }
            if (asked && answer.pending <= 0) {
                answered = true;
                break;
            }
            if (pa_mainloop_prepare(loop, 50000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
                break;
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return answered;
}

}  // namespace

bool CSoundDeviceList::AlsaReachesServer()
{
    snd_config_t* top = nullptr;
    if (snd_config_update_ref(&top) < 0 || !top)
        return false;
    snd_config_t* node = nullptr;
    const bool found = snd_config_search(top, "pcm.pulse", &node) == 0;
    snd_config_unref(top);
    return found;
}

namespace {

std::string Quoted(const std::string& text)
{
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    return q + "\"";
}

std::vector<SSoundDeviceEntry> ServerEntries(const std::vector<ServerDevice>& devices)
{
    auto shown = [](const ServerDevice& d) { return d.description.empty() ? d.name : d.description; };
    std::vector<SSoundDeviceEntry> entries;
    for (const ServerDevice& d : devices) {
        SSoundDeviceEntry e;
        e.name = shown(d);
        // Two devices that look alike are told apart by the server's names.
        for (const ServerDevice& other : devices)
            if (&other != &d && shown(other) == shown(d)) {
                e.name += " (" + d.name + ")";
                break;
            }
        e.alsaName = "pulse:DEVICE=" + Quoted(d.name);
        e.serverName = d.name;
        entries.push_back(e);
    }
    return entries;
}

std::vector<SSoundDeviceEntry> PortAudioEntries(SoundDirection direction)
{
    std::vector<SSoundDeviceEntry> entries;
    if (PortAudioStart() != paNoError)
        return entries;
    for (PaDeviceIndex i = 0, n = Pa_GetDeviceCount(); i < n; ++i) {
        const PaDeviceInfo* d = Pa_GetDeviceInfo(i);
        if (!d || !d->name)
            continue;
        const int channels = direction == SoundDirection::Input ? d->maxInputChannels : d->maxOutputChannels;
        // "default" is the system default, offered apart.
        if (channels <= 0 || std::string(d->name) == "default")
            continue;
        SSoundDeviceEntry e;
        e.name = e.portAudioName = d->name;
        entries.push_back(e);
    }
    PortAudioStop();
    return entries;
}

}  // namespace

std::vector<SSoundDeviceEntry> CSoundDeviceList::List(SoundDirection direction)
{
    ServerAnswer answer;
    bool server;
    {
        CQuietStderr quiet;
        server = AlsaReachesServer() && AskServer(answer);
    }
    if (server)
        return ServerEntries(direction == SoundDirection::Input ? answer.sources : answer.sinks);
    return PortAudioEntries(direction);
}

SSoundDeviceChoice CSoundDeviceList::Resolve(const std::vector<SSoundDeviceEntry>& devices, const std::string& name)
{
    SSoundDeviceChoice choice;
    if (name.empty() || name == kSystemDefault)
        return choice;
    for (const SSoundDeviceEntry& d : devices)
        if (d.name == name) {
            choice.device = d;
            return choice;
        }
    choice.missing = true;
    return choice;
}

SSoundDeviceChoice CSoundDeviceList::Resolve(SoundDirection direction, const std::string& name)
{
    if (name.empty() || name == kSystemDefault)
        return SSoundDeviceChoice();
    return Resolve(List(direction), name);
}

std::string CSoundDeviceList::MissingText(SoundDirection direction, const std::string& name)
{
    return std::string("The sound ") + (direction == SoundDirection::Input ? "input" : "output") + " device \"" + name +
           "\" is not connected: the system default is used.";
}
