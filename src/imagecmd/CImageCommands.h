// The commands that change the unit image, shared by the main panel and
// ormid-cli: import (with conversion), export, delete, set name and play
// count, silence, append and the edit dialog's result. The callers gather
// what the operator chose and show what came of it; the rules, the questions
// and every message live here. Each changing command says what it changed
// (CImageChange), which the panel keeps for Undo.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CImageChange.h"
#include "CLoudnessMatch.h"
#include "ILongStep.h"
#include "IOperatorReport.h"

class CAudioConverter;
class CAudioImport;
class cMemoryMap;

// What to do with an audio file that is not in the unit's format but that a
// decoder reads.
enum class ConvertChoice {
    kAsk,     // the operator is asked (the panel; ormid-cli append --yes)
    kAlways,  // convert without asking (--convert)
    kNever,   // refuse it with the import's own messages (ormid-cli without --convert)
};

struct CAudioFileRequest {
    uint8_t slot = 0;
    std::string path;  // as the system names the file (UTF-8 here)
    ConvertChoice convert = ConvertChoice::kAsk;
    // Import only: the name (UTF-8) instead of the file's name, and the play count.
    const std::string* name = nullptr;
    const int* count = nullptr;
};

struct CCommandResult {
    bool done = false;            // the command did what was asked
    CImageChange change;          // what it changed in the image
    uint64_t clampedSamples = 0;  // of a conversion: samples clamped to full scale
    // kNever refused a file that a conversion would take: the question that
    // kAsk would have asked, so that the caller can say how to take it.
    std::string convertQuestion;
};

class CImageCommands {
public:
    // steps: where the slow steps run (in line when null). Both must outlive
    // the commands.
    CImageCommands(cMemoryMap& map, IOperatorReport& report, ILongStep* steps = nullptr);

    CCommandResult Import(const CAudioFileRequest& request);
    bool Export(uint8_t slot, const std::string& path);
    CCommandResult Delete(uint8_t slot);
    // Either may be null: that one stays.
    CCommandResult Set(uint8_t slot, const std::string* nameUtf8, const int* count);
    // The slot's audio becomes ms milliseconds of silence; name and count stay.
    CCommandResult Silence(uint8_t slot, uint32_t ms);
    // Match Loudness: the audio of each slot in slotMask (bit s: slot s)
    // brought to target LUFS, its true peak kept under the ceiling; names,
    // counts and order stay, the sectors touched are marked for the next
    // write. outcomes: one per slot of the mask, in slot order.
    CCommandResult MatchLoudness(double target, uint8_t slotMask, std::vector<SMatchOutcome>& outcomes);
    // The slot's audio followed by the file's; name and count stay.
    CCommandResult Append(const CAudioFileRequest& request);
    // The edit dialog's OK: the new audio (when newAudioPath is given) is
    // checked in full before the slot is touched; then the name (Latin-1, as
    // the dialog keeps it) and the play count.
    CCommandResult ApplyEdit(uint8_t slot, const std::string& nameLatin1, int playCount,
                             const std::string* newAudioPath);

    // Append File of the edit dialog, which joins files before the slot
    // changes: the file is read, questioned and converted as Import does.
    // True when audio.ImportPath() is to be joined.
    bool PrepareFile(CAudioImport& audio, const std::string& path, uint32_t room);

    // The one naming rule for text that becomes a slot's name: UTF-8 to the
    // unit's Latin-1, cut to 15 characters; a character the unit cannot hold
    // becomes '?', and the operator is told.
    void StoreName(uint8_t slot, const std::string& utf8);
    // The file's name without its folder: what an imported slot is called.
    static std::string NameFromPath(const std::string& path);

    // Called with each finished conversion, before the audio goes into the
    // image (the program log).
    std::function<void(const CAudioConverter&)> m_onConverted;

    // Runs work in a new private folder for scratch files, removed afterwards.
    // False with a message when no folder could be made.
    static bool WithScratchFolder(IOperatorReport& report, const std::function<bool(const std::string& folder)>& work);

private:
    // Reads the file and settles whether and how it is converted.
    enum Prepared {
        kEnd,    // declined, stopped or refused (messages shown): nothing changed
        kTake,   // take audio.ImportPath()
        kTaken,  // refused for conversion, yet the import took the file as it is
    };
    Prepared PrepareAudio(CAudioImport& audio, const CAudioFileRequest& request, uint32_t room, bool append,
                          CCommandResult& result);
    // A file in the unit's format that the strict reader refuses (a trailing
    // tag, a data chunk longer than the file) but a decoder reads.
    static bool StrictReaderRefuses(const std::string& path);

    cMemoryMap& m_map;
    IOperatorReport& m_report;
    CInlineStep m_inline;
    ILongStep& m_steps;
};
