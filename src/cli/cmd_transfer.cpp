// ormid-cli read / write: move an image between a file and a unit on a serial
// port, with the same protocols and time limits as the communications dialog.
//
//   ormid-cli read  --port DEV [--baud 115200|57600] [--no-timeouts] IMAGE
//   ormid-cli write --port DEV [--baud 115200|57600] [--no-timeouts] IMAGE
#include <atomic>
#include <csignal>
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

struct TransferArgs {
    std::string port;
    int baud = 115200;
    bool noTimeouts = false;
    std::string image;
};

TransferArgs readArgs;
TransferArgs writeArgs;

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

int RunTransfer(bool write, const TransferArgs& args)
{
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
    if (!lock.Lock(args.image, write ? CImageLock::kShared : CImageLock::kExclusive, report))
        return kCliFailed;
    if (write || FileExists(args.image)) {
        if (!image.ReadImageFile(args.image.c_str(), report))
            return kCliFailed;
    }
    if (write)
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
    if (write)
        transfer.StartWrite(settings);
    else
        transfer.StartRead(settings);
    if (!view.TimerRunning()) {
        if (port.GetLastError() != 0)
            fprintf(stderr, "%s\n", CSerial::OpenFailureText(args.port, port.GetLastError()).c_str());
        return kCliFailed;
    }

    if (!RunTransferLoop(transfer, view, &g_stop)) {
        view.EndProgressLine();
        fprintf(stderr, "%s interrupted; port closed.\n", write ? "Write" : "Read");
        return kCliInterrupted;
    }
    if (!transfer.Completed()) {
        fprintf(stderr, "%s failed: %s\n", write ? "Write" : "Read", view.Status().c_str());
        return kCliFailed;
    }
    if (!write && !image.WriteImageFile(args.image.c_str(), report))
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
    AddImageArgument(command, args.image);
}

void SetupRead(CLI::App& app, int& exitCode)
{
    CLI::App* command =
        app.add_subcommand("read", "read the unit's messages into IMAGE (saved only when the read completes)");
    AddTransferOptions(*command, readArgs);
    command->callback([&exitCode] { exitCode = RunTransfer(false, readArgs); });
}

void SetupWrite(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("write", "program the unit with the changed sectors of IMAGE");
    AddTransferOptions(*command, writeArgs);
    command->callback([&exitCode] { exitCode = RunTransfer(true, writeArgs); });
}

CliRegistrar readRegistrar("read", SetupRead);
CliRegistrar writeRegistrar("write", SetupWrite);

} // namespace
