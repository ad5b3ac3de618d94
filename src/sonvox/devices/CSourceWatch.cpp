#include "CSourceWatch.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <thread>

namespace {

// How long Start waits for the server at most: a local server answers in
// milliseconds; one that does not is not watched.
constexpr auto kAnswerWait = std::chrono::milliseconds(1000);

void StateCallback(pa_context*, void* self)
{
    static_cast<CSourceWatch*>(self)->OnStateChange();
}

void EventCallback(pa_context*, pa_subscription_event_type_t type, uint32_t index, void* self)
{
    static_cast<CSourceWatch*>(self)->OnEvent(unsigned(type), index);
}

struct Lookup {
    std::string name;
    uint32_t index = PA_INVALID_INDEX;
    bool done = false;
};

void ServerInfoCallback(pa_context*, const pa_server_info* info, void* data)
{
    auto* lookup = static_cast<Lookup*>(data);
    if (info && info->default_source_name)
        lookup->name = info->default_source_name;
    lookup->done = true;
}

void SourceInfoCallback(pa_context*, const pa_source_info* info, int eol, void* data)
{
    auto* lookup = static_cast<Lookup*>(data);
    if (eol == 0 && info)
        lookup->index = info->index;
    else
        lookup->done = true;
}

}  // namespace

CSourceWatch::~CSourceWatch()
{
    Stop();
}

void CSourceWatch::OnStateChange()
{
    const pa_context_state_t state = pa_context_get_state(m_context);
    if (state == PA_CONTEXT_READY)
        m_ready = true;
    else if (!PA_CONTEXT_IS_GOOD(state) && m_ready)
        m_gone = true;
}

void CSourceWatch::OnEvent(unsigned type, uint32_t index)
{
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SOURCE &&
        (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
        m_removed = index;
        if (index == m_index.load())
            m_gone = true;
    }
}

bool CSourceWatch::Start(const std::string& sourceName)
{
    Stop();
    m_gone = false;
    m_ready = false;
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return false;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "ORMID recording");
    if (!m_context) {
        Stop();
        return false;
    }
    pa_context_set_state_callback(m_context, StateCallback, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(m_loop) < 0) {
        Stop();
        return false;
    }
    // Each answer is waited for by looking, bounded: a server that does not
    // answer must not hold up the recording.
    const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
    auto waitFor = [&](auto answered) {
        for (;;) {
            pa_threaded_mainloop_lock(m_loop);
            const bool failed = !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
            const bool ok = !failed && answered();
            pa_threaded_mainloop_unlock(m_loop);
            if (ok)
                return true;
            if (failed || std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    };
    Lookup lookup;
    lookup.name = sourceName;
    bool found = waitFor([this] { return m_ready.load(); });
    if (found && lookup.name.empty()) {
        pa_threaded_mainloop_lock(m_loop);
        if (pa_operation* o = pa_context_get_server_info(m_context, ServerInfoCallback, &lookup))
            pa_operation_unref(o);
        else
            lookup.done = true;
        pa_threaded_mainloop_unlock(m_loop);
        found = waitFor([&lookup] { return lookup.done; }) && !lookup.name.empty();
    }
    if (found) {
        lookup.done = false;
        pa_threaded_mainloop_lock(m_loop);
        // Subscribed before the look-up: a source that leaves in between is
        // the one removed last.
        pa_context_set_subscribe_callback(m_context, EventCallback, this);
        if (pa_operation* o = pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
            pa_operation_unref(o);
        if (pa_operation* o =
                pa_context_get_source_info_by_name(m_context, lookup.name.c_str(), SourceInfoCallback, &lookup))
            pa_operation_unref(o);
        else
            lookup.done = true;
        pa_threaded_mainloop_unlock(m_loop);
        found = waitFor([&lookup] { return lookup.done; }) && lookup.index != PA_INVALID_INDEX;
    }
    if (!found) {
        Stop();
        return false;
    }
    m_index = lookup.index;
    if (m_removed.load() == lookup.index)
        m_gone = true;
    return true;
}

void CSourceWatch::Stop()
{
    if (m_loop)
        pa_threaded_mainloop_stop(m_loop);
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }
    m_index = PA_INVALID_INDEX;
    m_removed = PA_INVALID_INDEX;
}
