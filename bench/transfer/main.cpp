// bench-transfer: writes, reads and verifies N 64 KB sectors through the serial
// layer to ormid-unitsim paced at 115200 and 57600 baud, stepping the transfer
// as the dialog does (on the line's events, with the 80 ms / 200 ms ticks as
// the clock of the time-outs), against a baseline that steps on a 2 ms tick
// alone, and prints per direction
// the bytes on the line, the seconds taken and the efficiency: the time the
// bytes need at the line rate (10 bits a byte) divided by the time measured.
// The simulator's erase-and-program time is reported apart and left out of
// the write's efficiency.
//
// With --units N... it instead writes the sectors into N simulated units at
// once (one gang, as ormid-cli runs it) and prints the wall time against one
// unit's and against N times one unit's, the process's CPU time per unit, its
// threads, the memory the gang added (whole and per unit) and the longest
// stall of a thread that watches the gang as a window would.
//
// With --plan it writes a small, a half-full and a full image into paced
// units, all at once, and prints the write plan's estimate against the time
// each write took.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>
#include <memory>
#include <string>
#include <vector>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include "CConsoleTransferView.h"
#include "CGangTransfer.h"
#include "CSerialTransferLink.h"
#include "CUnitTransfer.h"
#include "CWritePlan.h"
#include "TransferLoop.h"
#include "Ser2netServer.h"
#include "SimProcess.h"
#include "cMemoryMap.h"
#include "serialport.h"

