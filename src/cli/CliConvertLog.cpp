#include "CliConvertLog.h"

#include <cstdio>

#include "CLogFile.h"

void WriteConversionLog(const CAudioConverter& converter)
{
    // The program log is written only when its debug switch is on.
    const bool wasOpen = TheLog().IsOpen();
    if (!wasOpen)
        TheLog().Open("ORMID.log");
    TheLog().Write("%s", converter.LogText().c_str());
    if (!wasOpen)
        TheLog().Close();
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
    std::fprintf(stderr, "ormid-cli: %s\nAdd --convert to convert it to the unit's format "
                         "(8 kHz mu-law, mono) on the way in.\n",
                 question.substr(0, question.find('\n')).c_str());
}
