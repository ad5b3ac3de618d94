#include "CFaultPlan.h"

#include <cstdlib>
#include <sstream>

namespace {

struct SKindInfo {
    EFault kind;
    const char* name;
    const char* help;
};

const SKindInfo kKinds[] = {
    {EFault::NoReply, "no-reply", "say nothing (U R P1 P0 sum prog)"},
    {EFault::Partial, "partial", "send only part of the reply (U R P1 P0)"},
    {EFault::BadChecksum, "bad-checksum", "wrong checksum after the sector (U)"},
    {EFault::FlipBit, "flip-bit", "one data bit flipped, checksum of the clean data (U)"},
    {EFault::WrongAck, "wrong-ack", "'N' instead of 'A', 'A' instead of 'G' (R P1 P0 sum prog)"},
    {EFault::NoG, "no-g", "accept the checksum, never send 'G' (prog)"},
    {EFault::Garbage, "garbage", "stray bytes before the reply (U R P1 P0 sum prog)"},
    {EFault::Stall, "stall", "pause --stall-ms in mid-sector, sending or receiving (U R)"},
    {EFault::SlowProgram, "slow-prog", "programming takes --slow-ms (prog)"},
    {EFault::Vanish, "vanish", "close the line mid-transfer and exit (U R P1 P0)"},
    {EFault::HoldSector, "hold-rx",
     "a sector write cut off part-way is never dropped: every byte,\n"
     "                commands too, is sector data until it is whole (R)"},
};

const char* const kStageNames[] = {"U", "R", "P1", "P0", "sum", "prog"};
constexpr int kStageCount = 6;

bool ParseSector(const std::string& s, int* out)
{
    if (s.empty() || s.size() > 2)
        return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < 0 || v > 99)
        return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

const char* CFaultPlan::KindName(EFault kind)
{
    for (const auto& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

const char* CFaultPlan::StageName(EStage stage)
{
    return kStageNames[static_cast<int>(stage)];
}

bool CFaultPlan::Applies(EFault kind, EStage stage)
{
    switch (kind) {
    case EFault::NoReply:
    case EFault::Garbage:
        return true;
    case EFault::Partial:
    case EFault::Vanish:
        return stage == EStage::U || stage == EStage::R || stage == EStage::P1 || stage == EStage::P0;
    case EFault::BadChecksum:
    case EFault::FlipBit:
        return stage == EStage::U;
    case EFault::WrongAck:
        return stage != EStage::U;
    case EFault::NoG:
    case EFault::SlowProgram:
        return stage == EStage::Program;
    case EFault::Stall:
        return stage == EStage::U || stage == EStage::R;
    case EFault::HoldSector:
        return stage == EStage::R;
    }
    return false;
}

bool CFaultPlan::Add(const std::string& text, std::string* error)
{
    const size_t colon = text.find(':');
    const std::string kindText = text.substr(0, colon);
    SFault f{};
    bool known = false;
    for (const auto& k : kKinds) {
        if (kindText == k.name) {
            f.kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        *error = "unknown fault '" + kindText + "'";
        return false;
    }
    bool sawOnce = false, sawAlways = false;
    if (colon != std::string::npos) {
        std::stringstream when(text.substr(colon + 1));
        std::string item;
        bool any = false;
        while (std::getline(when, item, ',')) {
            any = true;
            if (item == "once") {
                sawOnce = true;
            } else if (item == "always") {
                sawAlways = true;
            } else if (item.rfind("sector=", 0) == 0) {
                if (!ParseSector(item.substr(7), &f.sector) || f.sector >= 70) {
                    *error = "bad sector in '" + text + "' (0-69)";
                    return false;
                }
            } else if (item.rfind("cmd=", 0) == 0) {
                const std::string name = item.substr(4);
                for (int i = 0; i < kStageCount; ++i)
                    if (name == kStageNames[i])
                        f.stage = i;
                if (f.stage < 0) {
                    *error = "bad stage in '" + text + "' (U R P1 P0 sum prog)";
                    return false;
                }
                if (!Applies(f.kind, static_cast<EStage>(f.stage))) {
                    *error = "fault " + kindText + " cannot strike at " + name;
                    return false;
                }
            } else {
                *error = "bad condition '" + item + "' in '" + text + "'";
                return false;
            }
        }
        if (!any) {
            *error = "empty condition in '" + text + "'";
            return false;
        }
    }
    if (sawOnce && sawAlways) {
        *error = "'" + text + "' says both once and always";
        return false;
    }
    if (f.sector >= 0 && f.stage >= 0) {
        const auto st = static_cast<EStage>(f.stage);
        if (st == EStage::P1 || st == EStage::P0) {
            *error = "'" + text + "': P1 and P0 have no sector";
            return false;
        }
    }
    // A bare kind strikes once; a targeted one every time unless told "once".
    const bool targeted = f.sector >= 0 || f.stage >= 0;
    f.once = sawOnce || (!sawAlways && !targeted);
    m_faults.push_back(f);
    return true;
}

bool CFaultPlan::Take(EFault kind, EStage stage, int sector)
{
    if (!Applies(kind, stage))
        return false;
    for (auto& f : m_faults) {
        if (f.kind != kind || f.spent)
            continue;
        if (f.stage >= 0 && f.stage != static_cast<int>(stage))
            continue;
        if (f.sector >= 0 && f.sector != sector)
            continue;
        if (f.once)
            f.spent = true;
        return true;
    }
    return false;
}

std::string CFaultPlan::Help()
{
    std::string s = "Faults (--fault KIND[:WHEN], repeatable):\n";
    for (const auto& k : kKinds) {
        std::string name = k.name;
        name.resize(14, ' ');
        s += "  " + name + k.help + "\n";
    }
    s += "WHEN is a comma list of: once (default), always, sector=N (0-69),\n"
         "cmd=STAGE with STAGE one of U R P1 P0 sum prog (sum: the checksum\n"
         "acknowledgement, prog: the programming result). A fault limited to a\n"
         "sector or stage strikes every time unless 'once' is added.\n"
         "Examples: --fault no-reply  --fault wrong-ack:cmd=sum\n"
         "          --fault bad-checksum:sector=3,once  --fault garbage:always\n";
    return s;
}
