// ormid-cli read / write / verify: move an image between a file and units on
// serial ports, with the same protocols and time limits as the communications
// dialog. write and verify take any number of ports and run them at once.
//
//   ormid-cli read   --port PORT [--baud 115200|57600] [--no-timeouts] [--recover] IMAGE
//   ormid-cli write  (--port PORT)... [--all-ports [--include-simulated] [--include-network]] [--baud 115200|57600]
//                    [--no-timeouts] [--recover] [--verify] [--report FILE] IMAGE
//   ormid-cli verify (--port PORT)... [--all-ports [--include-simulated] [--include-network]] [--baud 115200|57600]
//                    [--no-timeouts] [--recover] [--report FILE] IMAGE
//   ormid-cli write|verify --dry-run [--json] [--baud 115200|57600] [--verify] IMAGE
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "CAtomicFile.h"
#include "CConsoleTransferView.h"
#include "CGangDisplay.h"
#include "CGangReport.h"
#include "CGangTransfer.h"
#include "CImageLock.h"
#include "CSerialTransferLink.h"
#include "CUnitTransfer.h"
#include "CWritePlan.h"
#include "CliImage.h"
#include "CliJson.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "TransferLoop.h"
#include "CliSettings.h"
#include "ProgramSettings.h"
#include "TransferTexts.h"
#include "serialport.h"

