// "Settings": the four parameters of the processing after each recording, and
// the three results of the most recent one. The caller fills m_params (the
// stored parameters and its results) before exec(); after OK m_params holds
// the four parameters as read and checked from the boxes, results unchanged.
// Cancel, Escape and the title bar's close leave m_params as it was given.
#pragma once

#include <QDialog>

#include <functional>

#include "RecordProcessingParams.h"

class QLineEdit;
class QPushButton;

class CRecSettingsDlg : public QDialog {
public:
    explicit CRecSettingsDlg(QWidget* parent = nullptr);

    RecordProcessingParams m_params;

    // Where field messages go; a message box with an OK button when empty.
    std::function<void(const QString&)> m_report;

    // The boxes, in their order on the dialog (tests type into them).
    QLineEdit* m_timeConstant = nullptr;
    QLineEdit* m_clipAmount = nullptr;
    QLineEdit* m_thresholdFactor = nullptr;
    QLineEdit* m_initialTrim = nullptr;
    QLineEdit* m_gain = nullptr;
    QLineEdit* m_clipCount = nullptr;
    QLineEdit* m_snr = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_restoreDefaults = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void FillBoxes(const RecordProcessingParams& params);
    // Reads the four boxes in order; the first that fails has its message
    // shown and gets the focus. True, with read filled, when all pass.
    bool ReadBoxes(RecordProcessingParams& read);
    void Report(const QString& text);
    void OnOk();
    void OnRestoreDefaults();

    bool m_finishing = false;  // OK or Cancel is closing the dialog
};
