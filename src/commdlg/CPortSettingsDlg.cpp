#include "CPortSettingsDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Each entry carries the value the serial layer takes.
QComboBox* MakeBox(QWidget* parent, const QList<QPair<QString, int>>& entries)
{
    auto* box = new QComboBox(parent);
    for (const auto& entry : entries)
        box->addItem(entry.first, entry.second);
    return box;
}

void Select(QComboBox* box, int value)
{
    const int index = box->findData(value);
    if (index >= 0)
        box->setCurrentIndex(index);
}

}  // namespace

QList<int> CPortSettingsDlg::BaudRates()
{
    return {9600, 14400, 19200, 38400, 56000, 57600, 115200};
}

CPortSettingsDlg::CPortSettingsDlg(const QString& port, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(port);

    QList<QPair<QString, int>> rates;
    for (int rate : BaudRates())
        rates.append({QString::number(rate), rate});
    m_baud = MakeBox(this, rates);
    m_dataBits = MakeBox(this, {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}});
    m_parity = MakeBox(this, {{"None", 0}, {"Odd", 1}, {"Even", 2}, {"Mark", 3}, {"Space", 4}});
    m_stopBits = MakeBox(this, {{"1", 0}, {"1.5", 1}, {"2", 2}});
    m_handshaking = MakeBox(this, {{"None", 0}, {"Hardware", 1}, {"Xon / Xoff", 2}});

    auto* form = new QFormLayout;
    form->addRow("&Bits per second:", m_baud);
    form->addRow("&Data bits:", m_dataBits);
    form->addRow("&Parity:", m_parity);
    form->addRow("&Stop bits:", m_stopBits);
    form->addRow("&Flow control:", m_handshaking);

    auto* note = new QLabel("The port starts with these settings each time it is opened; "
                            "a transfer then sets its own baud rate and handshaking.",
                            this);
    note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText("&OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("&Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SetDefaults(PortDefaults());
}

void CPortSettingsDlg::SetDefaults(const PortDefaults& defaults)
{
    Select(m_baud, defaults.baud);
    Select(m_dataBits, defaults.dataBits);
    Select(m_parity, defaults.parity);
    Select(m_stopBits, defaults.stopBits);
    Select(m_handshaking, defaults.handshaking);
}

PortDefaults CPortSettingsDlg::Defaults() const
{
    PortDefaults defaults;
    defaults.baud = m_baud->currentData().toInt();
    defaults.dataBits = m_dataBits->currentData().toInt();
    defaults.parity = m_parity->currentData().toInt();
    defaults.stopBits = m_stopBits->currentData().toInt();
    defaults.handshaking = m_handshaking->currentData().toInt();
    return defaults;
}
