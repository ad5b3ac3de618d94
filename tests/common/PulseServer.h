// A private PulseAudio daemon, or a private PipeWire session serving the same
// protocol (pipewire, wireplumber and pipewire-pulse on a D-Bus session bus
// of their own), for tests and benchmarks that need a real sound server: its
// own runtime folder, home and configuration under a temporary folder, so
// the machine's own server and settings are never touched. It
// offers two silent speakers, "Speaker One" (out1, the default) and "Speaker
// Two" (out2), a "Test Microphone" (mic, the default input) that hears
// whatever is played into the sink "feed", and a "Second Microphone" (mic2)
// that hears the sink "feed2".
// Once started, Use() points this process (and the programs it starts) at
// the daemon: libpulse through PULSE_SERVER, ALSA's default device through
// an .asoundrc in the private home. The daemon is stopped by the destructor.
//
// Running as root (as CI does): pulseaudio warns that it is not meant for
// root but runs a per-user daemon as long as --system is not given; it then
// simply lacks real-time scheduling. --exit-idle-time=-1 keeps it up while no
// client is connected, -n skips the machine's default.pa, and no pid file is
// written, so parallel tests each have a daemon of their own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class PulseServer {
public:
    enum Kind { kPulseAudio, kPipeWire };
    explicit PulseServer(Kind kind = kPulseAudio) : m_kind(kind) { }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;
    ~PulseServer() { Stop(); }

    static const char* Name(Kind kind) { return kind == kPipeWire ? "PipeWire" : "PulseAudio"; }

    // Where the server's program is (pulseaudio, or pipewire-pulse with the
    // rest of the session beside it); empty when it is not installed.
    static std::string Program(Kind kind = kPulseAudio)
    {
        if (kind == kPulseAudio)
            return Find("pulseaudio");
        for (const char* part : {"pipewire", "wireplumber", "dbus-daemon"})
            if (Find(part).empty())
                return std::string();
        return Find("pipewire-pulse");
    }

    // Starts the daemon and waits until it answers. Empty on success, else
    // why it did not start (with the end of its log).
    std::string Start()
    {
        const std::string program = Program(m_kind);
        if (program.empty())
            return m_kind == kPipeWire ? "pipewire, wireplumber, pipewire-pulse or dbus-daemon is not installed"
                                       : "pulseaudio is not installed";
        char pattern[] = "/tmp/ormid-pulse-XXXXXX";
        if (!::mkdtemp(pattern))
            return "no temporary folder";
        m_root = pattern;
        for (const char* sub : {"/run", "/home", "/home/.config"})
            ::mkdir((m_root + sub).c_str(), 0700);
        std::ofstream(m_root + "/default.pa") << Script();
        std::ofstream(m_root + "/home/.asoundrc") << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
        if (m_kind == kPipeWire)
            return StartPipeWire(program);

        m_pid = Spawn({program, "-n", "-F", m_root + "/default.pa", "--daemonize=no", "--exit-idle-time=-1",
                       "--use-pid-file=false", "--system=false", "--log-target=stderr"},
                      m_root + "/daemon.log", true);
        Forget(m_pid);
        if (m_pid < 0)
            return "fork failed";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return "pulseaudio ended at start: " + LogTail();
            }
            if (::access(Socket().c_str(), F_OK) == 0 && Run("pactl info >/dev/null 2>&1"))
                return WakeSpeakers() ? std::string() : "the speakers did not start: " + LogTail();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "pulseaudio did not answer within 15 s: " + LogTail();
    }

    // Points this process, and what it starts, at the daemon.
    void Use() const { SetEnvironment(); }

    // Runs a shell command against the daemon; true when it exits 0.
    bool Run(const std::string& command) const
    {
        std::string env = "env";
        for (const char* name : kDropped)
            env += std::string(" -u ") + name;
        for (const auto& [name, value] : Overrides())
            env += " " + name + "='" + value + "'";
        return std::system((env + " " + command).c_str()) == 0;
    }

    // Stops the daemon (and every recorder still running) and removes its folder.
    void Stop()
    {
        for (pid_t pid : m_children)
            StopChild(pid);
        m_children.clear();
        // The session's parts, last started first.
        for (auto it = m_session.rbegin(); it != m_session.rend(); ++it)
            StopChild(*it);
        m_session.clear();
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (!m_root.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_root, ignored);
            m_root.clear();
        }
    }

    std::string Socket() const { return m_root + "/run/pulse/native"; }

    // Starts a program against the daemon with stdout (and, when asked,
    // stderr) to outPath; its pid, ended at the latest by Stop().
    pid_t Spawn(const std::vector<std::string>& args, const std::string& outPath = "/dev/null", bool errorsToo = false)
    {
        // Everything the child needs is made before the fork: after it, only
        // calls that are safe in the child of a threaded process.
        std::vector<std::string> env = Environment();
        std::vector<char*> argv, envp;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(out, 1);
            ::dup2(errorsToo ? out : null, 2);
            ::execvpe(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        if (pid > 0)
            m_children.push_back(pid);
        return pid;
    }

    // Plays a WAV file into a sink: "feed" is what the Test Microphone hears.
    pid_t Feed(const std::string& wav, const std::string& sink = "feed")
    {
        return Spawn({"paplay", "--device=" + sink, wav});
    }

    // Waits for a program started by Spawn to end by itself; its exit code.
    int Wait(pid_t pid)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        Forget(pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Ends a program started by Spawn.
    void End(pid_t pid)
    {
        StopChild(pid);
        Forget(pid);
    }

    // Records what a sink plays, as 16-bit mono raw samples at rate, into a
    // file, from a monitor of the sink, until StopRecording. Returns once
    // the recorder delivers. Its pid, or -1.
    pid_t RecordSink(const std::string& sink, unsigned rate, const std::string& rawPath)
    {
        ::unlink(rawPath.c_str());  // a file of an earlier recording would look like this one
        const pid_t pid = Spawn({"parec", "--device=" + sink + ".monitor", "--format=s16le",
                                 "--rate=" + std::to_string(rate), "--channels=1", "--raw", "--latency-msec=10"},
                                rawPath);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            struct stat st;
            if (::stat(rawPath.c_str(), &st) == 0 && st.st_size > 0)
                return pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        End(pid);
        return -1;
    }

    // Ends a recorder and returns its samples.
    std::vector<int16_t> StopRecording(pid_t pid, const std::string& rawPath)
    {
        End(pid);
        std::ifstream in(rawPath, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> samples(bytes.size() / 2);
        std::copy(bytes.begin(), bytes.begin() + samples.size() * 2, reinterpret_cast<char*>(samples.data()));
        return samples;
    }

private:
    static std::string Find(const char* name)
    {
        for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
            const std::string path = std::string(dir) + name;
            if (::access(path.c_str(), X_OK) == 0)
                return path;
        }
        return std::string();
    }

    static bool WaitForFile(const std::string& path, int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (::access(path.c_str(), F_OK) != 0) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // A part of the session, ended by Stop().
    bool StartPart(const std::vector<std::string>& args, const std::string& log)
    {
        const pid_t pid = Spawn(args, m_root + "/" + log, true);
        Forget(pid);
        if (pid > 0)
            m_session.push_back(pid);
        return pid > 0;
    }

    // The bus, the media server, its session manager (which keeps the
    // defaults) and the PulseAudio protocol, then the same devices as the
    // daemon's script makes, loaded through that protocol.
    std::string StartPipeWire(const std::string& pulse)
    {
        if (!StartPart({Find("dbus-daemon"), "--session", "--nofork", "--address=unix:path=" + m_root + "/run/bus"},
                       "dbus.log") ||
            !WaitForFile(m_root + "/run/bus", 10))
            return "the session bus did not start";
        if (!StartPart({Find("pipewire")}, "pipewire.log") || !WaitForFile(m_root + "/run/pipewire-0", 10))
            return "pipewire did not start: " + LogTail("pipewire.log");
        if (!StartPart({Find("wireplumber")}, "wireplumber.log") || !StartPart({pulse}, "daemon.log"))
            return "the session did not start";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!(::access(Socket().c_str(), F_OK) == 0 && Run("pactl info >/dev/null 2>&1"))) {
            if (std::chrono::steady_clock::now() >= deadline)
                return "pipewire-pulse did not answer within 15 s: " + LogTail();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::istringstream script(Script());
        for (std::string line; std::getline(script, line);) {
            if (line.compare(0, 12, "load-module ") != 0 || line.find("native-protocol") != std::string::npos)
                continue;
            std::vector<std::string> args{"pactl"};
            for (std::string& word : Words(line))
                args.push_back(word);
            if (Wait(Spawn(args)) != 0)
                return "pipewire-pulse refused: " + line;
        }
        // The defaults are the session manager's, which may still be starting.
        while (!(Run("pactl set-default-sink out1 >/dev/null 2>&1") &&
                 Run("pactl set-default-source mic >/dev/null 2>&1"))) {
            if (std::chrono::steady_clock::now() >= deadline)
                return "wireplumber did not take the defaults: " + LogTail("wireplumber.log");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return WakeSpeakers() ? std::string() : "the speakers did not start: " + LogTail();
    }

    // A script line's words; double quotes (kept) hold spaces.
    static std::vector<std::string> Words(const std::string& line)
    {
        std::vector<std::string> words(1);
        bool quoted = false;
        for (char c : line) {
            if (c == ' ' && !quoted) {
                if (!words.back().empty())
                    words.emplace_back();
                continue;
            }
            quoted = c == '"' ? !quoted : quoted;
            words.back() += c;
        }
        if (words.back().empty())
            words.pop_back();
        return words;
    }

    // A quiet listener on each speaker keeps it working in small steps, as
    // a sound card would, from the start. True once both run so.
    bool WakeSpeakers()
    {
        std::vector<std::string> files;
        for (const char* sink : {"out1", "out2"}) {
            files.push_back(m_root + "/awake-" + sink + ".raw");
            Spawn({"parec", std::string("--device=") + sink + ".monitor", "--format=s16le", "--rate=8000",
                   "--channels=1", "--raw", "--latency-msec=10"},
                  files.back());
        }
        for (const std::string& file : files) {
            int steps = 0;
            off_t last = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (steps < 3 && std::chrono::steady_clock::now() < deadline) {
                struct stat st;
                if (::stat(file.c_str(), &st) == 0 && st.st_size > last) {
                    last = st.st_size;
                    ++steps;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (steps < 3)
                return false;
        }
        return true;
    }

    // The speakers take no rewinds: a sink that re-renders what it already
    // rendered, to let a new stream in sooner, leaves its monitor with a
    // recording that never happened. The microphones' sinks do, which has
    // them start a recording late (up to their 2 s block), like a slow
    // device: what a recorder must not lose the start of.
    static std::string Script()
    {
        return "load-module module-native-protocol-unix\n"
               "load-module module-null-sink sink_name=out1 norewinds=1 sink_properties=\"device.description='Speaker "
               "One'\"\n"
               "load-module module-null-sink sink_name=out2 norewinds=1 sink_properties=\"device.description='Speaker "
               "Two'\"\n"
               "load-module module-null-sink sink_name=feed sink_properties=\"device.description='Feed'\"\n"
               "load-module module-null-sink sink_name=feed2 sink_properties=\"device.description='Feed Two'\"\n"
               "load-module module-remap-source source_name=mic master=feed.monitor "
               "source_properties=\"device.description='Test Microphone'\"\n"
               "load-module module-remap-source source_name=mic2 master=feed2.monitor "
               "source_properties=\"device.description='Second Microphone'\"\n"
               "set-default-sink out1\n"
               "set-default-source mic\n";
    }

    std::vector<std::pair<std::string, std::string>> Overrides() const
    {
        std::vector<std::pair<std::string, std::string>> values = {{"HOME", m_root + "/home"},
                                                                   {"XDG_RUNTIME_DIR", m_root + "/run"},
                                                                   {"XDG_CONFIG_HOME", m_root + "/home/.config"},
                                                                   {"PULSE_SERVER", "unix:" + Socket()}};
        if (m_kind == kPipeWire)
            values.emplace_back("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_root + "/run/bus");
        return values;
    }
    // Variables of the caller that would lead a client elsewhere.
    static constexpr const char* kDropped[] = {"PULSE_SINK",          "PULSE_SOURCE",         "PULSE_COOKIE",
                                               "ALSA_CONFIG_PATH",    "SONVOX_CAPTURE_FILE",  "SONVOX_PLAYBACK_FILE",
                                               "SONVOX_INPUT_DEVICE", "SONVOX_OUTPUT_DEVICE", "PIPEWIRE_REMOTE",
                                               "PIPEWIRE_RUNTIME_DIR"};
    static bool Dropped(const std::string& name)
    {
        for (const char* n : kDropped)
            if (name == n)
                return true;
        return false;
    }

    void SetEnvironment() const
    {
        for (const auto& [name, value] : Overrides())
            ::setenv(name.c_str(), value.c_str(), 1);
        for (char** e = environ; *e;) {
            const std::string name = std::string(*e).substr(0, std::string(*e).find('='));
            if (Dropped(name))
                ::unsetenv(name.c_str());
            else
                ++e;
        }
    }

    // This process's environment with the daemon's folders in place.
    std::vector<std::string> Environment() const
    {
        std::vector<std::string> env;
        const auto overrides = Overrides();
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool replaced = Dropped(name);
            for (const auto& o : overrides)
                replaced = replaced || o.first == name;
            if (!replaced)
                env.push_back(entry);
        }
        for (const auto& [name, value] : overrides)
            env.push_back(name + "=" + value);
        return env;
    }

    static void StopChild(pid_t pid)
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGINT);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    void Forget(pid_t pid)
    {
        for (auto it = m_children.begin(); it != m_children.end(); ++it)
            if (*it == pid) {
                m_children.erase(it);
                return;
            }
    }

    std::string LogTail(const char* log = "daemon.log") const
    {
        std::ifstream in(m_root + "/" + log);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return text.size() > 1500 ? text.substr(text.size() - 1500) : text;
    }

    Kind m_kind;
    std::string m_root;
    pid_t m_pid = -1;
    std::vector<pid_t> m_children;
    std::vector<pid_t> m_session;  // the PipeWire session's programs
};
