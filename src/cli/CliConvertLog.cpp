#include "CliConvertLog.h"

#include <cstdio>

#include "CLogFile.h"

void WriteConversionLog(const CAudioConverter& converter)
{
    // The command line's log is open while a command runs, when its debug
    // switch is on.
    TheLog().Write("%s", converter.LogText().c_str());
}

void SayClamped(uint64_t samples)
{
    if (samples > 0)
        std::fprintf(stderr, "ormid-cli: %llu samples were beyond full scale and were clamped\n",
                     static_cast<unsigned long long>(samples));
}

void LogConversion(const CAudioConverter& converter)
{
    WriteConversionLog(converter);
    SayClamped(converter.ClampedSamples());
}

void SayConvertHint(const std::string& question)
{
    std::fprintf(stderr,
                 "ormid-cli: %s\nAdd --convert to convert it to the unit's format "
                 "(8 kHz mu-law, mono) on the way in.\n",
                 question.substr(0, question.find('\n')).c_str());
}
