// "Make Silence": asks how many milliseconds of silence the message shall
// become. The caller sets m_roomLeft (bytes of unit memory available) after
// construction and runs exec(); after OK m_amount holds the milliseconds
// chosen, 0 to the smaller of m_roomLeft / 8 and 1000. It writes nothing.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class CTXMakeSilence : public QDialog {
public:
    explicit CTXMakeSilence(QWidget* parent = nullptr);

    uint32_t m_roomLeft = 0;
    uint32_t m_amount = 0;

    // Where the field messages go; a message box with an OK button when empty.
    std::function<void(const QString&)> m_report;

    QLabel* m_range = nullptr;
    QLineEdit* m_amountBox = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOk();
};
