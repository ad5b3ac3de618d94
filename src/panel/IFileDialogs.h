// The file-open and file-save dialogs of the main panel's commands, behind an
// interface so that tests can answer them.
#pragma once

#include <QString>

class QWidget;

// The files an import takes (the panel's Import WAV, the edit dialog's Append
// File): WAV first; every other kind that is converted on the way in after it.
inline constexpr const char* kImportAudioFilter = "Wave files (*.wav);;Audio files (*.wav *.flac *.ogg *.opus *.mp3)";

struct CFileDialogRequest {
    QString title;
    QString folder;       // starting folder; empty: the system's default
    QString initialName;  // file name shown at first; may be empty
    QString filter;       // "Wave files (*.wav)"
    QString defaultExt;   // appended when the operator types none, without '.'
};

class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // The chosen path of an existing file, or empty when cancelled.
    virtual QString GetOpenPath(QWidget* parent, const CFileDialogRequest& request) = 0;
    // The chosen path to write (replacing confirmed), or empty when cancelled.
    virtual QString GetSavePath(QWidget* parent, const CFileDialogRequest& request) = 0;
};
