// The operator's microphone and speaker, remembered by name ("Sound input
// device", "Sound output device"; empty for the system default): what the
// Sound Devices dialog offers, how the audio library learns the choice, and
// what the operator is told when a remembered device is not connected.
#pragma once

#include <string>
#include <vector>

// The items of one of the dialog's lists and the one that is chosen now.
struct SDeviceOffer {
    std::vector<std::string> items;
    int current = 0;
};

class CSoundDeviceChoice {
public:
    std::string input;
    std::string output;

    bool operator==(const CSoundDeviceChoice& o) const { return input == o.input && output == o.output; }
    bool operator!=(const CSoundDeviceChoice& o) const { return !(*this == o); }

    // "System default", then the devices; a remembered device that is not
    // among them last, as "NAME (not connected)", so that it stays chosen
    // until the operator chooses another.
    static SDeviceOffer Offer(const std::vector<std::string>& devices, const std::string& remembered);
    // The name an item of the offer stands for: empty for the system default.
    static std::string NameAt(const SDeviceOffer& offer, int index, const std::string& remembered);

    // Tells the audio library, which takes the choice when it starts
    // (Audio_Init), through its environment variables.
    void HandToLibrary() const;
    // One line per remembered device that is not among the devices; empty
    // when both are there (or the system default is used).
    std::string MissingText(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) const;
};
