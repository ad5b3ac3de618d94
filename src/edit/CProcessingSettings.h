// The four processing parameters as the settings store keeps them: section
// "Settings" of the program's store, each as text ("%f" for the three
// doubles, "%d" for the initial trim). A key that is missing or empty reads
// as its default. The three results are never stored.
#pragma once

#include "RecordProcessingParams.h"

class CProcessingSettings {
public:
    static constexpr const char* kTimeConstantKey = "Time Constant";
    static constexpr const char* kClipAmountKey = "Clip Amount";
    static constexpr const char* kThresholdFactorKey = "Threshold Factor";
    static constexpr const char* kInitialTrimKey = "Initial Trim";

    // The stored parameters, converted as the standard text-to-number
    // conversions do (so a text that holds no number reads as 0: the Settings
    // dialog then shows it and refuses it where 0 is out of range). Results 0.
    static RecordProcessingParams Load();
    static void Store(const RecordProcessingParams& params);
};