namespace {

using Clock = std::chrono::steady_clock;

// The baseline run steps this often, on the tick alone, so that it shows what
// the line and the simulator allow without the timer's latency.
constexpr unsigned kBaselineStepMs = 2;

enum class Op { Write, Read, Verify };

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Notes when the read asks for its first 64 KB sector.
class TimingView : public CConsoleTransferView {
public:
    explicit TimingView(int bigSectors) : m_bigSectors(bigSectors) { }
    void SetSectorLines(const std::vector<std::string>& lines) override
    {
        CConsoleTransferView::SetSectorLines(lines);
        if (!m_bigStartSeen && lines.size() == size_t(m_bigSectors) + 1 && lines.size() > 1 && lines[1] == "SA8") {
            m_bigStart = Clock::now();
            m_bigStartSeen = true;
        }
    }
    bool m_bigStartSeen = false;
    Clock::time_point m_bigStart;

private:
    int m_bigSectors;
};

// Milliseconds the simulator spent erasing and programming, from its log.
unsigned ProgrammingMs(const std::string& logPath)
{
    std::ifstream in(logPath);
    std::string line;
    unsigned total = 0;
    while (std::getline(in, line)) {
        const size_t at = line.find(" programmed in ");
        if (at != std::string::npos)
            total += unsigned(atoi(line.c_str() + at + 15));
    }
    return total;
}

struct Result {
    bool ok = false;
    std::string status;
    double seconds = 0;      // start to finish
    double programming = 0;  // the simulator's erase-and-program time (write)
    double bigSeconds = 0;   // from the request of sector 8 to the end (read)
    double cpu = 0;          // this process's processor time during the run
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The image: one message from 0x2000 to the end of sector 7 + sectors, with
// only the 64 KB sectors needed.
void BuildImage(cMemoryMap& image, int sectors)
{
    uint8_t* at = image.AllocateAtEnd(0);
    const uint32_t length = cMemoryMap::GetSectorEnd(uint8_t(7 + sectors)) - cMemoryMap::kAudioStart;
    for (uint32_t i = 0; i < length; i++)
        at[i] = uint8_t(i * 31 + (i >> 8));
    image.SetLength(0, length);
    image.StoreTableInImage();
    for (int s = 0; s < cMemoryMap::kSectorCount; s++)
        image.ClearSectorNeeded(uint8_t(s));
    for (int s = 8; s < 8 + sectors; s++)
        image.SetSectorNeeded(uint8_t(s));
}

// One write or read against a fresh simulator, stepped every stepMs (0: at
// the dialog's periods).
Result RunOnce(Op op, int baud, int sectors, bool baseline, const std::string& eraseMs, const std::string& folder,
               bool network = false)
{
    const bool write = op == Op::Write;
    const unsigned stepMs = baseline ? kBaselineStepMs : 0;
    Result r;
    cMemoryMap image;
    BuildImage(image, sectors);
    const std::string logPath = folder + "/unit.log";
    const std::string imagePath = folder + "/bench.txi";
    remove(logPath.c_str());
    std::vector<std::string> args = {"--baud", std::to_string(baud), "--erase-ms", eraseMs, "--log", logPath};
    if (!write) {
        class Quiet : public IOperatorReport {
            void ShowMessage(const std::string& text) override { fprintf(stderr, "%s\n", text.c_str()); }
            bool AskYesNo(const std::string&) override { return false; }
        } report;
        if (!image.WriteImageFile(imagePath.c_str(), report))
            return r;
        args.insert(args.end(), {"--image", imagePath});
    }
    SimProcess sim;  // ended when it goes out of scope
    if (!sim.Start(args)) {
        r.status = "ormid-unitsim did not start";
        return r;
    }
    // Through ser2net on 127.0.0.1 in front of the simulator's terminal.
    Ser2netServer server(folder, {sim.Port()});
    server.SetCharDelay(getenv("BENCH_CHARDELAY_OFF") == nullptr);
    if (network && !server.Start()) {
        r.status = "ser2net did not start";
        return r;
    }
    CSerialPort port;
    CSerialTransferLink link(port);
    TransferSettings settings;
    settings.portName = network ? server.At(0).Rfc2217() : sim.Port();
    settings.baudPosition = baud == 57600 ? 1 : 0;

    cMemoryMap target;
    TimingView view(sectors);
    // A read fills an empty image; a verify compares with the one written.
    CUnitTransfer transfer(op == Op::Read ? target : image, link, view);
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    std::vector<uint8_t> big;
    for (int s = 8; s < 8 + sectors; s++)
        big.push_back(uint8_t(s));
    if (op == Op::Write)
        transfer.StartWrite(settings);
    else if (op == Op::Read)
        transfer.StartRead(settings);
    else
        transfer.StartVerify(settings, big);
    RunTransferLoop(transfer, view, nullptr, stepMs, !baseline);
    const auto end = Clock::now();
    sim.Stop();  // its log is complete once it has ended
    r.ok = transfer.Completed() && (op != Op::Verify || transfer.DifferingSectors().empty());
    r.status = view.Status();
    r.seconds = Seconds(start, end);
    r.cpu = CpuSeconds() - cpuStart;
    if (write)
        r.programming = ProgrammingMs(logPath) / 1000.0;
    else if (view.m_bigStartSeen)
        r.bigSeconds = Seconds(view.m_bigStart, end);
    if (op == Op::Read && r.ok &&
        memcmp(target.GetImageBuffer(), image.GetImageBuffer(), cMemoryMap::GetSectorEnd(uint8_t(7 + sectors))))
        fprintf(stderr, "bench-transfer: read back differs\n");
    return r;
}

// bytes at the line rate, against the measured seconds and the baseline run.
void Print(const char* what, int baud, uint64_t bytes, double seconds, double baseline)
{
    const double lineTime = double(bytes) * 10.0 / double(baud);
    printf("  %-28s %6d  %8llu  %7.2f  %7.2f  %6.3f  %7.2f  %6.3f\n", what, baud, (unsigned long long)bytes, lineTime,
           seconds, seconds > 0 ? lineTime / seconds : 0.0, baseline, seconds > 0 ? baseline / seconds : 0.0);
}

bool RunBaud(int baud, int sectors, const std::string& eraseMs, const std::string& folder)
{
    // Write: P1 and P0 with their 4-byte replies; per sector the command, its
    // 5-byte reply, the data, the checksum, 'A' and 'G'.
    uint64_t writeBytes = 3 + 4 + 3 + 4;
    for (int s = 8; s < 8 + sectors; s++)
        writeBytes += 4 + 5 + (cMemoryMap::GetSectorEnd(uint8_t(s)) - cMemoryMap::GetSectorStart(uint8_t(s))) + 2 + 2;
    // Read: every sector up to the last used one, command and reply.
    uint64_t readBytes = 0, bigBytes = 0;
    for (int s = 0; s < 8 + sectors; s++) {
        const uint32_t l = cMemoryMap::GetSectorEnd(uint8_t(s)) - cMemoryMap::GetSectorStart(uint8_t(s));
        readBytes += 4 + l + 7;
        if (s >= 8)
            bigBytes += 4 + l + 7;
    }

    printf(" %d x 64 KB sectors\n", sectors);
    bool ok = true;
    const Result wBase = RunOnce(Op::Write, baud, sectors, true, eraseMs, folder);
    const Result w = RunOnce(Op::Write, baud, sectors, false, eraseMs, folder);
    if (!wBase.ok || !w.ok) {
        printf("  write at %d baud failed: %s\n", baud, (!w.ok ? w.status : wBase.status).c_str());
        ok = false;
    } else {
        printf("  (write: programming %.2f s set aside)\n", w.programming);
        Print("write", baud, writeBytes, w.seconds - w.programming, wBase.seconds - wBase.programming);
    }
    const Result rBase = RunOnce(Op::Read, baud, sectors, true, eraseMs, folder);
    const Result rd = RunOnce(Op::Read, baud, sectors, false, eraseMs, folder);
    if (!rBase.ok || !rd.ok) {
        printf("  read at %d baud failed: %s\n", baud, (!rd.ok ? rd.status : rBase.status).c_str());
        ok = false;
    } else {
        Print("read, sectors 0 to last", baud, readBytes, rd.seconds, rBase.seconds);
        Print("read, the 64 KB sectors", baud, bigBytes, rd.bigSeconds, rBase.bigSeconds);
    }
    const Result vBase = RunOnce(Op::Verify, baud, sectors, true, eraseMs, folder);
    const Result v = RunOnce(Op::Verify, baud, sectors, false, eraseMs, folder);
    if (!vBase.ok || !v.ok) {
        printf("  verify at %d baud failed: %s\n", baud, (!v.ok ? v.status : vBase.status).c_str());
        ok = false;
    } else {
        Print("verify, the 64 KB sectors", baud, bigBytes, v.seconds, vBase.seconds);
    }
    return ok;
}

// ---- through a serial device server ----

// The same transfers direct and through ser2net (RFC 2217 on 127.0.0.1): the
// ratio of their speeds (direct seconds / network seconds) and of their
// processor time in this process.
bool RunNetwork(const std::vector<int>& bauds, int sectors, const std::string& eraseMs, const std::string& folder)
{
    if (!Ser2netServer::Available()) {
        printf("ser2net is not installed\n");
        return false;
    }
    printf("direct against ser2net (rfc2217://127.0.0.1), %d x 64 KB sectors; erase-and-program set aside\n"
           "  %-8s %6s  %8s  %8s  %6s  %8s  %8s\n",
           sectors, "", "baud", "direct s", "net s", "ratio", "cpu dir", "cpu net");
    bool ok = true;
    for (int baud : bauds)
        for (Op op : {Op::Write, Op::Read, Op::Verify}) {
            const char* name = op == Op::Write ? "write" : op == Op::Read ? "read" : "verify";
            const Result direct = RunOnce(op, baud, sectors, false, eraseMs, folder);
            const Result net = RunOnce(op, baud, sectors, false, eraseMs, folder, true);
            if (!direct.ok || !net.ok) {
                printf("  %-8s %6d  failed: %s\n", name, baud, (!net.ok ? net.status : direct.status).c_str());
                ok = false;
                continue;
            }
            const double d = direct.seconds - direct.programming, n = net.seconds - net.programming;
            printf("  %-8s %6d  %8.2f  %8.2f  %6.3f  %8.3f  %8.3f\n", name, baud, d, n, n > 0 ? d / n : 0.0, direct.cpu,
                   net.cpu);
        }
    return ok;
}

// ---- many units at once ----

int Threads()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return atoi(line.c_str() + 8);
    return 0;
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// The process's resident memory in KB.
long RssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return atol(line.c_str() + 6);
    return 0;
}

// Stands for the window: the stepping thread posts what a window shows
// (each status, each unit's percentage after a wake) and this thread takes
// it up, as a GUI's event loop would, with a 16 ms frame tick of its own. Its
// stall is the longest it was kept from running: an event waiting or a frame
// coming late.
class WindowThread : public CGangTransfer::IObserver {
public:
    explicit WindowThread(CGangTransfer& gang) : m_gang(gang), m_thread([this] { Loop(); }) { }
    ~WindowThread()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void OnStatus(size_t unit, const std::string& text) override
    {
        Post([this, unit, text] { m_lastStatus = std::to_string(unit) + text; });
    }
    void OnWake() override
    {
        // /proc is read at most ten times a second, so as not to weigh on the CPU measured.
        if (Clock::now() >= m_nextSample) {
            m_nextSample = Clock::now() + std::chrono::milliseconds(100);
            m_most = std::max(m_most, Threads());
            m_rssPeak = std::max(m_rssPeak, RssKb());
        }
        std::vector<int> percents(m_gang.Count());
        for (size_t i = 0; i < percents.size(); ++i)
            percents[i] = m_gang.Percent(i);
        Post([this, percents] { m_percentSum = std::accumulate(percents.begin(), percents.end(), 0); });
    }

