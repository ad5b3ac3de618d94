// Runs the built ormid-unitsim as a child process for a test, reads its port
// line, and ends it (SIGTERM, then SIGKILL) when the test is done. The one
// simulator launcher of every test.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class SimProcess {
public:
    SimProcess() = default;
    // env: variables to set in the child; the value kUnset removes one instead.
    SimProcess(std::vector<std::string> args, std::map<std::string, std::string> env = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the program and waits (up to 15 s) for "port: PATH".
    bool Start(std::string* error);
    bool Start(std::vector<std::string> args)
    {
        m_args = std::move(args);
        std::string ignored;
        return Start(&ignored);
    }
    const std::string& Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }

    void Signal(int sig);
    // Waits up to timeoutMs for the program to end; its exit code, or -1 when it
    // is still running (or died from a signal).
    int WaitExit(int timeoutMs);
    // Ends the program; its flash file is complete afterwards.
    void Stop()
    {
        Signal(SIGTERM);
        if (m_pid > 0 && !m_reaped && WaitExit(10000) == -1 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_reaped = true;
        }
    }
    // Runs to completion and returns the exit code (for option errors).
    static int RunToEnd(const std::vector<std::string>& args, std::string* output, int timeoutMs = 15000);

    static constexpr const char* kUnset = "<unset>";

private:
    std::vector<std::string> m_args;
    std::map<std::string, std::string> m_env;
    pid_t m_pid = -1;
    int m_stdout = -1;
    bool m_reaped = false;
    std::string m_port;
};

namespace sim_process_detail {

inline const char kBinary[] = ORMID_BIN_DIR "/ormid-unitsim";

inline pid_t Spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env, int* outFd,
                   bool mergeStderr)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        if (mergeStderr)
            ::dup2(pipeFds[1], 2);
        for (const auto& kv : env) {
            if (kv.second == SimProcess::kUnset)
                ::unsetenv(kv.first.c_str());
            else
                ::setenv(kv.first.c_str(), kv.second.c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kBinary));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(kBinary, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    *outFd = pipeFds[0];
    return pid;
}

}  // namespace sim_process_detail

inline SimProcess::SimProcess(std::vector<std::string> args, std::map<std::string, std::string> env)
    : m_args(std::move(args)), m_env(std::move(env))
{
}

inline SimProcess::~SimProcess()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGTERM);
        if (WaitExit(10000) == -1 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_stdout >= 0)
        ::close(m_stdout);
}

inline bool SimProcess::Start(std::string* error)
{
    // One object may run the simulator again after it ended.
    Stop();
    if (m_stdout >= 0)
        ::close(m_stdout);
    m_stdout = -1;
    m_reaped = false;
    m_port.clear();
    m_pid = sim_process_detail::Spawn(m_args, m_env, &m_stdout, false);
    if (m_pid < 0) {
        *error = "cannot start the simulator";
        return false;
    }
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (text.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            *error = "no port line within 15 s";
            return false;
        }
        struct pollfd p {
            m_stdout, POLLIN, 0
        };
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(m_stdout, buf, sizeof buf);
        if (n <= 0) {
            *error = "simulator ended before printing its port";
            return false;
        }
        text.append(buf, static_cast<size_t>(n));
    }
    const std::string line = text.substr(0, text.find('\n'));
    if (line.rfind("port: ", 0) != 0) {
        *error = "first line is not a port line: " + line;
        return false;
    }
    m_port = line.substr(6);
    return true;
}

inline void SimProcess::Signal(int sig)
{
    if (m_pid > 0 && !m_reaped)
        ::kill(m_pid, sig);
}

inline int SimProcess::WaitExit(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

inline int SimProcess::RunToEnd(const std::vector<std::string>& args, std::string* output, int timeoutMs)
{
    int fd = -1;
    const pid_t pid = sim_process_detail::Spawn(args, {}, &fd, true);
    if (pid < 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        struct pollfd p {
            fd, POLLIN, 0
        };
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        output->append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
