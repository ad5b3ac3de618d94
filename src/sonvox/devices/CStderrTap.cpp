#include "CStderrTap.h"

#include "CQuietStderr.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

std::mutex g_tapLock;
int g_users = 0;
int g_original = -1;  // standard error as it was, to give back
std::atomic<CStderrTap::Sink> g_sink{nullptr};

void WriteAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        length -= size_t(n);
    }
}

// Reads the pipe until every writer has closed it.
void Forward(int in, int out)
{
    std::string pending;
    char chunk[4096];
    auto pass = [out](const std::string& line) {
        CStderrTap::Sink sink = g_sink.load();
        if (CStderrTap::IsPortAudioLine(line)) {
            if (sink)
                sink(line.substr(0, line.find_last_not_of("\r\n") + 1).c_str());
            return;
        }
        WriteAll(out, line.data(), line.size());
    };
    for (;;) {
        const ssize_t n = read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(chunk, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            pass(pending.substr(0, end + 1));
            pending.erase(0, end + 1);
        }
    }
    if (!pending.empty())
        pass(pending);
    close(in);
    close(out);
}

}  // namespace

bool CStderrTap::IsPortAudioLine(const std::string& line)
{
    return line.find("src/hostapi/") != std::string::npos || line.find("src/common/pa_") != std::string::npos ||
           line.find("src/os/unix/pa_") != std::string::npos;
}

void CStderrTap::Acquire(Sink sink)
{
    std::lock_guard<std::mutex> tap(g_tapLock);
    g_sink = sink;
    if (g_users++ > 0)
        return;
    std::lock_guard<std::mutex> quiet(StderrLock());
    fflush(stderr);
    int fds[2];
    const int original = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int out = original >= 0 ? fcntl(original, F_DUPFD_CLOEXEC, 3) : -1;
    if (out < 0 || pipe2(fds, O_CLOEXEC) != 0) {
        if (original >= 0)
            close(original);
        if (out >= 0)
            close(out);
        return;  // standard error stays as it is
    }
    // Standard error itself is inherited as ever: only our copies are closed
    // on exec.
    if (dup2(fds[1], STDERR_FILENO) < 0) {
        close(fds[0]);
        close(fds[1]);
        close(original);
        close(out);
        return;
    }
    close(fds[1]);
    g_original = original;
    std::thread(Forward, fds[0], out).detach();
}

void CStderrTap::Release()
{
    std::lock_guard<std::mutex> tap(g_tapLock);
    if (g_users == 0 || --g_users > 0)
        return;
    if (g_original < 0)
        return;
    std::lock_guard<std::mutex> quiet(StderrLock());
    fflush(stderr);
    dup2(g_original, STDERR_FILENO);
    close(g_original);
    g_original = -1;
}