    int MostThreads() const { return m_most; }
    long RssPeakKb() const { return m_rssPeak; }
    double LongestStallMs() const { return m_stallMs.load(); }

private:
    using Task = std::function<void()>;
    static constexpr auto kFrame = std::chrono::milliseconds(16);

    void Post(Task task)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back({Clock::now(), std::move(task)});
        }
        m_wake.notify_one();
    }
    void Note(Clock::time_point due, Clock::time_point now)
    {
        const double late = std::chrono::duration<double, std::milli>(now - due).count();
        if (late > m_stallMs.load())
            m_stallMs.store(late);
    }
    void Loop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        Clock::time_point frame = Clock::now() + kFrame;
        while (!m_done) {
            m_wake.wait_until(lock, frame, [this] { return m_done || !m_queue.empty(); });
            const auto now = Clock::now();
            if (now >= frame) {
                Note(frame, now);
                frame = now + kFrame;
            }
            while (!m_queue.empty()) {
                auto [posted, task] = std::move(m_queue.front());
                m_queue.erase(m_queue.begin());
                lock.unlock();
                Note(posted, Clock::now());
                task();
                lock.lock();
            }
        }
    }

    CGangTransfer& m_gang;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::pair<Clock::time_point, Task>> m_queue;
    bool m_done = false;
    std::atomic<double> m_stallMs{0};
    int m_most = 0;
    long m_rssPeak = 0;
    Clock::time_point m_nextSample = Clock::now();
    std::string m_lastStatus;
    int m_percentSum = 0;
    std::thread m_thread;
};

