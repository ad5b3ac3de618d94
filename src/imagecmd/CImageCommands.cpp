#include "CImageCommands.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "CAudioEdit.h"
#include "CAudioImport.h"
#include "UnitName.h"
#include "cMemoryMap.h"

namespace {

// Keeps nothing: for asking the strict reader without showing its answer.
class CQuietReport : public IOperatorReport {
public:
    void ShowMessage(const std::string&) override { }
    bool AskYesNo(const std::string&) override { return false; }
};

// The table before a command, to tell afterwards what the command changed.
struct CTableCopy {
    explicit CTableCopy(const cMemoryMap& map) { std::memcpy(bytes, map.GetTable(), sizeof bytes); }
    uint8_t bytes[cMemoryMap::kTableSize];
};

std::string RepairQuestion(const CAudioFileInfo& info, const char* action)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "The file's WAV header does not match its audio (%d Hz, %d-bit, %d channel(s)).\n"
                  "Convert it to the unit's format (8 kHz mu-law, mono) and %s it?",
                  info.sampleRate, info.bitsPerSample, info.channels, action);
    return text;
}

}  // namespace

CImageCommands::CImageCommands(cMemoryMap& map, IOperatorReport& report, ILongStep* steps)
    : m_map(map), m_report(report), m_steps(steps ? *steps : m_inline)
{
}

std::string CImageCommands::NameFromPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void CImageCommands::StoreName(uint8_t slot, const std::string& utf8)
{
    const UnitName name = UnitNameFromUtf8(utf8, cMemoryMap::kNameSize - 1);
    m_map.SetName(slot, name.latin1.c_str());
    if (name.replaced || name.control)
        m_report.ShowMessage("The unit cannot store some characters of the name; they were stored as '?': " +
                             UnitNameToUtf8(name.latin1.c_str()));
}

bool CImageCommands::WithScratchFolder(IOperatorReport& report,
                                       const std::function<bool(const std::string& folder)>& work)
{
    const std::string folder = CAudioEdit::MakeWorkFolder();
    if (folder.empty()) {
        report.ShowMessage("Cannot make a folder for the scratch files.");
        return false;
    }
    const bool ok = work(folder);
    CAudioEdit::RemoveWorkFolder(folder);
    return ok;
}

bool CImageCommands::StrictReaderRefuses(const std::string& path)
{
    CQuietReport quiet;
    std::vector<uint8_t> ignored;
    return !cMemoryMap::ReadUnitWav(path.c_str(), 0xFFFFFFFFu, ignored, quiet);
}

CImageCommands::Prepared CImageCommands::PrepareAudio(CAudioImport& audio, const CAudioFileRequest& request,
                                                      uint32_t room, bool append, CCommandResult& result)
{
    const std::string shown = NameFromPath(request.path);
    CConvertControl control;
    bool offer = false;
    bool repair = false;
    m_steps.Run("Reading " + shown + "...", ILongStep::Length::Short, control, [&] {
        offer = audio.Examine(request.path.c_str(), &control);
        // A decoder reads it as the unit's audio, but the strict reader would
        // refuse it: converting takes what the decoder reads.
        if (!offer && audio.Info().unitFormat && StrictReaderRefuses(request.path))
            offer = repair = true;
    });
    if (control.stop)
        return kEnd;
    if (!offer)
        return kTake;

    const char* action = append ? "append" : "import";
    const std::string question = repair ? RepairQuestion(audio.Info(), action) : audio.QuestionText(action);
    switch (request.convert) {
    case ConvertChoice::kNever:
        // The import's own refusal, then the caller says how to take it anyway.
        if (append) {
            std::vector<uint8_t> ignored;
            cMemoryMap::ReadUnitWav(request.path.c_str(), 0xFFFFFFFFu, ignored, m_report);
        } else if (m_map.ImportSlotWav(request.slot, request.path.c_str(), m_report)) {
            return kTaken;  // the import took it as it is after all
        }
        result.convertQuestion = question;
        return kEnd;
    case ConvertChoice::kAsk:
        if (!m_report.AskYesNo(question))
            return kEnd;
        break;
    case ConvertChoice::kAlways:
        break;
    }

    CAudioImport::Outcome outcome = CAudioImport::kDeclined;
    m_steps.Run("Converting " + shown + "...", ILongStep::Length::Long, control,
                [&] { outcome = audio.Convert(room, &control); });
    if (outcome == CAudioImport::kDeclined || control.stop)
        return kEnd;
    if (outcome == CAudioImport::kFailed) {
        audio.ShowFailure(m_report);
        return kEnd;
    }
    if (outcome == CAudioImport::kConverted) {
        if (m_onConverted)
            m_onConverted(audio.Converter());
        // An empty message is never what the operator meant to import (one
        // cut to nothing for want of room is the import's to refuse).
        if (!audio.Converter().Truncated() && CAudioEdit::AudioBytes(audio.ImportPath()) == 0) {
            m_report.ShowMessage("Trouble with " + request.path + "\nThe file holds no audio.\n");
            return kEnd;
        }
        result.clampedSamples = audio.Converter().ClampedSamples();
    }
    return kTake;
}

