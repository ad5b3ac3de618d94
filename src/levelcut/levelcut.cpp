// The library's exports: one processor for the process, calls serialised.
#include "levelcut.h"

#include "CLevelcut.h"

#include <mutex>

#define LEVELCUT_API extern "C" __attribute__((visibility("default")))

namespace {

std::mutex& Lock()
{
    static std::mutex m;
    return m;
}

CLevelcut& Processor()
{
    static CLevelcut p;
    return p;
}

}  // namespace

LEVELCUT_API int SetInitialTrim(int samples)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().SetInitialTrim(samples);
}

LEVELCUT_API int SetThreshold(float threshold)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().SetThreshold(threshold);
}

LEVELCUT_API int SetClipAmount(float amount)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().SetClipAmount(amount);
}

LEVELCUT_API int SetTimeConstant(float timeConstant)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().SetTimeConstant(timeConstant);
}

LEVELCUT_API int SetThreshFudge(float factor)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().SetThreshFudge(factor);
}

LEVELCUT_API int TrimFunc(const char* path)
{
    std::lock_guard<std::mutex> g(Lock());
    try {
        return Processor().TrimFile(path);
    } catch (...) {
        // Out of memory: the recording could not be loaded.
        Processor().ClearResults();
        return LEVELCUT_ERR_OPEN;
    }
}

LEVELCUT_API double GetSNR(void)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().Snr();
}

LEVELCUT_API double GetGain(void)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().Gain();
}

LEVELCUT_API double GetClip(void)
{
    std::lock_guard<std::mutex> g(Lock());
    return Processor().Clip();
}
