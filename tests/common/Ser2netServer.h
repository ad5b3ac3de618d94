// Runs Debian's ser2net for a test, with a YAML file the test writes: each
// device gets an RFC 2217 accepter and a raw TCP accepter on free ports of
// 127.0.0.1. Kill() ends it at once (SIGKILL), as a server that dies, and
// Pause() stops it, as a network that falls silent; the
// destructor ends it in any case. A test fails rather than skips when
// ser2net is missing under CI (MustRun()).
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class Ser2netServer {
public:
    struct Device {
        std::string path;
        int rfc2217Port = 0;
        int tcpPort = 0;
        std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port); }
        std::string Tcp() const { return "tcp://127.0.0.1:" + std::to_string(tcpPort); }
    };

    static constexpr const char* kBinary = "/usr/sbin/ser2net";

    static bool Available() { return ::access(kBinary, X_OK) == 0; }
    // Under CI the tests with the server must run: the test script installs it.
    static bool MustRun() { return std::getenv("CI") != nullptr; }

    // A port of 127.0.0.1 that nobody listens on right now.
    static int FreePort()
    {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
            port = ntohs(addr.sin_port);
        ::close(fd);
        return port;
    }

    Ser2netServer(const std::string& folder, const std::vector<std::string>& devices) : m_folder(folder)
    {
        for (const std::string& path : devices)
            m_devices.push_back({path, FreePort(), FreePort()});
    }
    ~Ser2netServer() { Kill(); }
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    const Device& At(size_t index) const { return m_devices.at(index); }
    // ser2net holds the device's bytes back until the line pauses (on by
    // default); off, each byte goes out at once.
    void SetCharDelay(bool on) { m_charDelay = on; }

    // Writes the YAML, starts the server and waits (up to 10 s) until every
    // accepter listens.
    bool Start()
    {
        const std::string yaml = m_folder + "/ser2net.yaml";
        {
            std::ofstream out(yaml);
            out << "%YAML 1.1\n---\n";
            int n = 0;
            for (const Device& device : m_devices) {
                for (int raw = 0; raw < 2; ++raw) {
                    out << "connection: &con" << n++ << "\n"
                        << "  accepter: " << (raw ? "tcp," : "telnet(rfc2217),tcp,") << "127.0.0.1,"
                        << (raw ? device.tcpPort : device.rfc2217Port) << "\n"
                        << "  connector: serialdev," << device.path << ",115200n81,local\n"
                        << "  options:\n    kickolduser: false\n"
                        << (m_charDelay ? "" : "    chardelay: false\n") << "\n";
                }
            }
        }
        // The child reopens stdout: what the parent had not written yet
        // would be written twice.
        std::fflush(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            // A test that crashes leaves no server behind.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const std::string log = m_folder + "/ser2net.log";
            std::freopen(log.c_str(), "w", stdout);
            std::freopen(log.c_str(), "a", stderr);
            ::execl(kBinary, kBinary, "-n", "-u", "-c", yaml.c_str(), "-P", (m_folder + "/ser2net.pid").c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (m_pid < 0)
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (const Device& device : m_devices)
            for (int port : {device.rfc2217Port, device.tcpPort})
                while (!Listens(port)) {
                    if (std::chrono::steady_clock::now() > deadline || ::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
        return true;
    }

    // Stops and continues the server: a network gone silent, without a reset.
    void Pause() { Signal(SIGSTOP); }
    void Resume() { Signal(SIGCONT); }

    void Kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    void Signal(int sig)
    {
        if (m_pid > 0)
            ::kill(m_pid, sig);
    }

    // Looks for the port in the kernel's table of listening sockets rather
    // than connecting, which would open the device behind it.
    static bool Listens(int port)
    {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        char local[64];
        unsigned state = 0;
        std::getline(table, line);
        while (std::getline(table, line)) {
            if (std::sscanf(line.c_str(), "%*d: %63s %*s %x", local, &state) != 2)
                continue;
            const std::string address = local;
            const size_t colon = address.find(':');
            if (state == 0x0A && colon != std::string::npos &&
                std::strtol(address.c_str() + colon + 1, nullptr, 16) == port)
                return true;
        }
        return false;
    }

    std::string m_folder;
    std::vector<Device> m_devices;
    pid_t m_pid = -1;
    bool m_charDelay = true;
};
