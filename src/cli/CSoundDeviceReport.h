// The sound devices as ormid-cli shows them (devices, doctor): the devices
// of each direction, "System default" first, and the one the ORMID program
// would use with the choice it remembers ("Sound input device", "Sound
// output device"). Gather() reads this machine; the texts work on the facts.
#pragma once

#include <string>
#include <vector>

#include "CSoundDeviceList.h"

struct SSoundDeviceFacts {
    std::vector<SSoundDeviceEntry> inputs;
    std::vector<SSoundDeviceEntry> outputs;
    std::string chosenInput;  // remembered by ORMID; empty: the system default
    std::string chosenOutput;
};

class CSoundDeviceReport {
public:
    static SSoundDeviceFacts Gather();

    // Both lists, each device on a line, the one that would be used marked.
    static std::string Lists(const SSoundDeviceFacts& facts);
    // One line per direction: which device would be used, and why.
    static std::string Used(const SSoundDeviceFacts& facts);
    // What is wrong with the choice: a remembered device that is not there.
    static std::vector<std::string> Problems(const SSoundDeviceFacts& facts);
};
