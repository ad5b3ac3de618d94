// The main panel's services for tests: their stand-ins, no pauses around the
// audio library, and the sound devices a test says there are.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CTXDoruvevAzadDlg.h"

inline CPanelServices QuickServices(IFileDialogs* dialogs, IOperatorReport* report, IAudioLibrary* audio,
                                    std::function<std::vector<std::string>(bool input)> devices = {})
{
    CPanelServices services;
    services.fileDialogs = dialogs;
    services.report = report;
    services.sonvox = audio;
    services.session.settleMs = 0;
    services.session.soundDevices = std::move(devices);
    return services;
}
