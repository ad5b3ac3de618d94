// ormid-decode: the decoder helper of ORMID (see CDecoderProcess.h). Reads
// the audio file on its stdin, writes records on its stdout; started by the
// program, never by hand:
//
//   ormid-decode probe|convert MAX_SAMPLES CPU_SECONDS MEMORY_BYTES
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CAudioConverter.h"
#include "CDecoderProcess.h"
#include "CDecoderSandbox.h"

namespace {

// Faults to order, for the tests of what the program does when a decoder
// crashes, runs away or tries to reach outside its sandbox: read here only,
// in the helper.
void TestFault(const std::string& fault, rlim_t memory)
{
    if (fault == "crash")
        std::raise(SIGSEGV);
    if (fault == "memory") {
        // The limit ends this; the count stops it where no limit can be set.
        std::vector<std::vector<char>> hoard;
        for (rlim_t taken = 0; taken < 2 * memory; taken += rlim_t(64) << 20)
            hoard.emplace_back(size_t(64) << 20, 'x');
        throw std::bad_alloc();
    }
    if (fault == "spin") {
        volatile unsigned long n = 0;
        for (;;)
            n = n + 1;
    }
    if (fault == "babble") {
        // A description no decoder gives, then the end: the program must not take it.
        CAudioFileInfo info;
        info.sampleRate = -5;
        info.bitsPerSample = 16;
        const std::vector<uint8_t> packed = CDecoderProcess::PackInfo(info);
        const char done[9] = {};
        CDecoderProcess::WriteRecord(1, CDecoderProcess::kInfo, packed.data(), uint32_t(packed.size()));
        CDecoderProcess::WriteRecord(1, CDecoderProcess::kDone, done, sizeof done);
        std::_Exit(0);
    }
    if (fault == "silent")
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto colon = fault.find(':');
    const std::string kind = fault.substr(0, colon);
    const std::string target = colon == std::string::npos ? std::string() : fault.substr(colon + 1);
    if (kind == "escape-file") {
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0)
            ::close(fd);
    } else if (kind == "escape-connect") {
        const auto port = target.rfind(':');
        const std::string host = target.substr(0, port);
        const uint16_t number = uint16_t(std::atoi(target.c_str() + port + 1));
        sockaddr_in v4{};
        sockaddr_in6 v6{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(number);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(number);
        const bool four = ::inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1;
        if (!four && ::inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) != 1)
            return;
        const int s = ::socket(four ? AF_INET : AF_INET6, SOCK_STREAM, 0);
        if (s >= 0) {
            four ? ::connect(s, reinterpret_cast<sockaddr*>(&v4), sizeof v4)
                 : ::connect(s, reinterpret_cast<sockaddr*>(&v6), sizeof v6);
            ::close(s);
        }
    } else if (kind == "escape-exec") {
        ::execl(target.c_str(), target.c_str(), static_cast<char*>(nullptr));
    }
}

// Sends the progress every 50 ms while the conversion runs, and at its end.
class ProgressSender {
public:
    explicit ProgressSender(CConvertControl& control)
        : m_thread([this, &control] {
              int sent = -1;
              std::unique_lock<std::mutex> lock(m_lock);
              // The last value too, once the conversion is over.
              for (bool last = false; !last;) {
                  last = m_done;
                  const int32_t now = control.permille.load();
                  if (now != sent)
                      CDecoderProcess::WriteRecord(1, CDecoderProcess::kProgress, &now, 4);
                  sent = now;
                  if (!last)
                      m_wake.wait_for(lock, std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~ProgressSender()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

// The description goes only where a decoder opened the file.
void SendInfo(const CAudioFileInfo& info)
{
    if (info.sampleRate <= 0)
        return;
    const std::vector<uint8_t> packed = CDecoderProcess::PackInfo(info);
    CDecoderProcess::WriteRecord(1, CDecoderProcess::kInfo, packed.data(), uint32_t(packed.size()));
}

// The reason for failing; the helper's exit status.
int SendError(const std::string& text)
{
    CDecoderProcess::WriteRecord(1, CDecoderProcess::kError, text.data(), uint32_t(text.size()));
    return 1;
}

int Probe()
{
    CAudioFileInfo info;
    if (!CAudioConverter::ProbeHere(0, info))
        return SendError("no decoder can read the file");
    SendInfo(info);
    const char done[9] = {};
    return CDecoderProcess::WriteRecord(1, CDecoderProcess::kDone, done, sizeof done) ? 0 : 1;
}

int Convert(uint32_t maxSamples, CConvertControl& control, std::optional<ProgressSender>& progress)
{
    CAudioConverter converter;
    std::vector<uint8_t> out;
    const bool ok = converter.ConvertHere(0, maxSamples, out, &control);
    progress.reset();  // its last value sent, before the answer
    SendInfo(converter.Info());
    if (!ok)
        return SendError(converter.ErrorText());
    for (size_t at = 0; at < out.size(); at += 65536) {
        const uint32_t n = uint32_t(std::min<size_t>(65536, out.size() - at));
        if (!CDecoderProcess::WriteRecord(1, CDecoderProcess::kSamples, out.data() + at, n))
            return 1;
    }
    char done[9];
    const uint64_t clamped = converter.ClampedSamples();
    std::memcpy(done, &clamped, 8);
    done[8] = converter.Truncated() ? 1 : 0;
    return CDecoderProcess::WriteRecord(1, CDecoderProcess::kDone, done, sizeof done) ? 0 : 1;
}

}  // namespace

#ifdef __SANITIZE_ADDRESS__
// The decoders' own leaks (libvorbis loses a few kilobytes on some damaged
// files) die with this short-lived process; reported at its exit they would
// turn a good conversion into a failed one.
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}
#endif

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    const bool convert = std::strcmp(argv[1], "convert") == 0;
    const uint32_t maxSamples = uint32_t(std::strtoul(argv[2], nullptr, 10));
    const rlim_t cpu = rlim_t(std::strtoul(argv[3], nullptr, 10));
    const rlim_t memory = rlim_t(std::strtoull(argv[4], nullptr, 10));
    const char* fault = std::getenv("ORMID_DECODE_FAULT");
    const std::string testFault = fault ? fault : "";
    std::signal(SIGPIPE, SIG_DFL);

    // The sandbox before any byte of the file is read; the progress thread
    // between its two halves, so that the filter covers it and no other
    // thread can follow.
    CDecoderSandbox sandbox(cpu, memory);
#ifndef ORMID_DECODE_UNWALLED
    sandbox.Close();
#endif
    try {
        CConvertControl control;
        std::optional<ProgressSender> progress;
        if (convert)
            progress.emplace(control);
#ifndef ORMID_DECODE_UNWALLED
        if (!sandbox.Seal()) {
            progress.reset();
            return SendError(sandbox.Error());
        }
#endif
        if (!convert) {
            // The one fault a probe takes: one that hangs before its answer.
            if (testFault == "silent-probe")
                TestFault("silent", memory);
            return Probe();
        }
        TestFault(testFault, memory);
        return Convert(maxSamples, control, progress);
    } catch (const std::bad_alloc&) {
        return CDecoderProcess::kExitNoMemory;
    }
}
