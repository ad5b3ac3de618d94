// The file work behind the edit dialog's audio commands, shared with
// ormid-cli: joining two of the unit's WAV files, and changing a slot's
// audio through a WAV file (silence, an appended file) without ever leaving
// the slot with less than it had.
#pragma once

#include <cstdint>
#include <string>

#include "IOperatorReport.h"

class cMemoryMap;

class CAudioEdit {
public:
    // Largest amount of silence the edit commands offer.
    static constexpr uint32_t kMaxSilenceMs = 1000;

    // Samples that a unit WAV file may carry when the whole file must stay
    // below room bytes (the import's space test): room less the 44-byte
    // header, less one.
    static uint32_t AudioRoom(int64_t room);
    // Milliseconds of silence that fit in room: at most kMaxSilenceMs.
    static uint32_t SilenceLimitMs(int64_t room);

    // Writes first's audio followed by second's to output (which may be
    // either input: the inputs are read whole before output is replaced).
    // Both must pass the import's checks; second's whole file must stay below
    // roomForSecond. secondShownAs names second in messages when the file
    // read is a stand-in (a converted copy). On failure the messages have
    // been shown and output is untouched. appendedBytes: second's audio bytes.
    static bool ConcatenateWavFiles(const std::string& first, const std::string& second, const std::string& output,
                                    uint32_t roomForSecond, IOperatorReport& report, uint32_t& appendedBytes,
                                    const std::string& secondShownAs = std::string());

    // Audio bytes of a unit WAV file; -1 when it cannot be read as one
    // (nothing is shown).
    static int64_t AudioBytes(const std::string& path);

    // Moves a file to a new name (an existing one is replaced); false after
    // showing the system's reason.
    static bool MoveFile(const std::string& from, const std::string& to, IOperatorReport& report);

    // The slot becomes ms milliseconds of silence, name and play count kept.
    // Refused (with a message) above SilenceLimitMs of the room the slot
    // would have once emptied. workFolder holds the scratch files.
    static bool MakeSilence(cMemoryMap& map, uint8_t slot, uint32_t ms, const std::string& workFolder,
                            IOperatorReport& report);
    // The slot's audio followed by the audio of path (already in the unit's
    // format: convert first), name and play count kept; shownAs names the
    // file in messages.
    static bool AppendFile(cMemoryMap& map, uint8_t slot, const std::string& path, const std::string& shownAs,
                           const std::string& workFolder, IOperatorReport& report);

    // A new private folder for scratch files, removed by RemoveWorkFolder;
    // empty when none could be made.
    // Folders of runs that no longer run are removed first.
    static std::string MakeWorkFolder();
    static void RemoveWorkFolder(const std::string& folder);
    // Where the scratch folders are made: TMPDIR, or /tmp.
    static std::string ScratchParent();

    // "Cannot make %u ms of silence: at most %u ms fit in this slot."
    static const char* const kSilenceTooLongText;
};