struct GangResult {
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    int threads = 0;
    long rssKb = 0;  // what the gang added at its peak
    double stallMs = 0;
};

GangResult RunGang(int units, int baud, int sectors, const std::string& eraseMs)
{
    GangResult r;
    cMemoryMap image;
    BuildImage(image, sectors);
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> ports;
    for (int i = 0; i < units; i++) {
        sims.emplace_back(new SimProcess);
        if (!sims.back()->Start({"--baud", std::to_string(baud), "--erase-ms", eraseMs}))
            return r;
        ports.push_back(sims.back()->Port());
    }
    TransferSettings settings;
    settings.baudPosition = baud == 57600 ? 1 : 0;
    // What earlier runs freed goes back first, or this run would reuse it unseen.
    malloc_trim(0);
    const long rssBefore = RssKb();
    CGangTransfer gang(image, ports, settings);
    WindowThread window(gang);
    gang.SetObserver(&window);
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    gang.Run(CGangTransfer::Kind::Write, nullptr);
    r.seconds = Seconds(start, Clock::now());
    r.cpu = CpuSeconds() - cpuBefore;
    r.threads = window.MostThreads();
    r.rssKb = std::max(0L, window.RssPeakKb() - rssBefore);
    r.stallMs = window.LongestStallMs();
    r.ok = true;
    for (size_t i = 0; i < gang.Count(); i++)
        r.ok = r.ok && gang.GetOutcome(i).result == CGangTransfer::Result::Completed;
    return r;
}

