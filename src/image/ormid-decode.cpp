// ormid-decode: the decoder helper of ORMID (see CDecoderProcess.h). Reads
// the audio file on its stdin, writes records on its stdout; started by the
// program, never by hand:
//
//   ormid-decode probe|convert MAX_SAMPLES CPU_SECONDS MEMORY_BYTES
#include <sys/resource.h>
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
#include <string>
#include <thread>
#include <vector>

#include "CAudioConverter.h"
#include "CDecoderProcess.h"

namespace {

void SetLimit(int resource, rlim_t soft, rlim_t hard)
{
    const struct rlimit limit = {soft, hard};
    ::setrlimit(resource, &limit);
}

// Faults to order, for the tests of what the program does when a decoder
// crashes or runs away: read here only, in the helper.
void TestFault(rlim_t memory)
{
    const char* fault = std::getenv("ORMID_DECODE_FAULT");
    if (!fault)
        return;
    if (std::strcmp(fault, "crash") == 0)
        std::raise(SIGSEGV);
    if (std::strcmp(fault, "memory") == 0) {
        // The limit ends this; the count stops it where no limit can be set.
        std::vector<std::vector<char>> hoard;
        for (rlim_t taken = 0; taken < 2 * memory; taken += rlim_t(64) << 20)
            hoard.emplace_back(size_t(64) << 20, 'x');
        throw std::bad_alloc();
    }
    if (std::strcmp(fault, "spin") == 0) {
        volatile unsigned long n = 0;
        for (;;)
            n = n + 1;
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

int Run(bool convert, uint32_t maxSamples)
{
    if (!convert) {
        CAudioFileInfo info;
        if (!CAudioConverter::ProbeHere(0, info)) {
            const char* text = "no decoder can read the file";
            CDecoderProcess::WriteRecord(1, CDecoderProcess::kError, text, uint32_t(std::strlen(text)));
            return 1;
        }
        const std::vector<uint8_t> packed = CDecoderProcess::PackInfo(info);
        const char done[9] = {};
        return CDecoderProcess::WriteRecord(1, CDecoderProcess::kInfo, packed.data(), uint32_t(packed.size())) &&
                       CDecoderProcess::WriteRecord(1, CDecoderProcess::kDone, done, sizeof done)
                   ? 0
                   : 1;
    }
    CAudioConverter converter;
    std::vector<uint8_t> out;
    CConvertControl control;
    bool ok;
    {
        ProgressSender progress(control);
        ok = converter.ConvertHere(0, maxSamples, out, &control);
    }
    const std::vector<uint8_t> packed = CDecoderProcess::PackInfo(converter.Info());
    CDecoderProcess::WriteRecord(1, CDecoderProcess::kInfo, packed.data(), uint32_t(packed.size()));
    if (!ok) {
        const std::string& text = converter.ErrorText();
        CDecoderProcess::WriteRecord(1, CDecoderProcess::kError, text.data(), uint32_t(text.size()));
        return 1;
    }
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
    // The limits before any byte of the file is read. No core files: a
    // crash here is reported, not kept. An address-space limit cannot hold
    // under the address or thread sanitizer, which reserve their shadow
    // memory up front.
    SetLimit(RLIMIT_CPU, cpu, cpu + 1);
    SetLimit(RLIMIT_CORE, 0, 0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    SetLimit(RLIMIT_AS, memory, memory);
#endif
    std::signal(SIGPIPE, SIG_DFL);
    try {
        if (convert)
            TestFault(memory);
        return Run(convert, maxSamples);
    } catch (const std::bad_alloc&) {
        return CDecoderProcess::kExitNoMemory;
    }
}
