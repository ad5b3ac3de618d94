// What the panel session asks of the main panel's window: the preview
// button and timer (as the player asks), showing the image and the panel's
// state, the file dialogs, and the context that other modules' commands get.
#pragma once

#include <QString>

#include "CPanelContext.h"
#include "IFileDialogs.h"
#include "IPlayerView.h"

class ILongStep;

class IPanelView : public IPlayerView {
public:
    // The image changed: the list refilled, row (0-7) selected.
    virtual void ShowImage(int row) = 0;
    // The title, the changed mark, Undo and Redo, the recent images.
    virtual void ShowState() = 0;
    // The slot (0-7) whose row is selected, or -1.
    virtual int SelectedSlot() const = 0;
    // The file dialogs over the window; an empty path when cancelled.
    virtual QString AskOpenPath(const CFileDialogRequest& request) = 0;
    virtual QString AskSavePath(const CFileDialogRequest& request) = 0;
    // Runs the slow steps of an import (decoding) with a progress box.
    virtual ILongStep& LongSteps() = 0;
    // "Unit Communications", modally.
    virtual void ShowUnitCommunications() = 0;
    // What a command of another module works with.
    virtual CPanelContext Context() = 0;
};
