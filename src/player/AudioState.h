// The audio activity in progress: one at a time, shared by the panel's
// preview and the edit dialog, which both play through the same player.
#pragma once

#include <cstdint>

enum AudioState : uint8_t { AudioIdle = 0, AudioPlaying = 1, AudioRecording = 2 };