bool RunUnits(const std::vector<int>& unitCounts, const std::vector<int>& bauds, int sectors,
              const std::string& eraseMs)
{
    printf("gang write of %d x 64 KB sectors into N paced units; erase-and-program %s ms\n"
           "load average before: %s; %ld cores; CPU %% of one core per unit; RSS the gang added; stall: the\n"
           "longest wait of a thread that shows the gang as a window would\n"
           "  %6s  %3s  %8s  %8s  %9s  %11s  %10s  %7s  %8s  %8s  %8s\n",
           sectors, eraseMs.c_str(), LoadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN), "baud", "N", "s", "one s",
           "s / one", "s / (N*one)", "CPU %/unit", "threads", "RSS MB", "KB/unit", "stall ms");
    bool ok = true;
    for (int baud : bauds) {
        double one = 0;
        for (int units : unitCounts) {
            const GangResult g = RunGang(units, baud, sectors, eraseMs);
            if (!g.ok) {
                printf("  %6d  %3d  failed\n", baud, units);
                ok = false;
                continue;
            }
            if (one == 0)
                one = units == 1 ? g.seconds : RunGang(1, baud, sectors, eraseMs).seconds;
            printf("  %6d  %3d  %8.2f  %8.2f  %9.3f  %11.3f  %10.2f  %7d  %8.1f  %8.0f  %8.1f\n", baud, units,
                   g.seconds, one, g.seconds / one, g.seconds / (units * one), 100.0 * g.cpu / g.seconds / units,
                   g.threads, g.rssKb / 1024.0, double(g.rssKb) / units, g.stallMs);
            fflush(stdout);
        }
    }
    printf("load average after: %s\n", LoadAverage().c_str());
    return ok;
}

// ---- the write plan against real writes ----

struct PlanCase {
    const char* name;
    uint32_t length;  // one message from the start of the audio area
    int baud;
    double estimate = 0;
    int sectors = 0;
    Result real;
};

// One message of the given length; every sector it uses (and sector 0) is needed.
void BuildMessageImage(cMemoryMap& image, uint32_t length)
{
    uint8_t* at = image.AllocateAtEnd(0);
    for (uint32_t i = 0; i < length; i++)
        at[i] = uint8_t(i * 31 + (i >> 8));
    image.SetLength(0, length);
    image.StoreTableInImage();
    image.RebuildNeededSectors();
}

void RunPlanCase(PlanCase& c, const std::string& eraseMs)
{
    cMemoryMap image;
    BuildMessageImage(image, c.length);
    const CWritePlan plan = CWritePlan::ForWrite(image, c.baud);
    c.estimate = plan.Seconds();
    c.sectors = plan.Sectors();
    SimProcess sim;
    if (!sim.Start({"--baud", std::to_string(c.baud), "--erase-ms", eraseMs})) {
        c.real.status = "ormid-unitsim did not start";
        return;
    }
    CSerialPort port;
    CSerialTransferLink link(port);
    TransferSettings settings;
    settings.portName = sim.Port();
    settings.baudPosition = c.baud == 57600 ? 1 : 0;
    CConsoleTransferView view;
    CUnitTransfer transfer(image, link, view);
    const auto start = Clock::now();
    transfer.StartWrite(settings);
    RunTransferLoop(transfer, view, nullptr, 0, true);
    c.real.seconds = Seconds(start, Clock::now());
    c.real.ok = transfer.Completed();
    c.real.status = view.Status();
}

