// The main panel's Edit command: the slot goes to the scratch WAV file, the
// "Edit Message" dialog runs, and on OK its result comes back into the slot.
#pragma once

#include <cstdint>
#include <string>

class cMemoryMap;
class IOperatorReport;
struct CPanelCommands;
class IAudioLibrary;

// What the dialog ended with, as the slot takes it.
struct CEditResult {
    std::string nameLatin1;     // at most 15 characters
    int playCount = 0;          // 0 continuous, 1-255
    bool audioChanged = false;  // the scratch file holds the new audio
};

// Takes a confirmed edit into the slot. New audio is checked in full before
// the slot is touched: when the scratch file is refused, the slot keeps its
// audio, name and play count, the import's messages are shown, and the
// result is false. True when the slot was changed.
bool ApplyEditResult(cMemoryMap& map, uint8_t slot, const CEditResult& result, const std::string& scratchPath,
                     IOperatorReport& report);

// Installs the Edit command into the panel's commands. sonvox is the audio
// library the dialog records and plays with (the real one when null); it
// must outlive the commands.
void InstallEditCommand(CPanelCommands& commands, IAudioLibrary* sonvox = nullptr);
