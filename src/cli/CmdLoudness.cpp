// ormid-cli loudness IMAGE [--json] [--match TARGET]: each message's
// integrated loudness and true peak as the unit plays it; with --match, every
// message brought to TARGET LUFS as the panel's Match Loudness does, the
// image saved and the result printed per message.
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "CLoudnessMatch.h"
#include "CLoudnessMeter.h"
#include "CliImage.h"
#include "CliJson.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "UnitName.h"

namespace {

struct {
    std::string image;
    bool json = false;
    double target = 0;
    CLI::Option* match = nullptr;
} args;

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

void PrintJson(const cMemoryMap& map)
{
    std::printf("{\"slots\": [");
    const std::array<SLoudness, 8> all = CLoudnessMeter::MeasureImage(map);
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        const SLoudness& loudness = all[slot];
        const bool empty = loudness.state == SLoudness::State::kEmpty;
        std::printf("%s\n  {\"slot\": %d, \"name\": %s, \"lufs\": %s, \"truePeak\": %s}", slot ? "," : "", slot + 1,
                    JsonString(UnitNameToUtf8(map.GetName(slot))).c_str(),
                    loudness.Measured() ? JsonNumber(loudness.lufs).c_str() : "null",
                    empty ? "null" : JsonNumber(loudness.truePeak).c_str());
    }
    std::printf("\n]}\n");
}

int Measure()
{
    CliReport report;
    cMemoryMap map;
    if (!ReadImageShared(args.image, map, report))
        return kCliFailed;
    if (args.json) {
        PrintJson(map);
    } else {
        const std::array<SLoudness, 8> all = CLoudnessMeter::MeasureImage(map);
        for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
            const SLoudness& loudness = all[slot];
            std::printf("%3d\t%s\t%s\t%s\n", slot + 1, UnitNameToUtf8(map.GetName(slot)).c_str(),
                        CLoudnessMeter::LoudnessText(loudness).c_str(), CLoudnessMeter::PeakText(loudness).c_str());
        }
    }
    return FlushOutput(report) ? kCliOk : kCliFailed;
}

int Match()
{
    CliReport report;
    std::vector<SMatchOutcome> outcomes;
    const int code = ChangeImage(args.image, report, [&](CImageCommands& commands) {
        return commands.MatchLoudness(args.target, 0xFF, outcomes).done;
    });
    if (code != kCliOk)
        return code;
    for (const SMatchOutcome& outcome : outcomes) {
        if (outcome.kind != SMatchOutcome::Kind::kEmpty)
            std::printf("%s\n", CLoudnessMatch::Describe(outcome).c_str());
    }
    return FlushOutput(report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command =
        app.add_subcommand("loudness", "measure each message's loudness and true peak, or match them to a target");
    AddImageArgument(*command, args.image);
    command->add_flag("--json", args.json, "write the measurements as JSON");
    args.match = command
                     ->add_option("--match", args.target,
                                  "bring every message to TARGET LUFS (true peak at most -1 dBTP) and save the image")
                     ->option_text("TARGET")
                     ->check(CLI::Range(CLoudnessMatch::kMinTarget, CLoudnessMatch::kMaxTarget));
    args.match->excludes(command->get_option("--json"));
    command->callback([&exitCode] { exitCode = args.match->count() ? Match() : Measure(); });
}

CliRegistrar registrar("loudness", Setup);

}  // namespace
