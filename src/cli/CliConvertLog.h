// What a conversion did, for the program log and, when samples were clamped,
// for the operator at the terminal.
#pragma once

#include <cstdint>

#include "CAudioConverter.h"
#include "CAudioImport.h"
#include "IOperatorReport.h"

void LogConversion(const CAudioConverter& converter);

// Converts a file that CAudioImport::Examine found in another format, at most
// maxSamples samples; logs what the conversion did. False, with the reason
// shown, when the converted audio could not be written.
bool ConvertForImport(CAudioImport& audio, uint32_t maxSamples, IOperatorReport& report);

// After the import's own refusal of such a file: how to take it anyway.
void SayConvertHint(const CAudioImport& audio);
