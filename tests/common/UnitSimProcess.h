// Runs ormid-unitsim for a test and knows its port; ends it on destruction.
#pragma once

#include "ExecProgram.h"
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class UnitSimProcess {
public:
    // Starts the simulator with the given arguments and waits for its port line.
    bool Start(const std::vector<std::string>& args)
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        m_pid = fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            ExecProgram("ormid-unitsim", args);
        }
        close(out[1]);
        FILE* f = fdopen(out[0], "r");
        char line[512] = {};
        bool ok = f && fgets(line, sizeof line, f) != nullptr;
        if (f)
            fclose(f);
        std::string text = ok ? line : "";
        if (text.rfind("port: ", 0) != 0)
            return false;
        m_port = text.substr(6);
        while (!m_port.empty() && (m_port.back() == '\n' || m_port.back() == '\r'))
            m_port.pop_back();
        return true;
    }

    const std::string& Port() const { return m_port; }

    // Ends the simulator; its flash file is complete afterwards.
    int Stop()
    {
        int status = -1;
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        return status;
    }

    ~UnitSimProcess() { Stop(); }

private:
    pid_t m_pid = -1;
    std::string m_port;
};
