#include "SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

const char* const SimProcess::kUnset = "<unset>";

namespace {

const char kBinary[] = ORMID_BIN_DIR "/ormid-unitsim";

pid_t Spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            int* outFd, bool mergeStderr)
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

} // namespace

SimProcess::SimProcess(std::vector<std::string> args, std::map<std::string, std::string> env)
    : m_args(std::move(args)), m_env(std::move(env))
{
}

SimProcess::~SimProcess()
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

bool SimProcess::Start(std::string* error)
{
    m_pid = Spawn(m_args, m_env, &m_stdout, false);
    if (m_pid < 0) {
        *error = "cannot start the simulator";
        return false;
    }
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            *error = "no port line within 15 s";
            return false;
        }
        struct pollfd p {m_stdout, POLLIN, 0};
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

void SimProcess::Signal(int sig)
{
    if (m_pid > 0 && !m_reaped)
        ::kill(m_pid, sig);
}

int SimProcess::WaitExit(int timeoutMs)
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

int SimProcess::RunToEnd(const std::vector<std::string>& args, std::string* output, int timeoutMs)
{
    int fd = -1;
    const pid_t pid = Spawn(args, {}, &fd, true);
    if (pid < 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        struct pollfd p {fd, POLLIN, 0};
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
