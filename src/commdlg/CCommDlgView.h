// What a unit transfer shows, put on the widgets of the communications
// dialog; also the owner the serial worker tells about modem-line changes.
#pragma once

#include <atomic>

#include "CSerialPort.h"
#include "ITransferView.h"

class TXCommDlg;

class CCommDlgView : public ITransferView, public IModemLineSink, public ITransferEventSink {
public:
    explicit CCommDlgView(TXCommDlg& dialog) : m_dialog(dialog) { }

    void SetStatus(const std::string& text) override;
    void ShowProgressPercent(const std::string& text, int percent) override;
    void SetProgressRange(int maximum) override;
    void SetProgressPos(int position) override;
    void SetSectorLines(const std::vector<std::string>& lines) override;
    void ShowMessage(const std::string& text, bool information) override;
    void EnableControls(bool enable) override;
    void SetLamps(bool cts, bool dsr, bool cd) override;
    void SetUnitReadDone() override;
    bool StartTimer(unsigned periodMs) override;
    void StopTimer() override;
    void StorePortSelection(int portPosition, int baudPosition) override;

    // Runs on the serial worker: hands the change to the dialog's thread
    // and returns at once.
    void OnModemLine(int message, int on) override;
    // On the dialog's thread: lights or unlights the lamp of the line.
    void ApplyModemLine(int message, int on);
    // Runs on the serial worker: asks the dialog's thread to step the
    // transfer now. Events that come while one is queued fold into it.
    void OnTransferEvent() override;

private:
    TXCommDlg& m_dialog;
    std::atomic<bool> m_stepQueued{false};
};
