#include "CliConvertLog.h"

#include <cstdio>

#include "CLogFile.h"

void LogConversion(const CAudioConverter& converter)
{
    // The command line's log is open while a command runs, when its debug
    // switch is on.
    TheLog().Write("%s", converter.LogText().c_str());
    if (converter.ClampedSamples() > 0)
        std::fprintf(stderr, "ormid-cli: %llu samples were beyond full scale and were clamped\n",
                     static_cast<unsigned long long>(converter.ClampedSamples()));
}

bool ConvertForImport(CAudioImport& audio, uint32_t maxSamples, IOperatorReport& report)
{
    const CAudioImport::Outcome outcome = audio.Convert(maxSamples);
    if (outcome == CAudioImport::kFailed) {
        report.ShowMessage(audio.FailureText());
        return false;
    }
    if (outcome == CAudioImport::kConverted)
        LogConversion(audio.Converter());
    return true;
}

void SayConvertHint(const CAudioImport& audio)
{
    const std::string question = audio.QuestionText();
    std::fprintf(stderr, "ormid-cli: %s\nAdd --convert to convert it to the unit's format "
                         "(8 kHz mu-law, mono) on the way in.\n",
                 question.substr(0, question.find('\n')).c_str());
}
