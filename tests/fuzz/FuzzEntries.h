// The code every fuzz target runs, shared by the libFuzzer programs and by
// the replay test of the normal build, so that a saved input replays exactly
// as it ran. Each entry takes one input, runs it and checks what it can
// cheaply check; a broken check is returned as text, never thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FuzzOutcome {
    std::string fault;      // empty when every check held
    bool accepted = false;  // the input was taken as valid (image read, WAV imported, ...)
};

// The image file reader, then image operations driven by the rest of the
// input. The input is a short description of an image file (see
// FuzzImageInput.h), not the 4 MB file itself.
FuzzOutcome FuzzImageOps(const uint8_t* data, size_t size);
// The WAV import into a slot of an image that holds three messages.
FuzzOutcome FuzzWavImport(const uint8_t* data, size_t size);
// The audio library's WAV reader: CWaveFile, IsValidFile, GetDuration,
// LoadPlay and LoadPage.
FuzzOutcome FuzzSonvoxWav(const uint8_t* data, size_t size);
// A unit read, write or verify fed unit replies from the input on a fake clock.
FuzzOutcome FuzzUnitTransfer(const uint8_t* data, size_t size);
// Levelcut's processing of a WAV file (settings from the last two bytes).
FuzzOutcome FuzzLevelcut(const uint8_t* data, size_t size);
// The transfer of FuzzUnitTransfer meeting a journal the input gives (its
// length in the first two bytes): the journal a run before it left, or
// anything else in its place.
FuzzOutcome FuzzJournal(const uint8_t* data, size_t size);
// The line a later start hands the running copy.
FuzzOutcome FuzzHandOverLine(const uint8_t* data, size_t size);
// The settings file's port defaults: looked up, one port stored.
FuzzOutcome FuzzSettingsValues(const uint8_t* data, size_t size);
// The program's checks of what the decoder helper sends back: a task byte,
// the samples asked for (16 bits), the size of each piece the pipe delivers,
// then the stream itself.
FuzzOutcome FuzzDecoderReplies(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;  // folder name of its corpora, program fuzz_<name>
    FuzzOutcome (*run)(const uint8_t* data, size_t size);
};
// Every target, in the order scripts/fuzz.sh runs them.
constexpr int kFuzzTargetCount = 9;
extern const FuzzTarget kFuzzTargets[kFuzzTargetCount];
