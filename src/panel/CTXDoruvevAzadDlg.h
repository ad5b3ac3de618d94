// The main panel: the program's only main window. Lists the eight message
// slots of the unit image and offers every command as a button and a menu
// item; the rules behind them are the panel session's.
#pragma once

#include <QDialog>
#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CBackgroundStep.h"
#include "CLoudnessMeter.h"
#include "CPanelSession.h"
#include "IPanelView.h"

struct CAppState;
class IFileDialogs;
class IOperatorReport;
class IAudioLibrary;
class QTreeWidget;
class QMenuBar;
class QPushButton;
class QGroupBox;
class QAction;
class CMemoryMapBar;
class QMenu;

// What the panel talks to outside itself. Null members are replaced by the
// desktop's own (file dialogs, message boxes, the audio library).
struct CPanelServices {
    IFileDialogs* fileDialogs = nullptr;
    IOperatorReport* report = nullptr;
    IAudioLibrary* sonvox = nullptr;
    // The pauses around the audio library, the sound devices there are, the
    // clock of the preview; tests shorten or hand in their own.
    CPanelSessionSetup session;
};

class CTXDoruvevAzadDlg : public QDialog, private IPanelView {
    Q_OBJECT

public:
    explicit CTXDoruvevAzadDlg(CAppState& state, const CPanelServices& services = {}, QWidget* parent = nullptr);
    ~CTXDoruvevAzadDlg() override;

    // Runs the opening steps, then the panel modally until it closes.
    int DoModal();
    // The opening steps: log, scratch path, list, audio library, marks.
    void OnInitDialog();

    CPanelSession& Session() { return *m_session; }
    void RefreshList();
    void RefreshMemoryMap();
    void SelectRow(int slot);
    int SelectedSlot() const override;  // 0-7, or -1 when no message row is selected
    // A row as one line of text (number, name, length, plays), as it is
    // printed and copied; empty for a row that is not there.
    QString RowText(int row) const;
    // The changed mark, shown in the title bar as Qt's modified mark.
    void SetChanged(bool changed) { m_session->SetChanged(changed); }
    bool IsChanged() const { return m_session->Changed(); }
    // The image file last loaded or saved (empty before): named in the title.
    const QString& ImageFile() const { return m_session->ImageFile(); }
    bool IsSonvoxAvailable() const { return m_session->AudioAvailable(); }
    const CImageHistory& History() const { return m_session->History(); }

    // Commands.
    void OnPreview() { m_session->Preview(); }
    void OnEdit() { m_session->Edit(); }
    void OnDelete() { m_session->Delete(); }
    void OnImportWav() { m_session->AskAndImport(); }
    void OnExportWav() { m_session->AskAndExport(); }
    void OnLoadImage() { m_session->AskAndLoad(); }
    bool OnSaveImage() { return m_session->Save(); }  // true when the image was written
    bool OnSaveImageAs() { return m_session->SaveAs(); }
    void OnUndo() { m_session->Undo(); }
    void OnRedo() { m_session->Redo(); }
    void OnReadWriteUnit() { m_session->ReadWriteUnit(); }
    void OnProgramUnits();
    void OnMatchLoudness();
    void OnPrintListing();
    void OnPrintLabels();
    void OnHelp();
    void OnAbout();
    void OnCodecInfo();
    void OnSoundDevices();
    void OnClose();
    // A file handed over from outside (a later start of the program):
    // brings the window up and loads the file, once no other dialog is open.
    void OpenFromOutside(const QString& path);
    // Loads an image file after offering to save unsaved changes; false when
    // the operator backed out or the load failed.
    bool OpenImageFile(const QString& path) { return m_session->OpenFile(path); }
    // Imports an audio file into a slot as Import WAV does after its dialog.
    bool ImportFile(int slot, const QString& path) { return m_session->Import(slot, path); }
    // A file dropped on the window: an image file is opened, an audio file
    // dropped on a message row (row >= 0) imported into that slot. False
    // when the drop is refused (nothing changed).
    bool DropFile(const QString& path, int row) { return m_session->Drop(path, row); }
    // Stopping a running preview before another command.
    void StopPreview() { m_session->StopPreviewIfPlaying(); }
    void StopPreviewIfPlaying() { m_session->StopPreviewIfPlaying(); }

    // What the commands of other modules (edit, printing, help) work with.
    CPanelContext Context() override;

    QTreeWidget* List() const { return m_list; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    CMemoryMapBar* MemoryMap() const { return m_memoryMap; }
    QPushButton* PreviewButton() const { return m_previewButton; }
    QMenu* RecentMenu() const { return m_recentMenu; }
    QAction* UndoAction() const { return m_undoAction; }
    QAction* RedoAction() const { return m_redoAction; }

protected:
    void reject() override;  // Escape
    void closeEvent(QCloseEvent* event) override;
    // Enter on a row, Space on a button.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The session's view.
    void SetPlaying(bool playing) override;
    void StartTimer(unsigned periodMs) override { m_previewTimer.start(int(periodMs)); }
    void StopTimer() override { m_previewTimer.stop(); }
    void ShowImage(int row) override;
    void ShowState() override;
    QString AskOpenPath(const CFileDialogRequest& request) override;
    QString AskSavePath(const CFileDialogRequest& request) override;
    ILongStep& LongSteps() override { return m_longSteps; }
    void ShowUnitCommunications() override;

    void BuildWindow();
    void BuildMenus(QMenu*& edit);
    void BuildUndoActions(QMenu* edit);
    void FillRecentMenu();
    void OpenPendingWhenFree();
    void WatchImageFile();
    // Runs a command of another module with the panel's context.
    void RunCommand(const std::function<void(const CPanelContext&)>& command);

    CAppState& m_state;
    std::unique_ptr<IFileDialogs> m_ownFileDialogs;
    std::unique_ptr<IOperatorReport> m_ownReport;
    std::unique_ptr<IAudioLibrary> m_ownSonvox;
    IFileDialogs* m_fileDialogs;
    IOperatorReport* m_report;
    CBackgroundLongStep m_longSteps;
    std::unique_ptr<CPanelSession> m_session;

    // A file handed over while another dialog was open, and the timer that
    // waits for that dialog to close.
    QString m_pendingOpen;
    QTimer m_pendingTimer;
    QTimer m_previewTimer;
    // The image file, watched for other programs' changes.
    QFileSystemWatcher m_watcher;
    QTimer m_fileChangedTimer;

    QMenuBar* m_menuBar = nullptr;
    QGroupBox* m_group = nullptr;
    QTreeWidget* m_list = nullptr;
    // Where a row keeps its text as one line.
    static constexpr int kRowTextRole = Qt::UserRole + 1;
    CMemoryMapBar* m_memoryMap = nullptr;
    CLoudnessCache m_loudness;
    QPushButton* m_previewButton = nullptr;
    QPushButton* m_readWriteButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
};
