// "Edit Message": the name, play count and audio of one message slot. The
// rules live in CEditSession; this dialog owns the widgets, the timer and the
// meter, turns clicks and ticks into session calls and shows what the session
// says. The caller sets the inputs, runs exec() and on OK reads the outputs.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

#include "CEditSession.h"
#include "IEditView.h"

class CMeter;
class IFileDialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CTXEditDlg : public QDialog, public IEditView {
    Q_OBJECT

public:
    // fileDialogs may be null: the desktop's own dialogs are used then.
    CTXEditDlg(IEditSonvox& sonvox, IOperatorReport& report, cMemoryMap& map, IFileDialogs* fileDialogs,
               QWidget* parent = nullptr);
    ~CTXEditDlg() override;

    // Inputs, set before the dialog runs.
    QString m_label;            // "Message %d name"
    QString m_name;             // also the output
    int m_playCount = 0;        // 0 continuous, 1-255; also the output
    CEditSession::Setup m_setup;   // slot, room left, working files, audio state
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
    QPushButton* RecordButton() const { return m_record; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* AppendRecordingButton() const { return m_appendRecording; }
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

public slots:
    void accept() override;   // OK
    void reject() override;   // Cancel, Escape, the title bar's close

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();

    IEditSonvox& m_sonvox;
    IOperatorReport& m_report;
    cMemoryMap& m_map;
    IFileDialogs* m_fileDialogs;
    std::unique_ptr<IFileDialogs> m_ownFileDialogs;
    std::unique_ptr<CEditSession> m_session;
    QTimer m_timer;
    bool m_opened = false;

    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_nameBox = nullptr;
    QComboBox* m_playCountBox = nullptr;
    CMeter* m_meter = nullptr;
    QLabel* m_remaining = nullptr;
    QPushButton* m_record = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_appendRecording = nullptr;
};
