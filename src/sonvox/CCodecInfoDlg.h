// "Codec Information": the codec information report in a read-only rich-text
// box, closed with "Cancel" (or Escape).
#pragma once

#include <QDialog>
#include <QString>

class QTextEdit;
class QPushButton;

class CCodecInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCodecInfoDlg(const QString& report, QWidget* parent = nullptr);

    QTextEdit* ReportBox() const { return m_box; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QTextEdit* m_box;
    QPushButton* m_cancel;
};
