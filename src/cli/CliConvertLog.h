// What a conversion did, for the program log and, when samples were clamped,
// for the operator at the terminal.
#pragma once

#include "CAudioConverter.h"

void LogConversion(const CAudioConverter& converter);
