#include "CDecoderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "CDecoderReplies.h"
#include "CGetAppPath.h"
#include "CLogFile.h"

namespace {

std::mutex g_limitsLock;
CDecoderProcess::Limits g_limits;

// The helper beside the program; in the build tree, tests run from another
// folder than the programs, so the build's program folder is the fallback.
std::string HelperPath()
{
    std::string path = CGetAppPath::ProgramFolder() + "ormid-decode";
#ifdef ORMID_BUILD_BIN_DIR
    if (::access(path.c_str(), X_OK) != 0)
        path = ORMID_BUILD_BIN_DIR "/ormid-decode";
#endif
    return path;
}

bool WriteAll(int fd, const void* data, size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += done;
        n -= size_t(done);
    }
    return true;
}

// The helper's messages, line by line, into the program log.
class MessageLines {
public:
    void Feed(const char* data, size_t n)
    {
        m_text.append(data, n);
        size_t end;
        while ((end = m_text.find('\n')) != std::string::npos) {
            Log(m_text.substr(0, end));
            m_text.erase(0, end + 1);
        }
        if (m_text.size() > 900) {
            Log(m_text);
            m_text.clear();
        }
    }
    void Flush()
    {
        if (!m_text.empty())
            Log(m_text);
        m_text.clear();
    }

private:
    void Log(const std::string& line)
    {
        if (++m_lines <= kMaxLines && !line.empty())
            TheLog().Write("Decoder: %s", line.c_str());
    }
    static constexpr int kMaxLines = 200;  // per file: a damaged file may make the decoder chatty
    std::string m_text;
    int m_lines = 0;
};

// A descriptor above the three standard ones, so that putting one in place
// for the helper never overwrites another (a program started with stdin
// closed gets 0 for its next file).
int AboveStandard(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

struct Pipe {
    int read = -1, write = -1;
    bool Open()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = AboveStandard(fds[0]);
        write = AboveStandard(fds[1]);
        return read >= 0 && write >= 0;
    }
    void CloseRead()
    {
        if (read >= 0)
            ::close(read);
        read = -1;
    }
    void CloseWrite()
    {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
};

std::string HowItEnded(int status)
{
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) == CDecoderProcess::kExitNoMemory)
            return "the decoder went over its memory limit";
        return "the decoder ended without an answer (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        // SIGXCPU at the soft CPU limit, SIGKILL at the hard one.
        if (sig == SIGXCPU || sig == SIGKILL)
            return "the decoder went over its time limit";
        // The sandbox's filter ends a helper that tries anything beyond
        // reading its file and writing its answer.
        if (sig == SIGSYS)
            return "the decoder tried to reach outside its sandbox";
        return std::string("the decoder crashed (") + strsignal(sig) + ")";
    }
    return "the decoder ended without an answer";
}

// The helper's whole environment: nothing of the operator's. Only the test
// hook goes through (the helper alone reads it) and, in the sanitizer
// builds, the sanitizers' options, with leak checking off whatever they
// say: the leak checker stops the process with a helper process of its
// own, which the sandbox does not let it make, and the decoders' leaks die
// with the helper anyway.
std::vector<std::string> HelperEnvironment()
{
    std::vector<std::string> env;
#ifdef ORMID_SANITIZED
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
#endif
    const char* passed[] = {
        "ORMID_DECODE_FAULT",
#ifdef ORMID_SANITIZED
        "UBSAN_OPTIONS",
        "LSAN_OPTIONS",
#endif
    };
    for (const char* name : passed)
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    return env;
}

}  // namespace

void CDecoderProcess::SetLimits(const Limits& limits)
{
    std::lock_guard<std::mutex> guard(g_limitsLock);
    g_limits = limits;
}

CDecoderProcess::Limits CDecoderProcess::GetLimits()
{
    std::lock_guard<std::mutex> guard(g_limitsLock);
    return g_limits;
}

bool CDecoderProcess::WriteRecord(int fd, Record type, const void* data, uint32_t size)
{
    char head[5];
    head[0] = type;
    std::memcpy(head + 1, &size, 4);
    return WriteAll(fd, head, sizeof head) && WriteAll(fd, data, size);
}

