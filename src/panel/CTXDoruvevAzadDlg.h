// The main panel: the program's only main window. Lists the eight message
// slots of the unit image and offers every command as a button and a menu item.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CImageHistory.h"
#include "CRecentFiles.h"
#include "CSoundDeviceChoice.h"

struct CAppState;
class IFileDialogs;
class IOperatorReport;
class ISonvoxApi;
class QListWidget;
class QMenuBar;
class QPushButton;
class QGroupBox;
class QAction;
class CImageDocument;
class CTabStopDelegate;
class QMenu;

// What the panel talks to outside itself. Null members are replaced by the
// desktop's own (file dialogs, message boxes, the audio library).
struct CPanelServices {
    IFileDialogs* fileDialogs = nullptr;
    IOperatorReport* report = nullptr;
    ISonvoxApi* sonvox = nullptr;
};

class CTXDoruvevAzadDlg : public QDialog {
    Q_OBJECT

public:
    explicit CTXDoruvevAzadDlg(CAppState& state, const CPanelServices& services = {}, QWidget* parent = nullptr);
    ~CTXDoruvevAzadDlg() override;

    // Runs the opening steps, then the panel modally until it closes.
    int DoModal();
    // The opening steps: log, scratch path, list, audio library, marks.
    void OnInitDialog();

    // Operations for the commands of other modules.
    void RefreshList();
    void SelectRow(int slot);
    int SelectedSlot() const;  // 0-7, or -1 when no message row is selected
    // The changed mark, shown in the title bar as Qt's modified mark.
    void SetChanged(bool changed);
    bool IsChanged() const;
    // The image file last loaded or saved (empty before): named in the title.
    const QString& ImageFile() const { return m_imageFile; }
    CAppState& State() { return m_state; }
    IOperatorReport& Report() { return *m_report; }
    IFileDialogs& FileDialogs() { return *m_fileDialogs; }

    // Commands.
    void OnPreview();
    void OnEdit();
    void OnDelete();
    void OnImportWav();
    void OnExportWav();
    void OnLoadImage();
    // One of the "Recent Images": loaded, or taken off the list when it is gone.
    void OpenRecentImage(const QString& path);
    // A file handed over from outside (a later start of the program):
    // brings the window up and loads the file, once no other dialog is open.
    void OpenFromOutside(const QString& path);
    bool OnSaveImage();  // true when the image was written
    void OnUndo();
    void OnRedo();
    // Loads an image file after offering to save unsaved changes; false when
    // the operator backed out or the load failed. Every load of the panel
    // goes through here (or OnLoadImage): a loaded image starts the Undo
    // history anew, which must know every change made to the image.
    bool OpenImageFile(const QString& path);
    // Imports an audio file into a slot as Import WAV does after its dialog.
    bool ImportFile(int slot, const QString& path);
    // A file dropped on the window: an image file is opened, an audio file
    // dropped on a message row (row >= 0) imported into that slot. False
    // when the drop is refused (nothing changed).
    bool DropFile(const QString& path, int row);
    const CImageHistory& History() const { return m_history; }
    QAction* UndoAction() const { return m_undoAction; }
    QAction* RedoAction() const { return m_redoAction; }
    void OnReadWriteUnit();
    void OnPrintListing();
    void OnPrintLabels();
    void OnHelp();
    void OnAbout();
    void OnCodecInfo();
    void OnSoundDevices();
    void OnClose();

    // The preview's stop step, and stopping a running preview before
    // another command.
    void StopPreview();
    void StopPreviewIfPlaying();

    bool IsSonvoxAvailable() const { return m_sonvoxAvailable; }
    QListWidget* List() const { return m_list; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    QPushButton* PreviewButton() const { return m_previewButton; }
    QMenu* RecentMenu() const { return m_recentMenu; }

    // The one-second pauses after starting and before releasing the audio
    // library; tests shorten them.
    int m_settleMs = 1000;
    // The names of the microphones (true) or speakers (false) there are:
    // the sound system's; tests hand in their own.
    std::function<std::vector<std::string>(bool input)> m_soundDevices;

protected:
    void reject() override;  // Escape
    void closeEvent(QCloseEvent* event) override;
    // Enter on a row, Space on a button.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    void BuildMenus();
    void BuildUndoActions();
    void UpdateUndoActions();
    // Undo or Redo: the image, its changed mark, the list and the actions.
    void TakeHistoryStep(bool (CImageHistory::*step)(cMemoryMap&, bool&));
    // Keeps what a command changed as one Undo step.
    void RecordStep(const CImageChange& change, bool changedBefore);
    // The one local file a drag carries, or an empty text.
    // Offers to save unsaved changes before another image replaces them;
    // false when the operator backs out or that save did not happen.
    bool KeepUnsavedWork();
    bool LoadImagePath(const QString& path);
    void Settle();
    void OnPreviewTimer();
    void ReleaseAudio();
    void StartAudio();
    void LoadDeviceChoice();
    void StoreDeviceChoice() const;
    QString FormatRow(int slot) const;
    void SetImageFile(const QString& path);
    void UpdateTitle();
    void FillRecentMenu();
    void OpenPendingWhenFree();

    CAppState& m_state;
    std::unique_ptr<IFileDialogs> m_ownFileDialogs;
    std::unique_ptr<IOperatorReport> m_ownReport;
    std::unique_ptr<ISonvoxApi> m_ownSonvox;
    IFileDialogs* m_fileDialogs;
    IOperatorReport* m_report;
    ISonvoxApi* m_sonvox;

    // The image with its changed mark, loaded and saved under the image lock.
    std::unique_ptr<CImageDocument> m_document;
    // What each change did, for Undo and Redo.
    CImageHistory m_history;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    QString m_imageFile;
    CRecentFiles m_recent;
    // A file handed over while another dialog was open, and the timer that
    // waits for that dialog to close.
    QString m_pendingOpen;
    QTimer m_pendingTimer;
    bool m_sonvoxAvailable = false;
    bool m_audioStarted = false;
    std::string m_audioLog;
    // The microphone and speaker chosen in the Sound Devices dialog.
    CSoundDeviceChoice m_devices;
    uint32_t m_previewStart = 0;
    uint32_t m_previewDuration = 0;
    QTimer m_previewTimer;

    QMenuBar* m_menuBar = nullptr;
    QGroupBox* m_group = nullptr;
    QListWidget* m_list = nullptr;
    CTabStopDelegate* m_delegate = nullptr;
    QPushButton* m_previewButton = nullptr;
    QPushButton* m_readWriteButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QMenu* m_recentMenu = nullptr;
};
