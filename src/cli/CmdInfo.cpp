// ormid-cli info IMAGE [--json]: where each message lies in the image, whether
// its stored checksum matches its bytes, and what a write would send.
#include <cstdio>
#include <vector>

#include "CliImage.h"
#include "CliJson.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "UnitName.h"

namespace {

struct {
    std::string image;
    bool json = false;
} args;

struct SlotFacts {
    uint32_t start = 0;
    uint32_t length = 0;
    uint8_t stored = 0;
    uint8_t computed = 0;
    bool holdsAudio = false;
    int firstSector = -1;  // -1: no audio, no sectors
    int lastSector = -1;
};

int SectorOf(uint32_t address)
{
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        if (cMemoryMap::GetSectorStart(s) <= address && address < cMemoryMap::GetSectorEnd(s))
            return s;
    return -1;
}

SlotFacts Facts(const cMemoryMap& map, uint8_t slot)
{
    SlotFacts f;
    f.start = map.GetStart(slot);
    f.length = map.GetLength(slot);
    f.stored = map.GetChecksum(slot);
    f.holdsAudio = map.HoldsAudio(slot);
    if (f.holdsAudio) {
        const uint8_t* p = map.GetImageBuffer() + f.start;
        for (uint32_t i = 0; i < f.length; ++i)
            f.computed = uint8_t(f.computed + p[i]);
        f.firstSector = SectorOf(f.start);
        f.lastSector = SectorOf(f.start + f.length - 1);
    }
    return f;
}

// What is wrong with where an entry lies: outside the audio area, or over
// another entry's bytes; empty when nothing is.
std::string PlacementFault(const cMemoryMap& map, uint8_t slot)
{
    const uint32_t start = map.GetStart(slot), length = map.GetLength(slot);
    if (length == 0)
        return std::string();
    if (!map.HoldsAudio(slot))
        return "outside the audio area";
    for (uint8_t other = 0; other < cMemoryMap::kSlotCount; ++other) {
        const uint32_t s = map.GetStart(other), n = map.GetLength(other);
        if (other != slot && n != 0 && s < start + length && start < s + n)
            return "overlaps slot " + std::to_string(other + 1);
    }
    return std::string();
}

std::string SectorText(const SlotFacts& f)
{
    if (f.firstSector < 0)
        return "-";
    if (f.firstSector == f.lastSector)
        return std::to_string(f.firstSector);
    return std::to_string(f.firstSector) + "-" + std::to_string(f.lastSector);
}

void PrintText(const cMemoryMap& map, const std::vector<uint8_t>& needed)
{
    std::printf("Slot  Start     Length    Stored  Computed  Sectors  Name\n");
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        const SlotFacts f = Facts(map, slot);
        const std::string fault = PlacementFault(map, slot);
        std::printf("%4d  0x%06X  %8u  0x%02X    0x%02X%s  %-7s  %s%s\n", slot + 1, f.start, f.length, f.stored,
                    f.computed, f.stored == f.computed ? "    " : " (!)", SectorText(f).c_str(),
                    UnitNameToUtf8(map.GetName(slot)).c_str(), fault.empty() ? "" : ("  (!) " + fault).c_str());
    }
    const uint32_t room = map.GetRoomLeft();
    std::printf("Last used address: 0x%06X\n", map.GetLastUsedAddress());
    std::printf("Room left: %u bytes (%.2f sec)\n", room, room / double(cMemoryMap::kBytesPerSecond));
    std::printf("Sectors marked for writing (%zu):", needed.size());
    for (const uint8_t s : needed)
        std::printf(" %u", unsigned(s));
    std::printf("\n");
}

void PrintJson(const cMemoryMap& map, const std::vector<uint8_t>& needed)
{
    std::printf("{\"slots\": [");
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        const SlotFacts f = Facts(map, slot);
        const int sectors = f.firstSector < 0 ? 0 : f.lastSector - f.firstSector + 1;
        std::printf("%s\n  {\"slot\": %d, \"name\": %s, \"start\": %u, \"length\": %u, \"playCount\": %u, "
                    "\"placementOk\": %s, \"storedChecksum\": %u, \"computedChecksum\": %u, \"checksumOk\": %s, ",
                    slot ? "," : "", slot + 1, JsonString(UnitNameToUtf8(map.GetName(slot))).c_str(), f.start, f.length,
                    unsigned(map.GetPlayCount(slot)), PlacementFault(map, slot).empty() ? "true" : "false",
                    unsigned(f.stored), unsigned(f.computed), f.stored == f.computed ? "true" : "false");
        if (f.firstSector < 0)
            std::printf("\"firstSector\": null, \"lastSector\": null, \"sectors\": 0}");
        else
            std::printf("\"firstSector\": %d, \"lastSector\": %d, \"sectors\": %d}", f.firstSector, f.lastSector,
                        sectors);
    }
    std::printf("\n], \"lastUsedAddress\": %u, \"roomLeft\": %u, \"sectorsMarkedForWriting\": [",
                map.GetLastUsedAddress(), map.GetRoomLeft());
    for (size_t i = 0; i < needed.size(); ++i)
        std::printf("%s%u", i ? ", " : "", unsigned(needed[i]));
    std::printf("]}\n");
}

int Run()
{
    CliReport report;
    cMemoryMap map;
    if (!ReadImageShared(args.image, map, report))
        return kCliFailed;
    // After a load, the sectors marked are those a write to the unit sends.
    std::vector<uint8_t> needed;
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        if (map.IsSectorNeeded(s))
            needed.push_back(s);
    if (args.json)
        PrintJson(map, needed);
    else
        PrintText(map, needed);
    return FlushOutput(report) ? kCliOk : kCliFailed;
}

void Setup(CLI::App& app, int& exitCode)
{
    CLI::App* command = app.add_subcommand(
        "info", "show where each message lies, its checksums and sectors, the room left and the sectors to write");
    AddImageArgument(*command, args.image);
    command->add_flag("--json", args.json, "write the facts as JSON");
    command->callback([&exitCode] { exitCode = Run(); });
}

CliRegistrar registrar("info", Setup);

}  // namespace
