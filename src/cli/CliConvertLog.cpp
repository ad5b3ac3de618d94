#include "CliConvertLog.h"

#include <cstdio>

#include "CLogFile.h"

void LogConversion(const CAudioConverter& converter)
{
    // The program log is written only when its debug switch is on.
    const bool wasOpen = TheLog().IsOpen();
    if (!wasOpen)
        TheLog().Open("ORMID.log");
    TheLog().Write("%s", converter.LogText().c_str());
    if (!wasOpen)
        TheLog().Close();
    if (converter.ClampedSamples() > 0)
        std::fprintf(stderr, "ormid-cli: %llu samples were beyond full scale and were clamped\n",
                     static_cast<unsigned long long>(converter.ClampedSamples()));
}
