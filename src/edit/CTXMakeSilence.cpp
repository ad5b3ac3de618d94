#include "CTXMakeSilence.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include "CDialogUnits.h"
#include "CSilenceAmount.h"

CTXMakeSilence::CTXMakeSilence(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Make Silence");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const CDialogUnits du(font());
    setFixedSize(du.Size(186, 79));

    auto* prompt = new QLabel("&Amount of silence desired (ms)", this);
    prompt->setGeometry(du.Rect(25, 14, 104, 8));
    m_range = new QLabel("(0-1000)", this);
    m_range->setGeometry(du.Rect(130, 14, 40, 8));
    m_amountBox = new QLineEdit(this);
    m_amountBox->setGeometry(du.Rect(70, 28, 40, 14));
    prompt->setBuddy(m_amountBox);

    m_ok = new QPushButton("&OK", this);
    m_ok->setGeometry(du.Rect(33, 50, 50, 14));
    m_ok->setDefault(true);
    m_cancel = new QPushButton("&Cancel", this);
    m_cancel->setGeometry(du.Rect(101, 50, 50, 14));

    connect(m_ok, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CTXMakeSilence::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Each opening by the program (not the window system's restore of a
    // minimised window) starts from the members.
    if (event->spontaneous())
        return;
    // The room left is known only now: the caller sets it after construction.
    const CSilenceAmount rule(m_roomLeft);
    m_amountBox->setText(QString::number(m_amount));
    m_range->setText(QString::fromStdString(rule.RangeText()));
    m_amountBox->setFocus();
    m_amountBox->selectAll();
}

void CTXMakeSilence::OnOk()
{
    const CSilenceAmount rule(m_roomLeft);
    std::string message;
    uint32_t amount = 0;
    if (!rule.Check(m_amountBox->text().toStdString(), amount, message)) {
        const QString text = QString::fromStdString(message);
        if (m_report) {
            m_report(text);
        } else {
            QMessageBox box(QMessageBox::Warning, "ORMID", text, QMessageBox::Ok, this);
            box.exec();
        }
        m_amountBox->setFocus();
        m_amountBox->selectAll();
        return;
    }
    m_amount = amount;
    accept();
}
