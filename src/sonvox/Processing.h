// Post-record processing: a saved capture is handed to Levelcut, which trims
// and levels it in place and measures it. A debug flag in "Levelcut.txt"
// beside the library keeps a copy of the unprocessed capture as "Debug.wav".
#pragma once

// The flag of "Levelcut.txt", creating the file with its default content
// when it is missing or empty; 0 when it cannot be opened.
int ReadDebugFlag();
// Copies the WAV file at path to "Debug.wav" beside the library. Silent.
void MakeDebugCopy(const char* path);
// Sets Levelcut's parameters, processes path and fills the results; 0 or
// Levelcut's error code (after a pause of 500 ms, results left at 0.0).
int RunLevelcut(const char* path, double timeConstant, double clipAmount, double thresholdFactor, int initialTrim,
                double* gain, double* clip, double* snr);
const char* LevelcutErrorText(int code);
// The whole of it, as Save runs it. False when Levelcut failed (logged).
bool Processing(const char* path, double timeConstant, double clipAmount, double thresholdFactor, int initialTrim,
                double* gain, double* clip, double* snr);
