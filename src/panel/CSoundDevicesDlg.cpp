#include "CSoundDevicesDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox* List(const SDeviceOffer& offer, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    for (const std::string& item : offer.items)
        box->addItem(QString::fromStdString(item));
    box->setCurrentIndex(offer.current);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

}  // namespace

CSoundDevicesDlg::CSoundDevicesDlg(const SDeviceOffer& inputs, const SDeviceOffer& outputs, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Sound Devices");
    m_input = List(inputs, this);
    m_output = List(outputs, this);
    auto* form = new QFormLayout;
    form->addRow("&Microphone:", m_input);
    form->addRow("&Speaker:", m_output);
    auto* note = new QLabel("Recording and playing use these devices; a device that is not connected is replaced "
                            "by the system default until it is back.",
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // The desktop's own captions may lack a key, or clash.
    buttons->button(QDialogButtonBox::Ok)->setText("&OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("&Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

int CSoundDevicesDlg::InputIndex() const
{
    return m_input->currentIndex();
}
int CSoundDevicesDlg::OutputIndex() const
{
    return m_output->currentIndex();
}
