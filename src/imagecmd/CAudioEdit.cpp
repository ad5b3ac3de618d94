#include "CAudioEdit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include "CAtomicFile.h"
#include "CAudioImport.h"
#include "CNamingReport.h"
#include "SafeFile.h"
#include "StaleFiles.h"
#include "cMemoryMap.h"

const char* const CAudioEdit::kSilenceTooLongText = "Cannot make %u ms of silence: at most %u ms fit in this slot.";

namespace {

class CSilentReport : public IOperatorReport {
public:
    void ShowMessage(const std::string&) override { }
    bool AskYesNo(const std::string&) override { return false; }
};

std::string Format(const char* format, unsigned a, unsigned b)
{
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

uint32_t CAudioEdit::AudioRoom(int64_t room)
{
    const int64_t header = cMemoryMap::kWavHeaderSize;
    if (room <= header + 1)
        return 0;
    return uint32_t(std::min<int64_t>(room - header - 1, 0xFFFFFFFFll));
}

uint32_t CAudioEdit::SilenceLimitMs(int64_t room)
{
    return std::min<uint32_t>(AudioRoom(room) / 8, kMaxSilenceMs);
}

bool CAudioEdit::ConcatenateWavFiles(const std::string& first, const std::string& second, const std::string& output,
                                     uint32_t roomForSecond, IOperatorReport& report, uint32_t& appendedBytes,
                                     const std::string& secondShownAs)
{
    appendedBytes = 0;
    // The second file first, as it is the one the operator chose.
    std::vector<uint8_t> tail;
    {
        CNamingReport naming(report, second, secondShownAs);
        if (!cMemoryMap::ReadUnitWav(second.c_str(), roomForSecond, tail, naming))
            return false;
    }
    std::vector<uint8_t> joined;
    if (!cMemoryMap::ReadUnitWav(first.c_str(), 0xFFFFFFFFu, joined, report))
        return false;
    if (joined.size() + tail.size() > CAudioImport::kWholeFile) {
        report.ShowFileError("", output, EFBIG);
        return false;
    }
    joined.insert(joined.end(), tail.begin(), tail.end());
    std::string error;
    if (!CAudioImport::SaveUnitWav(output.c_str(), joined, error)) {
        report.ShowMessage("Failed to open file " + output + "\n" + output + ": " + error);
        return false;
    }
    appendedBytes = uint32_t(tail.size());
    return true;
}

int64_t CAudioEdit::AudioBytes(const std::string& path)
{
    CSilentReport quiet;
    std::vector<uint8_t> data;
    if (!cMemoryMap::ReadUnitWav(path.c_str(), 0xFFFFFFFFu, data, quiet))
        return -1;
    return int64_t(data.size());
}

bool CAudioEdit::MoveFile(const std::string& from, const std::string& to, IOperatorReport& report)
{
    int error = 0;
    if (CAtomicFile::Move(from.c_str(), to.c_str(), error))
        return true;
    report.ShowFileError("", from, error);
    return false;
}

bool CAudioEdit::MakeSilence(cMemoryMap& map, uint8_t slot, uint32_t ms, const std::string& workFolder,
                             IOperatorReport& report)
{
    if (slot >= cMemoryMap::kSlotCount)
        return false;
    const uint32_t limit = SilenceLimitMs(map.GetRoomLeftWithout(slot));
    if (ms > limit) {
        report.ShowMessage(Format(kSilenceTooLongText, ms, limit));
        return false;
    }
    const std::string path = workFolder + "/silence.wav";
    const bool ok = map.WriteSilenceWav(ms, path.c_str(), report) && map.ReplaceSlotWav(slot, path.c_str(), report);
    ::unlink(path.c_str());
    return ok;
}

bool CAudioEdit::AppendFile(cMemoryMap& map, uint8_t slot, const std::string& path, const std::string& shownAs,
                            const std::string& workFolder, IOperatorReport& report)
{
    if (slot >= cMemoryMap::kSlotCount)
        return false;
    const std::string old = workFolder + "/olun.wav", joined = workFolder + "/joined.wav";
    const uint32_t own = map.HoldsAudio(slot) ? map.GetLength(slot) : 0;
    const int64_t room = int64_t(map.GetRoomLeftWithout(slot)) - own;
    uint32_t appended = 0;
    const bool ok =
        map.ExportSlotWav(slot, old.c_str(), report) &&
        ConcatenateWavFiles(old, path, joined, uint32_t(std::max<int64_t>(room, 0)), report, appended, shownAs) &&
        map.ReplaceSlotWav(slot, joined.c_str(), report);
    ::unlink(old.c_str());
    ::unlink(joined.c_str());
    return ok;
}

std::string CAudioEdit::MakeWorkFolder()
{
    // The folder carries the process id, so that the folders of runs that
    // were killed can be told and removed.
    const std::string parent = ScratchParent();
    RemoveStaleFolders(parent, "ormid-edit-");
    std::string pattern = parent + "/ormid-edit-" + std::to_string(::getpid()) + "-XXXXXX";
    return ::mkdtemp(&pattern[0]) ? pattern : std::string();
}

std::string CAudioEdit::ScratchParent()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

void CAudioEdit::RemoveWorkFolder(const std::string& folder)
{
    if (folder.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