bool CImageCommands::PrepareFile(CAudioImport& audio, const std::string& path, uint32_t room)
{
    CAudioFileRequest request;
    request.path = path;
    CCommandResult ignored;
    return PrepareAudio(audio, request, room, true, ignored) == kTake;
}

CCommandResult CImageCommands::Import(const CAudioFileRequest& request)
{
    CCommandResult result;
    const CTableCopy before(m_map);
    CAudioImport audio;
    const Prepared prepared = PrepareAudio(audio, request, m_map.GetRoomLeft(), false, result);
    if (prepared == kEnd || (prepared == kTake && !audio.ImportIntoSlot(m_map, request.slot, m_report)))
        return result;
    StoreName(request.slot, request.name ? *request.name : NameFromPath(request.path));
    if (request.count)
        m_map.SetPlayCount(request.slot, uint8_t(*request.count));
    result.done = true;
    result.change = CImageChange::Between(before.bytes, m_map, request.slot);
    return result;
}

bool CImageCommands::Export(uint8_t slot, const std::string& path)
{
    return m_map.ExportSlotWav(slot, path.c_str(), m_report);
}

CCommandResult CImageCommands::Delete(uint8_t slot)
{
    CCommandResult result;
    const CTableCopy before(m_map);
    m_map.ClearSlot(slot);
    result.done = true;
    result.change = CImageChange::Between(before.bytes, m_map);
    return result;
}

CCommandResult CImageCommands::Set(uint8_t slot, const std::string* nameUtf8, const int* count)
{
    CCommandResult result;
    const CTableCopy before(m_map);
    if (nameUtf8)
        StoreName(slot, *nameUtf8);
    if (count)
        m_map.SetPlayCount(slot, uint8_t(*count));
    result.done = true;
    result.change = CImageChange::Between(before.bytes, m_map);
    return result;
}

CCommandResult CImageCommands::Silence(uint8_t slot, uint32_t ms)
{
    CCommandResult result;
    const CTableCopy before(m_map);
    result.done = WithScratchFolder(
        m_report, [&](const std::string& work) { return CAudioEdit::MakeSilence(m_map, slot, ms, work, m_report); });
    result.change = CImageChange::Between(before.bytes, m_map, slot);
    return result;
}

CCommandResult CImageCommands::MatchLoudness(double target, uint8_t slotMask, std::vector<SMatchOutcome>& outcomes)
{
    CCommandResult result;
    outcomes.clear();
    uint8_t* image = m_map.GetImageBuffer();
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        if (!(slotMask & (1u << slot)))
            continue;
        SMatchOutcome outcome;
        if (image && m_map.HoldsAudio(slot)) {
            const uint32_t start = m_map.GetStart(slot);
            const uint32_t length = m_map.GetLength(slot);
            std::vector<uint8_t> codes(image + start, image + start + length);
            outcome = CLoudnessMatch::MatchCodes(codes, target);
            if (outcome.Changed()) {
                std::copy(codes.begin(), codes.end(), image + start);
                m_map.UpdateChecksum(slot);
                m_map.MarkSectorsNeeded(slot);
                result.change.entries |= uint8_t(1u << slot);
                result.change.AddRange(start, start + length);
            }
        }
        outcome.slot = slot;
        outcomes.push_back(outcome);
    }
    result.done = true;
    return result;
}

CCommandResult CImageCommands::Append(const CAudioFileRequest& request)
{
    CCommandResult result;
    const CTableCopy before(m_map);
    CAudioImport audio;
    if (PrepareAudio(audio, request, m_map.GetRoomLeftWithout(request.slot), true, result) != kTake)
        return result;
    result.done = WithScratchFolder(m_report, [&](const std::string& work) {
        return CAudioEdit::AppendFile(m_map, request.slot, audio.ImportPath(), request.path, work, m_report);
    });
    result.change = CImageChange::Between(before.bytes, m_map, request.slot);
    return result;
}

CCommandResult CImageCommands::ApplyEdit(uint8_t slot, const std::string& nameLatin1, int playCount,
                                         const std::string* newAudioPath)
{
    CCommandResult result;
    const CTableCopy before(m_map);
    if (newAudioPath && !m_map.ReplaceSlotWav(slot, newAudioPath->c_str(), m_report))
        return result;
    m_map.SetName(slot, nameLatin1.c_str());
    m_map.SetPlayCount(slot, uint8_t(playCount < 0 ? 0 : playCount > 255 ? 255 : playCount));
    result.done = true;
    result.change = CImageChange::Between(before.bytes, m_map, newAudioPath ? slot : -1);
    return result;
}
