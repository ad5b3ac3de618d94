// ormid-cli silence IMAGE SLOT MS: the slot's audio becomes MS milliseconds
// of silence, as Make Silence does in the edit dialog; name and play count
// stay.
#include "CAudioEdit.h"
#include "CliImage.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "CImageLock.h"

namespace {

struct {
    std::string image;
    int slot = 0;
    unsigned ms = 0;
} args;

int Run()
{
    CliReport report;
    // Held from the read to the write, so that no other change is lost.
    CImageLock lock;
    if (!lock.Lock(args.image, CImageLock::kExclusive, report))
        return kCliFailed;
    cMemoryMap map;
    if (!map.ReadImageFile(args.image.c_str(), report))
        return kCliFailed;
    const std::string work = CAudioEdit::MakeWorkFolder();
    if (work.empty()) {
        report.ShowMessage("Cannot make a folder for the scratch files.");
        return kCliFailed;
    }
    const bool ok = CAudioEdit::MakeSilence(map, uint8_t(args.slot - 1), args.ms, work, report);
    CAudioEdit::RemoveWorkFolder(work);
    if (!ok)
        return kCliFailed;
    return map.WriteImageFile(args.image.c_str(), report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand("silence", "make a slot's audio a stretch of silence (at most 1000 ms)");
    AddImageArgument(*command, args.image);
    AddSlotArgument(*command, args.slot);
    command->add_option("MS", args.ms, "milliseconds of silence, 0-1000 (and what fits in the image)")
        ->required()
        ->check(CLI::Range(0u, CAudioEdit::kMaxSilenceMs));
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("silence", Setup);

}  // namespace
