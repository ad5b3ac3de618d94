// The sound devices an operator can choose between, by the names the desktop
// shows them with, and which device a remembered name stands for. When a
// sound server (PulseAudio, or PipeWire speaking its protocol) answers and
// ALSA has its plugin, the list is the server's: its sinks and sources
// (monitors left out), opened through that plugin. Otherwise it is
// PortAudio's own list of devices. The system default is not in the list: an
// empty name, or "System default", stands for it.
//
// The audio library takes the choice from the environment when it starts
// (Audio_Init): SONVOX_INPUT_DEVICE and SONVOX_OUTPUT_DEVICE hold the names.
#pragma once

#include "CSoundDevice.h"

#include <string>
#include <vector>

struct SSoundDeviceEntry {
    std::string name;           // as shown and remembered
    std::string alsaName;       // the ALSA device that reaches it, for a server's device
    std::string serverName;     // the sound server's own name of that device
    std::string portAudioName;  // else PortAudio's device of that name

    bool IsDefault() const { return alsaName.empty() && portAudioName.empty(); }
};

// Which device a direction uses for a remembered name.
struct SSoundDeviceChoice {
    SSoundDeviceEntry device;  // empty: the system default
    bool missing = false;      // a name was remembered but no such device is there
};

class CSoundDeviceList {
public:
    static constexpr const char* kSystemDefault = "System default";
    static constexpr const char* kInputVariable = "SONVOX_INPUT_DEVICE";
    static constexpr const char* kOutputVariable = "SONVOX_OUTPUT_DEVICE";
    // The keys under which the ORMID program remembers the choice.
    static constexpr const char* kInputSetting = "Sound input device";
    static constexpr const char* kOutputSetting = "Sound output device";

    // The devices of one direction, in the sound system's order. Starts
    // PortAudio for the time of the call when nobody else has.
    static std::vector<SSoundDeviceEntry> List(SoundDirection direction);
    // Whether ALSA reaches a sound server (its plugin is there): its default
    // device is then the server's.
    static bool AlsaReachesServer();
    // The device for a remembered name among devices.
    static SSoundDeviceChoice Resolve(const std::vector<SSoundDeviceEntry>& devices, const std::string& name);
    // The same with the devices there are now; an empty name or "System
    // default" lists nothing.
    static SSoundDeviceChoice Resolve(SoundDirection direction, const std::string& name);
    // What the operator is told when a remembered device is not there.
    static std::string MissingText(SoundDirection direction, const std::string& name);
};
