// What a command that another module carries out for the main panel gets to
// work with: the shared state (the image, the folders, the audio state), the
// operator's report, the file dialogs and the window to stand its own
// dialogs over; never the panel itself.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class QWidget;
class IFileDialogs;
class IOperatorReport;
struct CAppState;

struct CPanelContext {
    CAppState& state;
    // Message boxes over the panel.
    IOperatorReport& report;
    IFileDialogs& fileDialogs;
    // The parent of the command's own dialogs.
    QWidget* window = nullptr;
    // The audio library started.
    bool audioAvailable = false;
    // The image has changes that are not saved to a file.
    bool changed = false;
    // A report whose boxes stand over another window (the command's own
    // dialog); the same recorder where a test handed one in.
    std::function<std::unique_ptr<IOperatorReport>(QWidget* over)> reportOver;
    // The file the image was loaded from or saved to; empty when it has none.
    QString imageFile;
};
