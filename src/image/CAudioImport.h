// The one way an operator's audio file reaches the unit: a file in the unit's
// format is taken as it is; any other file that a decoder reads is, after the
// operator agrees, converted into a temporary unit-format WAV file that the
// normal WAV import then takes. A file that no decoder reads also goes to the
// normal import, which says what is wrong with it.
//
// In one call (Append File, ormid-cli):
//
//   CAudioImport audio;
//   switch (audio.Prepare(path, ask, report, map.GetRoomLeft())) {
//   case CAudioImport::kDeclined: case CAudioImport::kFailed: return;  // nothing changed
//   default: use audio.ImportPath() like the chosen file, or audio.ImportIntoSlot(...)
//   }
//
// Or in steps, to keep the user-interface thread free while converting:
// Examine and Convert may run on any thread, the question and the import run
// on the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CAudioConverter.h"
#include "IOperatorReport.h"

class cMemoryMap;

class CAudioImport {
public:
    enum Outcome {
        kAsIs,       // import the chosen file itself
        kConverted,  // import ImportPath(): the converted audio
        kDeclined,   // the operator answered No, or stopped the conversion
        kFailed,     // a decoder could not read the file to its end, or the converted
                     // audio could not be written (FailureText says which and why)
    };
    using Question = std::function<bool(const std::string& text)>;

    // No cap on the converted length beyond what a WAV file holds.
    static constexpr uint32_t kWholeFile = 0xFFFFFFFFu - 36u;

    CAudioImport() = default;
    ~CAudioImport();  // removes the temporary file
    CAudioImport(const CAudioImport&) = delete;
    CAudioImport& operator=(const CAudioImport&) = delete;

    // Looks at the file, asks once when it needs converting, converts at most
    // maxSamples samples (more than the room left is refused by the import
    // anyway, so the room left is the natural cap). Shows FailureText() on
    // kFailed.
    // The question names what happens to the audio next: "import" or "append".
    Outcome Prepare(const char* path, const Question& ask, IOperatorReport& report, uint32_t maxSamples,
                    const char* action = "import");

    // True when the file is one a decoder reads but not in the unit's format.
    // control, when given, stops the decoder when its stop is set.
    bool Examine(const char* path, CConvertControl* control = nullptr);
    std::string QuestionText(const char* action = "import") const;
    // kConverted; kAsIs when no decoder opens the file after all; kFailed;
    // kDeclined when control->stop was set (nothing to import).
    Outcome Convert(uint32_t maxSamples, CConvertControl* control = nullptr);

    // The file the import takes: the chosen one, or the converted one.
    const std::string& ImportPath() const { return m_tempPath.empty() ? m_path : m_tempPath; }
    // ImportSlotWav of ImportPath(); its messages name the chosen file.
    bool ImportIntoSlot(cMemoryMap& map, uint8_t slot, IOperatorReport& report) const;

    const CAudioFileInfo& Info() const { return m_info; }
    const std::string& FailureText() const { return m_failure; }
    // Tells the operator why Convert failed: the text, then the file and the
    // reason (on the command line as "ormid-cli: PATH: reason").
    void ShowFailure(IOperatorReport& report) const;
    // The last conversion: clamped samples, the line for the program log.
    const CAudioConverter& Converter() const { return m_converter; }

    // Writes a unit-format WAV file (44-byte header) in one step: a temporary
    // file beside it, renamed into place. False with a reason in error.
    static bool SaveUnitWav(const char* path, const std::vector<uint8_t>& muLaw, std::string& error);

private:
    void RemoveTemp();

    std::string m_path;
    std::string m_tempPath;
    void SetFailure(const std::string& text, const std::string& path, const std::string& reason);
    std::string m_failure;
    std::string m_failureText, m_failurePath, m_failureReason;
    CAudioFileInfo m_info;
    bool m_decodable = false;
    CAudioConverter m_converter;
};
