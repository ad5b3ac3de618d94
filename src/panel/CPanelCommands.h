// Commands of the main panel that other modules carry out: the edit dialog,
// printing, the unit communications dialog, the user guide and the About box.
// The panel runs its own steps around each (stopping a preview, storing the
// table, refreshing the list) and then calls the function here; an empty
// function does nothing.
#pragma once

#include <functional>

struct CPanelContext;

struct CPanelCommands {
    // Edits a slot (0-7): writes it to the scratch file, shows the edit
    // dialog and takes its result back into the slot. True when the slot
    // changed; the panel then marks the image changed and refills its list.
    std::function<bool(const CPanelContext& panel, int slot)> editMessage;
    // Prints the message listing.
    std::function<void(const CPanelContext& panel)> printListing;
    // Prints the labels for the unit's control box.
    std::function<void(const CPanelContext& panel)> printLabels;
    // Shows the "Unit Communications" dialog modally; when empty, the panel
    // shows the program's own dialog (tests put a recorder here).
    std::function<void(const CPanelContext& panel)> unitCommunications;
    // Shows the "Program Units" window over the image (Transfer, Program
    // Units...).
    std::function<void(const CPanelContext& panel)> programUnits;
    // Opens the user guide (Help, Help).
    std::function<void(const CPanelContext& panel)> showGuide;
    // Shows the About box (Help, About).
    std::function<void(const CPanelContext& panel)> showAbout;
    // Shows the audio library's codec report (Help, Codec Information).
    std::function<void(const CPanelContext& panel)> showCodecInfo;
};