std::vector<uint8_t> CDecoderProcess::PackInfo(const CAudioFileInfo& info)
{
    std::vector<uint8_t> data(4 * 3 + 8 + 1);
    std::memcpy(&data[0], &info.sampleRate, 4);
    std::memcpy(&data[4], &info.bitsPerSample, 4);
    std::memcpy(&data[8], &info.channels, 4);
    std::memcpy(&data[12], &info.frames, 8);
    data[20] = info.unitFormat ? 1 : 0;
    return data;
}

bool CDecoderProcess::UnpackInfo(const std::vector<uint8_t>& data, CAudioFileInfo& info)
{
    if (data.size() != 21)
        return false;
    std::memcpy(&info.sampleRate, &data[0], 4);
    std::memcpy(&info.bitsPerSample, &data[4], 4);
    std::memcpy(&info.channels, &data[8], 4);
    std::memcpy(&info.frames, &data[12], 8);
    info.unitFormat = data[20] != 0;
    return true;
}

CDecoderProcess::Result CDecoderProcess::Run(Task task, int fd, uint32_t maxSamples, CConvertControl* control)
{
    using Clock = std::chrono::steady_clock;
    Result result;
    const Limits limits = GetLimits();
    Pipe out, err;
    if (!out.Open() || !err.Open()) {
        result.error = std::string("the decoder could not start: ") + std::strerror(errno);
        return result;
    }

    struct Copy {
        int fd;
        ~Copy()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } file{::fcntl(fd, F_DUPFD_CLOEXEC, 3)};
    if (file.fd < 0) {
        result.error = std::string("the decoder could not start: ") + std::strerror(errno);
        return result;
    }
    const std::string helper = limits.helper.empty() ? HelperPath() : limits.helper;
    // However much the caller has room for: no answer grows past this.
    maxSamples = task == kProbe ? 0 : std::min(maxSamples, kMaxSamples);
    std::vector<std::string> args{helper, task == kProbe ? "probe" : "convert", std::to_string(maxSamples),
                                  std::to_string(limits.cpuSeconds), std::to_string(limits.memoryBytes)};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> env = HelperEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);

    // The file on the helper's stdin, the records on its stdout, its
    // messages on its stderr; nothing else of this process reaches it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, file.fd, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    // No signal blocked or ignored that this thread may have inherited: the
    // limits speak through signals.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGXCPU, SIGPIPE, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ::lseek(file.fd, 0, SEEK_SET);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, helper.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    out.CloseWrite();
    err.CloseWrite();
    if (spawned != 0) {
        result.error = "the decoder " + helper + " could not start: " + std::strerror(spawned);
        return result;
    }

    CDecoderReplies records(task, maxSamples, result, control);
    MessageLines messages;
    bool broken = false, killed = false;
    auto lastWord = Clock::now();
    char buffer[65536];
    while (out.read >= 0 || err.read >= 0) {
        if (control && control->stop.load()) {
            result.stopped = true;
            break;
        }
        if (Clock::now() - lastWord > std::chrono::seconds(limits.silentSeconds)) {
            result.error = "the decoder stopped answering";
            break;
        }
        pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        if (::poll(fds, 2, 50) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                i == 0 ? out.CloseRead() : err.CloseRead();
                continue;
            }
            // Only records count as a word: a decoder stuck in a loop may
            // still chatter on stderr.
            if (i == 1) {
                messages.Feed(buffer, size_t(n));
            } else {
                lastWord = Clock::now();
                broken = broken || !records.Feed(buffer, size_t(n));
            }
        }
        if (broken)
            break;
    }
    // Stopped, silent, broken, or a helper that does not end once it has
    // answered.
    if (out.read >= 0 || err.read >= 0) {
        ::kill(pid, SIGKILL);
        killed = true;
    }
    messages.Flush();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (result.stopped) {
        result.ok = false;
        result.error = "stopped";
        result.samples.clear();
        return result;
    }
    if (killed && result.error.empty())
        result.error = "the decoder stopped answering";
    if (broken) {
        // Not a word of it is used.
        result = Result();
        result.error = "the decoder sent something it should not have";
    } else if (result.ok && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        result.ok = false;
        result.error = HowItEnded(status);
    } else if (!records.Finished() && result.error.empty()) {
        result.error = HowItEnded(status);
    }
    if (!result.ok)
        result.samples.clear();
    return result;
}
