// ormid-cli read / write: move an image between a file and a unit on a serial
// port, with the same protocols and time limits as the communications dialog.
//
//   ormid-cli read  --port DEV [--baud 115200|57600] [--no-timeouts] [--recover] IMAGE
//   ormid-cli write --port DEV [--baud 115200|57600] [--no-timeouts] [--recover] [--verify] IMAGE
//   ormid-cli verify --port DEV [--baud 115200|57600] [--no-timeouts] [--recover] IMAGE
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "CConsoleTransferView.h"
#include "CImageLock.h"
#include "CSerialTransferLink.h"
#include "CUnitTransfer.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "TransferLoop.h"
#include "serialport.h"

namespace {

constexpr int kCliInterrupted = 130;
// verify: the unit's sectors differ (1) or the transfer itself failed (2).
constexpr int kCliDiffers = 1;
constexpr int kCliTransferFailed = 2;

enum class Kind { Read, Write, Verify };

struct TransferArgs {
    std::string port;
    int baud = 115200;
    bool noTimeouts = false;
    bool recover = false;
    bool verify = false;
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
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// A read must be able to save its result: better to know before the unit
// spends minutes sending it.
bool CanWriteTarget(const std::string& path, std::string& why)
{
    if (FileExists(path)) {
        if (access(path.c_str(), W_OK) == 0)
            return true;
        why = std::strerror(errno);
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    if (access(folder.c_str(), W_OK | X_OK) == 0)
        return true;
    why = std::strerror(errno);
    return false;
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

int RunTransfer(Kind kind, const TransferArgs& args)
{
    const bool write = kind == Kind::Write;
    const bool verifying = kind == Kind::Verify || (write && args.verify);
    const char* what = kind == Kind::Read ? "Read" : (write ? "Write" : "Verify");
    if (kind == Kind::Read) {
        std::string why;
        if (!CanWriteTarget(args.image, why)) {
            fprintf(stderr, "Cannot write %s: %s\n", args.image.c_str(), why.c_str());
            return kCliFailed;
        }
    }
    CliReport report;
    cMemoryMap image;
    if (!image.HasBuffer()) {
        fprintf(stderr, "%s\n", cMemoryMap::kAllocationFailedText);
        return kCliFailed;
    }
    // A write sends what the file marks as changed; a read fills what the
    // file held (or a new image) with the unit's sectors.
    // A read replaces the file when it completes: no other command may
    // change it in between.
    CImageLock lock;
    if (!lock.Lock(args.image, kind != Kind::Read ? CImageLock::kShared : CImageLock::kExclusive, report))
        return kCliFailed;
    if (kind != Kind::Read || FileExists(args.image)) {
        if (!image.ReadImageFile(args.image.c_str(), report))
            return kCliFailed;
    }
    if (kind != Kind::Read)
        lock.Unlock();
    image.StoreTableInImage();

    InstallSignals();
    CSerialPort port;
    CSerialTransferLink link(port);
    CConsoleTransferView view(stderr, isatty(STDERR_FILENO) != 0);
    CUnitTransfer transfer(image, link, view);

    TransferSettings settings;
    settings.portName = args.port;
    settings.baudPosition = args.baud == 57600 ? 1 : 0;
    settings.disableTimeouts = args.noTimeouts;
    settings.recover = args.recover;
    settings.verifyAfterWrite = verifying;
    if (kind == Kind::Write)
        transfer.StartWrite(settings);
    else if (kind == Kind::Read)
        transfer.StartRead(settings);
    else
        transfer.StartVerify(settings);
    const int failed = kind == Kind::Verify ? kCliTransferFailed : kCliFailed;
    if (!view.TimerRunning()) {
        // The status already said the port could not be opened; add why.
        if (transfer.LastOpenError() != 0)
            fprintf(stderr, "%s\n", CSerial::OpenFailureText(args.port, transfer.LastOpenError()).c_str());
        return failed;
    }

    if (!RunTransferLoop(transfer, view, &g_stop)) {
        view.EndProgressLine();
        fprintf(stderr, "%s interrupted; port closed.\n", what);
        return kCliInterrupted;
    }
    view.EndProgressLine();
    if (!transfer.Completed()) {
        fprintf(stderr, "%s failed: %s\n", transfer.Verifying() ? "Verify" : what,
                WithoutTrailingBreaks(view.Status()).c_str());
        return failed;
    }
    // A write reads back at least a sector it wrote again after an
    // interrupted write.
    if (transfer.Verified() && !transfer.DifferingSectors().empty()) {
        fprintf(stderr, "The unit differs from %s in sectors: %s\n", args.image.c_str(),
                SectorList(transfer.DifferingSectors()).c_str());
        return kCliDiffers;
    }
    // Only a read changes the image; a verify leaves the file as it was.
    if (kind == Kind::Read && !image.WriteImageFile(args.image.c_str(), report))
        return kCliFailed;
    return kCliOk;
}

void AddTransferOptions(CLI::App& command, TransferArgs& args)
{
    command.add_option("--port", args.port, "serial port of the unit (see ormid-cli ports)")->required();
    command.add_option("--baud", args.baud, "line speed")
        ->check(CLI::IsMember({115200, 57600}))
        ->capture_default_str();
    command.add_flag("--no-timeouts", args.noTimeouts, "disable timeouts: wait for the unit as long as it takes");
    command.add_flag("--recover", args.recover,
                     "when the unit does not answer, complete the sector an interrupted write left open");
    AddImageArgument(command, args.image);
}

void SetupRead(CLI::App& app, int& exitCode)
{
    CLI::App* command =
        app.add_subcommand("read", "read the unit's messages into IMAGE (saved only when the read completes)");
    AddTransferOptions(*command, readArgs);
    command->callback([&exitCode] { exitCode = RunTransfer(Kind::Read, readArgs); });
}

void SetupWrite(CLI::App& app, int& exitCode)
{
    // A loaded image marks every sector its messages use, so all of them go.
    CLI::App* command = app.add_subcommand("write", "program the unit with every sector IMAGE's messages use");
    AddTransferOptions(*command, writeArgs);
    command->add_flag("--verify", writeArgs.verify, "read the programmed sectors back and compare them");
    command->callback([&exitCode] { exitCode = RunTransfer(Kind::Write, writeArgs); });
}

void SetupVerify(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand(
        "verify", "compare the unit's memory with IMAGE (exit 1: sectors differ, 2: transfer failed)");
    AddTransferOptions(*command, verifyArgs);
    command->callback([&exitCode] { exitCode = RunTransfer(Kind::Verify, verifyArgs); });
}

CliRegistrar readRegistrar("read", SetupRead);
CliRegistrar writeRegistrar("write", SetupWrite);
CliRegistrar verifyRegistrar("verify", SetupVerify);

} // namespace
