// The serial tests' pseudo-terminal, their polling wait and their folder.
#pragma once

#include "../common/PtyPair.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// Polls a condition until it holds or the deadline passes.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A folder under /tmp that goes away with the test.
class TempFolder {
public:
    TempFolder()
    {
        char pattern[] = "/tmp/ormid-serial-test-XXXXXX";
        if (char* made = mkdtemp(pattern))
            m_path = made;
    }
    ~TempFolder()
    {
        if (!m_path.empty())
            std::system(("rm -rf '" + m_path + "'").c_str());
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
