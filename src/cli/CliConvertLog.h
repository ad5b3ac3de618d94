// What a conversion did, for the program log and, when samples were clamped,
// for the operator at the terminal.
#pragma once

#include <cstdint>
#include <string>

#include "CAudioConverter.h"

// The log line and the clamping notice (convert).
void LogConversion(const CAudioConverter& converter);
// The log line alone (an import or append says the clamping once it is done).
void WriteConversionLog(const CAudioConverter& converter);
void SayClamped(uint64_t samples);

// After the import's own refusal of a file that converting would take: how
// to take it anyway. question: the conversion question's text.
void SayConvertHint(const std::string& question);
