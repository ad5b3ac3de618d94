// One ormid-cli run in a child process with its stderr (and, when asked,
// its stdout) kept in a file.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ExecProgram.h"
#include "TestImages.h"

class CliProcess {
public:
    void Start(const std::vector<std::string>& args, const std::string& errPath, const std::string& outPath = "")
    {
        m_errPath = errPath;
        m_outPath = outPath;
        m_pid = fork();
        if (m_pid == 0) {
            int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 2);
            close(fd);
            if (!outPath.empty()) {
                fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2(fd, 1);
                close(fd);
            }
            ExecProgram("ormid-cli", args);
        }
    }
    bool Running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        return true;
    }
    void Signal(int sig)
    {
        if (m_pid > 0)
            kill(m_pid, sig);
    }
    // Waits at most the given time; -1 when the program is still running.
    int Wait(int seconds = 60)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (Running()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -1;
        }
        return m_exit;
    }
    std::string Stderr() const
    {
        auto bytes = ReadBytes(m_errPath);
        return std::string(bytes.begin(), bytes.end());
    }
    std::string Stdout() const
    {
        auto bytes = ReadBytes(m_outPath);
        return std::string(bytes.begin(), bytes.end());
    }
    ~CliProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
    int m_exit = -1;
    std::string m_errPath;
    std::string m_outPath;
};
