// "Edit Message": the name, play count and audio of one message slot. The
// rules live in CEditSession; this dialog owns the widgets, the timer and the
// meter, turns clicks and ticks into session calls and shows what the session
// says. The caller sets the inputs, runs exec() and on OK reads the outputs.
//
// The end of a recording (the library's Stop and Save) runs on a thread of
// its own so that the window keeps answering; meanwhile the audio buttons
// are greyed, and OK, Cancel, Escape and the title bar's close wait for it
// before the dialog closes.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "CEditSession.h"
#include "IEditView.h"

class CMeter;
class CWaveformView;
class IFileDialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CTXEditDlg : public QDialog, public IEditView {
    Q_OBJECT

public:
    // fileDialogs may be null: the desktop's own dialogs are used then.
    CTXEditDlg(IAudioLibrary& sonvox, IOperatorReport& report, cMemoryMap& map, IFileDialogs* fileDialogs,
               QWidget* parent = nullptr);
    ~CTXEditDlg() override;

    // Inputs, set before the dialog runs.
    QString m_label;              // "Message %d name"
    QString m_name;               // also the output
    int m_playCount = 0;          // 0 continuous, 1-255; also the output
    CEditSession::Setup m_setup;  // slot, room left, working files, audio state
    // Output: the scratch WAV file holds the slot's new audio.
    bool m_audioChanged = false;

    static const int kMaxNameLength = 15;

    // The opening steps; run when the dialog is first shown.
    void OnInitDialog();

    CEditSession* Session() { return m_session.get(); }
    CMeter* Meter() const { return m_meter; }
    QLineEdit* NameBox() const { return m_nameBox; }
    QComboBox* PlayCountBox() const { return m_playCountBox; }
    QLabel* RemainingLabel() const { return m_remaining; }
    CWaveformView* Waveform() const { return m_waveform; }
    QPushButton* RecordButton() const { return m_record; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* AppendRecordingButton() const { return m_appendRecording; }
    QPushButton* MakeSilenceButton() const { return m_makeSilence; }
    QPushButton* AppendFileButton() const { return m_appendFile; }
    QPushButton* SettingsButton() const { return m_settings; }
    QPushButton* PlaySelectionButton() const { return m_playSelection; }
    QPushButton* CutButton() const { return m_cut; }
    QPushButton* CropButton() const { return m_crop; }
    // An OK or Cancel waits for the recording being processed.
    bool ClosePending() const { return m_closePending; }
    const QTimer& Timer() const { return m_timer; }

    // IEditView
    void SetRemainingText(const std::string& text) override;
    void SetRecordCaption(const char* text) override;
    void SetPlayCaption(const char* text) override;
    void SetAppendCaption(const char* text) override;
    void EnableRecord(bool on) override;
    void StartTimer(unsigned periodMs) override;
    void StopTimer() override;
    void MeterSetLevel(int level) override;
    void MeterClear() override;
    bool AskSilence(uint32_t roomLeft, uint32_t& ms) override;
    bool AskAppendFile(std::string& path) override;
    bool AskSettings(const RecordProcessingParams& current, RecordProcessingParams& chosen) override;
    void RunAside(std::function<void()> work, std::function<void()> done) override;
    void SetBusy(bool busy) override;

public slots:
    void accept() override;  // OK
    void reject() override;  // Cancel, Escape, the title bar's close

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    // The waveform follows the scratch file after each change of the audio.
    void RefreshWaveform();
    // The waveform's selection: played, cut, kept; Ctrl+Z undoes a Cut or
    // Crop.
    void OnPlaySelection();
    void OnCut();
    void OnCrop();
    void OnUndo();
    // The work aside has ended: its thread is joined, its done step runs.
    void EndAside();
    // OK or Cancel once no audio activity is left.
    void Close(bool ok);

    IAudioLibrary& m_sonvox;
    IOperatorReport& m_report;
    cMemoryMap& m_map;
    IFileDialogs* m_fileDialogs;
    std::unique_ptr<IFileDialogs> m_ownFileDialogs;
    std::unique_ptr<CEditSession> m_session;
    QTimer m_timer;
    bool m_opened = false;

    std::thread m_aside;
    std::function<void()> m_asideDone;
    bool m_runInline = false;  // the dialog is going: work aside runs at once
    bool m_busy = false;
    bool m_recordAllowed = true;  // Record is greyed during an Append Recording
    bool m_closePending = false;
    QPointer<QWidget> m_focusBeforeBusy;

    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_nameBox = nullptr;
    QComboBox* m_playCountBox = nullptr;
    CMeter* m_meter = nullptr;
    CWaveformView* m_waveform = nullptr;
    QLabel* m_remaining = nullptr;
    QPushButton* m_record = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_appendRecording = nullptr;
    QPushButton* m_makeSilence = nullptr;
    QPushButton* m_appendFile = nullptr;
    QPushButton* m_settings = nullptr;
    QPushButton* m_playSelection = nullptr;
    QPushButton* m_cut = nullptr;
    QPushButton* m_crop = nullptr;
};
