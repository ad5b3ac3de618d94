// Commands of the main panel that other modules carry out: the edit dialog,
// printing and the unit communications dialog. The panel runs its own steps
// around each (stopping a preview, storing the table, refreshing the list)
// and then calls the function here; an empty function does nothing.
#pragma once

#include <functional>

class CTXDoruvevAzadDlg;

struct CPanelCommands {
    // Opens the edit dialog for a slot (0-7); true when the operator
    // confirmed a change of the slot.
    std::function<bool(CTXDoruvevAzadDlg& panel, int slot)> editMessage;
    // Prints the message listing.
    std::function<void(CTXDoruvevAzadDlg& panel)> printListing;
    // Prints the labels for the unit's control box.
    std::function<void(CTXDoruvevAzadDlg& panel)> printLabels;
    // Shows the "Unit Communications" dialog modally.
    std::function<void(CTXDoruvevAzadDlg& panel)> unitCommunications;
};