namespace {

constexpr int kCliInterrupted = 130;
// verify of one unit: its sectors differ (1) or the transfer itself failed (2).
constexpr int kCliDiffers = 1;
constexpr int kCliTransferFailed = 2;

enum class Kind { Read, Write, Verify };

struct TransferArgs {
    std::vector<std::string> ports;
    bool allPorts = false;
    bool includeSimulated = false;
    bool includeNetwork = false;
    int baud = 115200;
    bool noTimeouts = false;
    bool recover = false;
    bool verify = false;
    bool dryRun = false;
    bool json = false;
    std::string report;
    std::string image;
};

TransferArgs readArgs;
TransferArgs writeArgs;
TransferArgs verifyArgs;

std::atomic<bool> g_stop{false};

void OnSignal(int)
{
    g_stop.store(true);
}

void InstallSignals()
{
    struct sigaction sa { };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool FileExists(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0;
}

std::string WithoutTrailingBreaks(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string SectorList(const std::vector<uint8_t>& sectors)
{
    std::string list;
    for (uint8_t sector : sectors)
        list += (list.empty() ? "" : " ") + std::to_string(sector);
    return list;
}

// The status a transfer ended with, printed once: the echo held it back so
// that a failure shows it after "Read failed: ", then, when the status does
// not name it, the sector the transfer was on, then its further lines (a
// hint), each on a line of its own.
void PrintEnd(const char* failedWhat, const std::string& held, const std::string& status, int sector)
{
    std::string text = WithoutTrailingBreaks(held);
    if (failedWhat) {
        if (text.empty())
            text = WithoutTrailingBreaks(status);
        const size_t firstBreak = text.find('\n');
        fprintf(stderr, "%s failed: %s\n", failedWhat, text.substr(0, firstBreak).c_str());
        if (sector >= 0 && text.find(FormatText("sector %d", sector)) == std::string::npos)
            fprintf(stderr, "At sector %d.\n", sector);
        if (firstBreak != std::string::npos)
            fprintf(stderr, "%s\n", text.substr(firstBreak + 1).c_str());
    } else if (!text.empty()) {
        fprintf(stderr, "%s\n", text.c_str());
    }
}

// Says so when the image's memory could not be had.
bool ImageMemoryMissing(const cMemoryMap& image)
{
    if (image.HasBuffer())
        return false;
    fprintf(stderr, "%s\n", cMemoryMap::kAllocationFailedText);
    return true;
}

TransferSettings SettingsOf(const TransferArgs& args, bool verifyAfterWrite)
{
    TransferSettings settings;
    settings.baudPosition = args.baud == 57600 ? 1 : 0;
    settings.disableTimeouts = args.noTimeouts;
    settings.recover = args.recover;
    settings.verifyAfterWrite = verifyAfterWrite;
    return settings;
}

int RunRead(const TransferArgs& args)
{
    CliReport report;
    if (!IsNamedImage(args.image, report))
        return kCliUsage;
    // A read must be able to save its result, room included: better to know
    // before the unit spends minutes sending it.
    int error = 0;
    if (!CAtomicFile::HasRoomFor(args.image.c_str(), cMemoryMap::kImageFileSize, error)) {
        report.ShowFileError("Cannot write " + args.image + "; nothing was read from the unit.", args.image, error);
        return kCliFailed;
    }
    cMemoryMap image;
    if (ImageMemoryMissing(image))
        return kCliFailed;
    // A read fills what the file held (or a new image) with the unit's
    // sectors and replaces the file when it completes: no other command may
    // change it in between.
    CImageLock lock;
    if (!lock.Lock(args.image, CImageLock::kExclusive, report))
        return kCliFailed;
    if (FileExists(args.image) && !image.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    image.StoreTableInImage();

    InstallSignals();
    CSerialPort port;
    CSerialTransferLink link(port);
    CConsoleTransferView view(stderr, isatty(STDERR_FILENO) != 0);
    CUnitTransfer transfer(image, link, view);
    TransferSettings settings = SettingsOf(args, false);
    settings.portName = args.ports.front();
    transfer.StartRead(settings);
    if (!view.TimerRunning()) {
        // The status says the port could not be opened; add why.
        PrintEnd(nullptr, view.HeldStatus(), view.Status(), -1);
        if (transfer.LastOpenError() != 0)
            fprintf(stderr, "%s\n", CSerial::OpenFailureText(settings.portName, transfer.LastOpenError()).c_str());
        return kCliFailed;
    }
    if (!RunTransferLoop(transfer, view, &g_stop)) {
        view.EndProgressLine();
        fprintf(stderr, "Read interrupted; port closed.\n");
        return kCliInterrupted;
    }
    view.EndProgressLine();
    if (!transfer.Completed()) {
        PrintEnd("Read", view.HeldStatus(), view.Status(), transfer.EndSector());
        return kCliFailed;
    }
    PrintEnd(nullptr, view.HeldStatus(), view.Status(), -1);
    return image.WriteImageFile(args.image.c_str(), report) ? kCliOk : kCliFailed;
}

// The ports named, then every listed port for --all-ports (simulated units
// and remembered network ports only when asked for), each once; a network
// port counts once however its address is spelt.
std::vector<std::string> PortsOf(const TransferArgs& args)
{
    std::vector<std::string> ports = args.ports;
    if (args.allPorts) {
        const std::vector<std::string> simulated = ListSimulatedPorts();
        for (const std::string& port : ListSerialPorts()) {
            const bool isSimulated = std::find(simulated.begin(), simulated.end(), port) != simulated.end();
            if (!isSimulated || args.includeSimulated)
                ports.push_back(port);
        }
        if (args.includeNetwork) {
            const RememberedNetworkPorts remembered(ReadProgramSetting(ProgramSettings::kNetworkPortsKey));
            ports.insert(ports.end(), remembered.Ports().begin(), remembered.Ports().end());
        }
    }
    std::vector<std::string> once;
    std::vector<std::string> keys;
    for (const std::string& port : ports) {
        const std::string key = CanonicalPortName(port);
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(key);
            once.push_back(port);
        }
    }
    return once;
}

// One unit on its own: its texts and exit status as they have always been.
int EndOfOneUnit(Kind kind, const std::string& imageName, const CGangTransfer::Outcome& outcome, bool ended)
{
    const int failed = kind == Kind::Verify ? kCliTransferFailed : kCliFailed;
    if (!outcome.started) {
        PrintEnd(nullptr, outcome.heldStatus, outcome.status, -1);
        if (!outcome.openFailure.empty())
            fprintf(stderr, "%s\n", outcome.openFailure.c_str());
        return failed;
    }
    if (!ended) {
        fprintf(stderr, "%s interrupted; port closed.\n", kind == Kind::Write ? "Write" : "Verify");
        return kCliInterrupted;
    }
    if (outcome.verify == CGangTransfer::Verify::Differs) {
        // Said instead of the verify's own status, which says the same.
        fprintf(stderr, "The unit differs from %s in %s: %s\n", imageName.c_str(),
                outcome.differing.size() == 1 ? "sector" : "sectors", SectorList(outcome.differing).c_str());
        return kCliDiffers;
    }
    if (outcome.result != CGangTransfer::Result::Completed) {
        PrintEnd(outcome.verifying ? "Verify" : "Write", outcome.heldStatus, outcome.status, outcome.endSector);
        return failed;
    }
    PrintEnd(nullptr, outcome.heldStatus, outcome.status, -1);
    return kCliOk;
}

std::string PlanJson(const CWritePlan& plan)
{
    return FormatText("{\"sectors\": %d, \"bytes\": %llu, \"seconds\": %.1f, \"baud\": %d", plan.Sectors(),
                      (unsigned long long)plan.Bytes(), plan.Seconds(), plan.Baud());
}

// --dry-run: what the transfer would move and how long a unit would take,
// from the image alone; no port, port lock or journal is touched.
int PrintPlan(Kind kind, const TransferArgs& args)
{
    CliReport report;
    cMemoryMap image;
    if (ImageMemoryMissing(image) || !ReadImageShared(args.image, image, report))
        return kCliFailed;
    image.StoreTableInImage();
    const CWritePlan plan =
        kind == Kind::Write ? CWritePlan::ForWrite(image, args.baud) : CWritePlan::ForVerify(image, args.baud);
    // A write's read-back reads what the write sent.
    const bool readBack = kind == Kind::Write && args.verify;
    const CWritePlan back = CWritePlan::ForReadBack(plan);
    if (args.json) {
        std::string text = PlanJson(plan);
        if (readBack)
            text += ", \"readBack\": " + PlanJson(back) + "}";
        printf("%s}\n", text.c_str());
    } else {
        printf("%s\n", plan.Describe().c_str());
        if (readBack)
            printf("Read back: %s\n", back.Describe().c_str());
    }
    return kCliOk;
}

int RunUnits(Kind kind, const TransferArgs& args)
{
    if (args.json && !args.dryRun) {
        fprintf(stderr, "--json needs --dry-run.\n");
        return kCliUsage;
    }
    if (args.dryRun)
        return PrintPlan(kind, args);
    const std::vector<std::string> ports = PortsOf(args);
    if (ports.empty()) {
        fprintf(stderr, args.allPorts ? "No serial ports found.\n" : "Name a port with --port or use --all-ports.\n");
        return args.allPorts ? kCliFailed : kCliUsage;
    }
    // A write sends what the file marks as changed; a verify compares.
    CliReport report;
    cMemoryMap image;
    if (ImageMemoryMissing(image) || !ReadImageShared(args.image, image, report))
        return kCliFailed;
    image.StoreTableInImage();
    CGangReport record;
    std::string why;
    if (!args.report.empty() && !record.Open(args.report, why)) {
        fprintf(stderr, "Cannot write %s: %s\n", args.report.c_str(), why.c_str());
        return kCliFailed;
    }

    InstallSignals();
    CGangTransfer gang(image, ports, SettingsOf(args, kind == Kind::Write && args.verify));
    const bool terminal = isatty(STDERR_FILENO) != 0;
    CGangDisplay display(gang, stderr, terminal);
    if (gang.Count() == 1) {
        gang.SetEcho(stderr, terminal);
    } else {
        if (terminal)
            CGangDisplay::WatchResize();
        gang.SetObserver(&display);
    }
    const bool ended =
        gang.Run(kind == Kind::Write ? CGangTransfer::Kind::Write : CGangTransfer::Kind::Verify, &g_stop);
    record.Write(gang, args.image, image);
    if (gang.Count() == 1)
        return EndOfOneUnit(kind, args.image, gang.GetOutcome(0), ended);

    display.Finish();
    if (!ended)
        return kCliInterrupted;
    for (size_t i = 0; i < gang.Count(); ++i)
        if (gang.GetOutcome(i).result != CGangTransfer::Result::Completed)
            return kCliFailed;
    return kCliOk;
}

// A local device, or a port on the network; a malformed network name is a
// usage error that says what is expected.
CLI::Validator PortName()
{
    return CLI::Validator(
        [](std::string& name) {
            NetworkAddress address;
            std::string why;
            if (IsNetworkPortName(name) && !ParseNetworkAddress(name, address, &why))
                return why;
            return std::string();
        },
        "PORT");
}

constexpr const char* kPortHelp =
    "serial port of a unit (see ormid-cli ports): a device, rfc2217://HOST:PORT (a serial device server: the "
    "transfer sets its line) or tcp://HOST:PORT (a raw stream: the line settings are the server's)";

void AddLineOptions(CLI::App& command, TransferArgs& args)
{
    command.add_option("--baud", args.baud, "line speed")->check(CLI::IsMember({115200, 57600}))->capture_default_str();
    command.add_flag("--no-timeouts", args.noTimeouts, "disable timeouts: wait for the unit as long as it takes");
    command.add_flag("--recover", args.recover,
                     "when the unit does not answer, complete the sector an interrupted write left open");
}

// Any number of units at once.
void AddPortsOptions(CLI::App& command, TransferArgs& args)
{
    command.add_option("--port", args.ports, std::string(kPortHelp) + "; repeat for more units")->check(PortName());
    command.add_flag("--all-ports", args.allPorts, "every serial port ormid-cli ports lists");
    command.add_flag("--include-simulated", args.includeSimulated, "with --all-ports: simulated units too");
    command.add_flag("--include-network", args.includeNetwork,
                     "with --all-ports: the network ports the program remembers too");
    command.add_option("--report", args.report, "append one JSON line per unit to FILE")->type_name("FILE");
    command.add_flag("--dry-run", args.dryRun,
                     "open no port: print the sectors, bytes and estimated time per unit at --baud");
    // Checked by the command, not by a "needs" rule, whose note in the help
    // would read to the shell completion as a value the flag takes.
    command.add_flag("--json", args.json, "with --dry-run: the plan as JSON");
    AddLineOptions(command, args);
    AddImageArgument(command, args.image);
}

void SetupRead(CLI::App& app, int& exitCode)
{
    CLI::App* command =
        app.add_subcommand("read", "read the unit's messages into IMAGE (saved only when the read completes)");
    command->add_option("--port", readArgs.ports, kPortHelp)->check(PortName())->required()->expected(1);
    AddLineOptions(*command, readArgs);
    AddImageArgument(*command, readArgs.image);
    command->callback([&exitCode] { exitCode = RunRead(readArgs); });
}

void SetupWrite(CLI::App& app, int& exitCode)
{
    // A loaded image marks every sector its messages use, so all of them go.
    CLI::App* command =
        app.add_subcommand("write", "program every unit named with every sector IMAGE's messages use, all at once");
    AddPortsOptions(*command, writeArgs);
    command->add_flag("--verify", writeArgs.verify, "read the programmed sectors back and compare them");
    command->callback([&exitCode] { exitCode = RunUnits(Kind::Write, writeArgs); });
}

void SetupVerify(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand(
        "verify", "compare each unit's memory with IMAGE (one unit, exit 1: sectors differ, 2: transfer failed)");
    AddPortsOptions(*command, verifyArgs);
    command->callback([&exitCode] { exitCode = RunUnits(Kind::Verify, verifyArgs); });
}

CliRegistrar readRegistrar("read", SetupRead);
CliRegistrar writeRegistrar("write", SetupWrite);
CliRegistrar verifyRegistrar("verify", SetupVerify);

}  // namespace