// Every case at once, each against its own simulator: the units are paced by
// their own clocks, so a full image at 57600 baud sets the wall time.
bool RunPlan(const std::vector<int>& bauds, const std::string& eraseMs)
{
    const uint32_t audio = cMemoryMap::kImageSize - cMemoryMap::kAudioStart;
    std::vector<PlanCase> cases;
    for (int baud : bauds)
        for (const auto& [name, length] :
             {std::pair<const char*, uint32_t>{"small", 24000}, {"half", audio / 2}, {"full", audio}})
            cases.push_back({name, length, baud, 0, 0, Result()});
    std::vector<std::thread> runs;
    for (PlanCase& c : cases)
        runs.emplace_back([&c, &eraseMs] { RunPlanCase(c, eraseMs); });
    for (std::thread& run : runs)
        run.join();
    printf("the write plan's estimate against writes into paced units; erase-and-program %s ms\n"
           "  %-6s  %6s  %7s  %10s  %8s  %14s\n",
           eraseMs.c_str(), "image", "baud", "sectors", "estimate s", "real s", "real / estimate");
    bool ok = true;
    for (const PlanCase& c : cases) {
        if (!c.real.ok) {
            printf("  %-6s  %6d  failed: %s\n", c.name, c.baud, c.real.status.c_str());
            ok = false;
            continue;
        }
        printf("  %-6s  %6d  %7d  %10.1f  %8.1f  %14.3f\n", c.name, c.baud, c.sectors, c.estimate, c.real.seconds,
               c.real.seconds / c.estimate);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Transfer speed of the unit protocols against ormid-unitsim at the line's pace."};
    std::vector<int> sectorCounts = {2, 16};
    std::vector<int> bauds = {115200, 57600};
    std::string eraseMs = "600,150";
    app.add_option("-n,--sectors", sectorCounts, "64 KB sectors to write and read (one run each)")
        ->check(CLI::Range(1, 62));
    app.add_option("--baud", bauds, "baud rates to measure")->check(CLI::IsMember({115200, 57600}));
    app.add_option("--erase-ms", eraseMs, "simulated erase-and-program time (64 KB,8 KB)")->capture_default_str();
    std::vector<int> unitCounts;
    app.add_option("--units", unitCounts, "write into this many units at once (a gang) instead; several counts allowed")
        ->check(CLI::Range(1, 64));
    bool plan = false;
    app.add_flag("--plan", plan,
                 "the write plan's estimate against real writes of a small, a half-full and a full image");
    bool network = false;
    app.add_flag("--network", network, "the same transfers direct and through ser2net on 127.0.0.1, as a ratio");
    CLI11_PARSE(app, argc, argv);
    if (!unitCounts.empty())
        return RunUnits(unitCounts, bauds, sectorCounts.front(), eraseMs) ? 0 : 1;
    if (plan)
        return RunPlan(bauds, eraseMs) ? 0 : 1;

    char folder[] = "/tmp/ormid-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        perror("bench-transfer");
        return 1;
    }
    bool ok = true;
    if (network)
        ok = RunNetwork(bauds, sectorCounts.front(), eraseMs, folder);
    else {
        printf("steps on the line's events with ticks every 80 ms (write) and 200 ms (read); baseline: a %u ms tick\n"
               "  efficiency = line time / seconds; vs baseline = baseline seconds / seconds\n"
               "  %-28s %6s  %8s  %7s  %7s  %6s  %7s  %6s\n",
               kBaselineStepMs, "", "baud", "bytes", "line s", "s", "eff", "base s", "vs base");
        for (int baud : bauds)
            for (int sectors : sectorCounts)
                ok = RunBaud(baud, sectors, eraseMs, folder) && ok;
    }
    if (getenv("BENCH_KEEP")) {
        printf("logs in %s\n", folder);
        return ok ? 0 : 1;
    }
    std::string cleanup = std::string("rm -rf ") + folder;
    if (system(cleanup.c_str()) != 0)
        fprintf(stderr, "bench-transfer: could not remove %s\n", folder);
    return ok ? 0 : 1;
}
