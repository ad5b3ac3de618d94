// Waits for something a test expects to happen soon: looks at the condition
// every few milliseconds and gives up after the limit. A Qt test passes
// QTest::qWait as the pause so that events are handled while it waits.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000, void (*pause)(int ms) = nullptr)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (pause)
            pause(5);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
