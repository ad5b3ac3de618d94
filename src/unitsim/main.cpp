// ormid-unitsim: a voice-message unit at the far end of a pseudo-terminal.

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "CFaultPlan.h"
#include "CLinePacer.h"
#include "CPortRegistration.h"
#include "CPtyLink.h"
#include "CUnitEngine.h"
#include "CUnitFlash.h"
#include "CUnitLog.h"
#include "OrmidVersion.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

void InstallSignals()
{
    struct sigaction sa { };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: blocking calls return EINTR and the loop ends
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// "600" or "600,150": erase-and-program times of a 64 KB and an 8 KB sector.
bool ParseEraseMs(const std::string& text, SUnitTiming* timing)
{
    unsigned a = 0, b = 0;
    char extra = 0;
    const int n = std::sscanf(text.c_str(), "%u,%u%c", &a, &b, &extra);
    if (n == 1 && text.find(',') == std::string::npos) {
        timing->eraseMs64 = a;
        timing->eraseMs8 = a / 4;
        return true;
    }
    if (n == 2) {
        timing->eraseMs64 = a;
        timing->eraseMs8 = b;
        return true;
    }
    return false;
}

const char kDescription[] = "Simulated voice-message unit on a pseudo-terminal.\n"
                            "Prints \"port: PATH\" as its first line; open PATH as a serial port at the\n"
                            "unit's baud rate, 8N1. The port is also listed under the user's ports folder\n"
                            "("
                            "$XDG_RUNTIME_DIR/ormid/ports, else /tmp/ormid-UID/ports) while it runs.\n";

const char kProtocol[] = "\nCommands (each echoed, then a status 'A' or 'N'):\n"
                         "  Unn\\r  read sector nn (00-69): echo, status, the sector, 16-bit sum low byte first\n"
                         "  P1\\r   enter programming mode        P0\\r  leave programming mode\n"
                         "  Rnn\\r  write sector nn (programming mode only): echo, status; then the sector's\n"
                         "         bytes and their sum; 'A' when the sum matches, else 'N'; then after\n"
                         "         erasing and programming 'G'.\n"
                         "Sectors 0-7 are 8 KB, 8-69 64 KB. A host line at another baud rate or not 8N1\n"
                         "gets noise back instead of replies.\n\n";

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{kDescription, "ormid-unitsim"};
    app.set_version_flag("--version", std::string("ormid-unitsim ") + ORMID_VERSION);
    unsigned baud = 115200;
    bool fast = false;
    std::string flashPath, imagePath, logPath, eraseText = "600,150";
    std::vector<std::string> links, faults;
    SUnitTiming timing;

    app.add_option("--baud", baud, "Line speed the unit runs at (8N1)")
        ->capture_default_str()
        ->check([](const std::string& s) {
            unsigned v = 0;
            try {
                v = static_cast<unsigned>(std::stoul(s));
            } catch (...) {
            }
            return CPtyLink::SpeedConstant(v) == B0 ? std::string("not a supported baud rate") : std::string();
        });
    app.add_flag("--fast", fast, "Do not pace the line: bytes move as fast as the pty takes them");
    app.add_option("--flash", flashPath,
                   "Keep the 4 MB flash in FILE (created erased when missing; rewritten after "
                   "every programmed sector)")
        ->type_name("FILE");
    app.add_option("--image", imagePath, "Load an image file (.txi) into the flash at start")->type_name("FILE");
    app.add_option("--erase-ms", eraseText,
                   "Erase-and-program time of a 64 KB sector and, after a comma, of an 8 KB one "
                   "(a single value: the 8 KB sector takes a quarter)")
        ->type_name("MS[,MS]")
        ->capture_default_str();
    app.add_option("--stall-ms", timing.stallMs, "Pause of the stall fault")->type_name("MS")->capture_default_str();
    app.add_option("--slow-ms", timing.slowMs, "Programming time of the slow-prog fault")
        ->type_name("MS")
        ->capture_default_str();
    app.add_option("--rx-timeout-ms", timing.rxTimeoutMs,
                   "Drop a sector write when the host goes quiet this long (0: wait for ever)")
        ->type_name("MS")
        ->capture_default_str();
    app.add_option("--fault", faults, "Commit a fault, see below (repeatable)")->type_name("KIND[:WHEN]");
    app.add_option("--link", links, "Also make a symlink to the port at PATH (repeatable)")->type_name("PATH");
    app.add_option("--log", logPath, "Record every command and reply, with times, in FILE")->type_name("FILE");
    app.footer(std::string(kProtocol) + CFaultPlan::Help());

    CLI11_PARSE(app, argc, argv);

    if (!ParseEraseMs(eraseText, &timing)) {
        std::cerr << "ormid-unitsim: --erase-ms wants N or N,M (milliseconds)\n";
        return 2;
    }
    CFaultPlan plan;
    for (const auto& f : faults) {
        std::string error;
        if (!plan.Add(f, &error)) {
            std::cerr << "ormid-unitsim: " << error << "\n";
            return 2;
        }
    }

    std::string error;
    CUnitLog log;
    if (!logPath.empty() && !log.Open(logPath, &error)) {
        std::cerr << "ormid-unitsim: " << error << "\n";
        return 1;
    }
    CUnitFlash flash;
    if (!flashPath.empty() && !flash.AttachFile(flashPath, &error)) {
        std::cerr << "ormid-unitsim: " << error << "\n";
        return 1;
    }
    if (!imagePath.empty()) {
        if (!flash.LoadImageFile(imagePath, &error) || !flash.Save(&error)) {
            std::cerr << "ormid-unitsim: " << error << "\n";
            return 1;
        }
    }

    InstallSignals();
    CLinePacer pacer(baud, fast);
    CPtyLink link(pacer, &g_stop);
    if (!link.Open(&error)) {
        std::cerr << "ormid-unitsim: " << error << "\n";
        return 1;
    }
    CPortRegistration registration;
    if (!registration.Register(link.SlavePath(), &error))
        std::cerr << "ormid-unitsim: warning: " << error << " (the port list will not show this unit)\n";
    for (const auto& l : links) {
        if (!registration.AddLink(l, link.SlavePath(), &error)) {
            std::cerr << "ormid-unitsim: " << error << "\n";
            return 1;
        }
    }

    std::printf("port: %s\n", link.SlavePath().c_str());
    std::fflush(stdout);
    log.Write("unit on %s at %u baud%s", link.SlavePath().c_str(), baud, fast ? " (unpaced)" : "");

    CUnitEngine engine(flash, plan, link, &log, timing);
    std::vector<uint8_t> buf(4096);
    bool settingsWrong = false;
    while (!g_stop && !link.Gone()) {
        const ssize_t n = link.Receive(buf.data(), buf.size(), 100);
        if (n < 0)
            break;
        const uint64_t now = CLinePacer::NowMs();
        if (n > 0) {
            std::string why;
            const bool match = link.HostSettingsMatch(&why);
            if (match != !settingsWrong) {
                settingsWrong = !match;
                log.Write(match ? "   host line settings now match" : "   %s: answering noise", why.c_str());
            }
            if (!match) {
                // What a real unit hears at the wrong rate is noise, and so is its answer.
                engine.ResetLine();
                for (ssize_t i = 0; i < n; ++i)
                    buf[static_cast<size_t>(i)] = CPtyLink::Garble(buf[static_cast<size_t>(i)]);
                link.Send(buf.data(), static_cast<size_t>(n));
                continue;
            }
            engine.Feed(buf.data(), static_cast<size_t>(n), now);
        }
        engine.Idle(now);
        if (engine.Vanished())
            break;
    }
    log.Write(engine.Vanished() ? "   exit after vanishing" : "   exit");
    registration.RemoveAll();
    link.Close();
    return 0;
}
