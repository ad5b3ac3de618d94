#include "CMatchLoudnessDlg.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "CLoudnessMatch.h"

CMatchLoudnessDlg::CMatchLoudnessDlg(double target, int selected, QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Match Loudness");
    m_target = new QDoubleSpinBox(this);
    m_target->setRange(CLoudnessMatch::kMinTarget, CLoudnessMatch::kMaxTarget);
    m_target->setDecimals(1);
    m_target->setSingleStep(0.5);
    m_target->setSuffix(" LUFS");
    m_target->setValue(target);
    m_target->setAccessibleName("Target loudness");
    m_all = new QRadioButton("&All messages", this);
    m_selected = new QRadioButton(
        selected > 0 ? QString("&Selected message (%1)").arg(selected) : QString("&Selected message"), this);
    m_selected->setEnabled(selected > 0);
    m_all->setChecked(true);

    auto* form = new QFormLayout;
    auto* label = new QLabel("&Target loudness:", this);
    label->setBuddy(m_target);
    form->addRow(label, m_target);
    auto* note = new QLabel("Each message is brought to the target; its true peak stays at or below -1 dBTP, so a "
                            "message without the headroom stays quieter. Undo puts every message back.",
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText("&OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("&Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_all);
    layout->addWidget(m_selected);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

double CMatchLoudnessDlg::Target() const
{
    return m_target->value();
}

bool CMatchLoudnessDlg::AllMessages() const
{
    return m_all->isChecked();
}
