// The "Unit Communications" dialog: reads the unit's memory into the unit
// image or writes the image's needed sectors to the unit. It opens the port
// for each transfer and drives the transfer from its step timer, 200 ms a
// step while reading and 80 ms while writing.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

#include "CCommDlgView.h"
#include "CQtPortDefaults.h"
#include "CSerialPort.h"
#include "CSerialTransferLink.h"
#include "CUnitTransfer.h"
#include "RememberedNetworkPorts.h"

class cMemoryMap;
class CModemLamp;
class IOperatorReport;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

// The application's state that the dialog reads and updates: the remembered
// list positions of port and baud rate and the transfer-done flag.
struct CCommShared {
    int32_t* commPortSel = nullptr;
    int32_t* baudRateSel = nullptr;
    int32_t* unitReadDone = nullptr;
};

class TXCommDlg : public QDialog {
    Q_OBJECT

public:
    enum LampIndex { LampCts = 0, LampDsr = 1, LampCd = 2 };
    static constexpr int kTimerId = 855;

    TXCommDlg(cMemoryMap& image, const CCommShared& shared, QWidget* parent = nullptr);
    ~TXCommDlg() override;

    // Shows the dialog modally; returns when the operator closes it.
    int DoModal();
    // Message boxes go to this report instead of the desktop's (tests).
    void SetReport(IOperatorReport* report) { m_report = report; }

    // Button handlers.
    void OnReadUnit();
    void OnWriteUnit();
    // A write that first completes a sector an interrupted write left open,
    // whether or not the port's journal tells of one; asked first.
    void OnRecoverUnit();
    void OnChangeDefaults();
    void OnTimer();
    // The line has news (reply, block sent, port gone): step at once.
    void OnTransferEvent();

    // What the transfer view puts on the dialog.
    void SetStatusText(const QString& text);
    void SetSectorLines(const QStringList& lines);
    void ShowMessage(const QString& text, bool information);
    // A Yes/No question, No the default.
    bool AskYesNo(const QString& text);
    void EnableTransferControls(bool enable);
    void SetUnitReadDone();
    void StorePortSelection(int portPosition, int baudPosition);
    bool IsPortOpen() const { return m_port.IsOpen(); }

    // The controls.
    QString StatusText() const;
    QComboBox* PortBox() const { return m_portBox; }
    QComboBox* BaudBox() const { return m_baudBox; }
    QPushButton* ReadButton() const { return m_readButton; }
    QPushButton* WriteButton() const { return m_writeButton; }
    // The write plan's line before "Write Unit", for the chosen baud.
    QLabel* PlanLabel() const { return m_planLabel; }
    QPushButton* RecoverButton() const { return m_recoverButton; }
    QCheckBox* OneSectorBox() const { return m_oneSectorBox; }
    QCheckBox* NoTimeoutsBox() const { return m_noTimeoutsBox; }
    QCheckBox* VerifyBox() const { return m_verifyBox; }
    QCheckBox* DefaultsButton() const { return m_defaultsButton; }
    QListWidget* SectorsList() const { return m_sectors; }
    QProgressBar* ProgressBar() const { return m_progress; }
    CModemLamp* Lamp(int index) const { return m_lamps[index]; }
    QPushButton* CloseButton() const { return m_closeButton; }
    QTimer& StepTimer() { return m_timer; }
    CSerialPort& Port() { return m_port; }
    CUnitTransfer& Transfer() { return *m_transfer; }
    CCommDlgView& View() { return m_view; }

signals:
    // Every text the status line takes, as it takes it: a transfer can pass
    // through several between two repaints.
    void statusChanged(const QString& text);

public slots:
    // OK, Cancel, Escape and the window's close all end here: the transfer
    // finishes before the dialog goes.
    void done(int result) override;

protected:
    // Re-fits the status text when its pane changes width.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    void FillLists();
    void ShowWritePlan();
    TransferSettings TakeSettings() const;
    // The path of the chosen port (its entry may say more than the path).
    std::string PortPath() const;
    static RememberedNetworkPorts RememberedPorts();
    // Keeps a network port that opened in the settings and in the list.
    void RememberNetworkPort(const std::string& port);
    void ExplainOpenFailure();
    void WarnOfRefusedDefaults();
    void ShowStatusText();

    cMemoryMap& m_image;
    CCommShared m_shared;
    IOperatorReport* m_report = nullptr;

    // Declared in the order they depend on each other: the port outlives the
    // link, the link and the view outlive the transfer.
    CSerialPort m_port;
    CSerialTransferLink m_link;
    CCommDlgView m_view;
    CQtPortDefaults m_portDefaults;
    IPortDefaultsProvider* m_previousDefaults = nullptr;
    std::string m_warnedDefaults;  // port and refused default already reported
    std::unique_ptr<CUnitTransfer> m_transfer;
    QTimer m_timer;

    QComboBox* m_portBox = nullptr;
    QComboBox* m_baudBox = nullptr;
    QPushButton* m_readButton = nullptr;
    QPushButton* m_writeButton = nullptr;
    QLabel* m_planLabel = nullptr;
    QPushButton* m_recoverButton = nullptr;
    QCheckBox* m_oneSectorBox = nullptr;
    QCheckBox* m_noTimeoutsBox = nullptr;
    QCheckBox* m_verifyBox = nullptr;
    QCheckBox* m_defaultsButton = nullptr;
    QListWidget* m_sectors = nullptr;
    QProgressBar* m_progress = nullptr;
    CModemLamp* m_lamps[3] = {};
    QPushButton* m_closeButton = nullptr;
    QLabel* m_status = nullptr;
    QString m_statusText;  // whole; the pane may show it shortened
};
