// PortAudio started and ended for its users in this module: only the first
// start really starts it (the host APIs probe the sound system, which
// complains on standard error and loads modules, both kept out of sight and
// in memory); later ones only count. Safe to call from any thread.
#pragma once

#include <string>

// 0 (paNoError) when PortAudio runs; else its error, whose text is in error.
int PortAudioStart(std::string* error = nullptr);
// Ends one start; the last one ends PortAudio.
void PortAudioStop();
// Where ALSA's messages about streams in use go (none: dropped); never the
// terminal. Those of PortAudio's start and end are dropped in any case.
void PortAudioSetMessageSink(void (*sink)(const char* message));
// One of PortAudio's own run-time messages, to the same sink.
void PortAudioMessage(const char* message);
