#pragma once
// Runs the built ormid-unitsim as a child process and reads its port line.

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess
{
public:
    // env: variables to set in the child; the value kUnset removes one instead.
    SimProcess(std::vector<std::string> args, std::map<std::string, std::string> env = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the program and waits (up to 15 s) for "port: PATH".
    bool Start(std::string* error);
    const std::string& Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }

    void Signal(int sig);
    // Waits up to timeoutMs for the program to end; its exit code, or -1 when it
    // is still running (or died from a signal).
    int WaitExit(int timeoutMs);
    // Runs to completion and returns the exit code (for option errors).
    static int RunToEnd(const std::vector<std::string>& args, std::string* output, int timeoutMs = 15000);

    static const char* const kUnset;

private:
    std::vector<std::string> m_args;
    std::map<std::string, std::string> m_env;
    pid_t m_pid = -1;
    int m_stdout = -1;
    bool m_reaped = false;
    std::string m_port;
};
