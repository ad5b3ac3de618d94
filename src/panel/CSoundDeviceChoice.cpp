#include "CSoundDeviceChoice.h"

#include <algorithm>
#include <cstdlib>

#include "CSoundDeviceList.h"

namespace {

const char* const kNotConnected = " (not connected)";

std::vector<SSoundDeviceEntry> Entries(const std::vector<std::string>& names)
{
    std::vector<SSoundDeviceEntry> entries;
    for (const std::string& n : names) {
        SSoundDeviceEntry e;
        e.name = e.portAudioName = n;
        entries.push_back(e);
    }
    return entries;
}

}  // namespace

SDeviceOffer CSoundDeviceChoice::Offer(const std::vector<std::string>& devices, const std::string& remembered)
{
    SDeviceOffer offer;
    offer.items.push_back(CSoundDeviceList::kSystemDefault);
    offer.items.insert(offer.items.end(), devices.begin(), devices.end());
    const SSoundDeviceChoice used = CSoundDeviceList::Resolve(Entries(devices), remembered);
    if (used.missing) {
        offer.items.push_back(remembered + kNotConnected);
        offer.current = int(offer.items.size()) - 1;
    } else if (!used.device.IsDefault()) {
        offer.current = int(std::find(devices.begin(), devices.end(), remembered) - devices.begin()) + 1;
    }
    return offer;
}

std::string CSoundDeviceChoice::NameAt(const SDeviceOffer& offer, int index, const std::string& remembered)
{
    if (index <= 0 || index >= int(offer.items.size()))
        return std::string();
    // The remembered device that is not connected stands for itself.
    if (index == int(offer.items.size()) - 1 && offer.items[size_t(index)] == remembered + kNotConnected)
        return remembered;
    return offer.items[size_t(index)];
}

void CSoundDeviceChoice::HandToLibrary() const
{
    setenv(CSoundDeviceList::kInputVariable, input.c_str(), 1);
    setenv(CSoundDeviceList::kOutputVariable, output.c_str(), 1);
}

std::string CSoundDeviceChoice::MissingText(const std::vector<std::string>& inputs,
                                            const std::vector<std::string>& outputs) const
{
    std::string text;
    if (CSoundDeviceList::Resolve(Entries(inputs), input).missing)
        text = CSoundDeviceList::MissingText(SoundDirection::Input, input);
    if (CSoundDeviceList::Resolve(Entries(outputs), output).missing)
        text += (text.empty() ? "" : "\n") + CSoundDeviceList::MissingText(SoundDirection::Output, output);
    return text;
}
