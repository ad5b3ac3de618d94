#include "CSoundDeviceReport.h"

#include "CliSettings.h"

namespace {

struct Direction {
    SoundDirection direction;
    const char* title;
    const char* role;
    const std::vector<SSoundDeviceEntry>& devices;
    const std::string& chosen;
};

std::vector<Direction> Directions(const SSoundDeviceFacts& f)
{
    return {{SoundDirection::Input, "Microphones (input)", "microphone", f.inputs, f.chosenInput},
            {SoundDirection::Output, "Speakers (output)", "speaker", f.outputs, f.chosenOutput}};
}

}  // namespace

SSoundDeviceFacts CSoundDeviceReport::Gather()
{
    SSoundDeviceFacts f;
    f.inputs = CSoundDeviceList::List(SoundDirection::Input);
    f.outputs = CSoundDeviceList::List(SoundDirection::Output);
    f.chosenInput = ReadProgramSetting(CSoundDeviceList::kInputSetting);
    f.chosenOutput = ReadProgramSetting(CSoundDeviceList::kOutputSetting);
    return f;
}

std::string CSoundDeviceReport::Lists(const SSoundDeviceFacts& facts)
{
    std::string text;
    for (const Direction& d : Directions(facts)) {
        const SSoundDeviceChoice used = CSoundDeviceList::Resolve(d.devices, d.chosen);
        text += std::string(d.title) + ":\n";
        text +=
            std::string("  ") + CSoundDeviceList::kSystemDefault + (used.device.IsDefault() ? "  (used)" : "") + "\n";
        for (const SSoundDeviceEntry& e : d.devices)
            text += "  " + e.name + (e.name == used.device.name && !used.device.IsDefault() ? "  (used)" : "") + "\n";
    }
    return text;
}

std::string CSoundDeviceReport::Used(const SSoundDeviceFacts& facts)
{
    std::string text;
    for (const Direction& d : Directions(facts)) {
        const SSoundDeviceChoice used = CSoundDeviceList::Resolve(d.devices, d.chosen);
        text += std::string("  ") + d.role + " used: ";
        if (!used.device.IsDefault())
            text += used.device.name + " (chosen in ORMID)\n";
        else if (used.missing)
            text += std::string(CSoundDeviceList::kSystemDefault) + " (\"" + d.chosen +
                    "\" chosen in ORMID is not connected)\n";
        else
            text += std::string(CSoundDeviceList::kSystemDefault) + "\n";
    }
    return text;
}

std::vector<std::string> CSoundDeviceReport::Problems(const SSoundDeviceFacts& facts)
{
    std::vector<std::string> problems;
    for (const Direction& d : Directions(facts))
        if (CSoundDeviceList::Resolve(d.devices, d.chosen).missing)
            problems.push_back(CSoundDeviceList::MissingText(d.direction, d.chosen) +
                               " Connect it, or choose another in File > Sound Devices.");
    return problems;
}
