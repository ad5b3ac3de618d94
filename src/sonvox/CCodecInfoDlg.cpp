#include "CCodecInfoDlg.h"

#include <QPalette>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include "CDialogUnits.h"

CCodecInfoDlg::CCodecInfoDlg(const QString& report, QWidget* parent)
    : QDialog(parent), m_box(new QTextEdit(this)), m_cancel(new QPushButton(QStringLiteral("&Cancel"), this))
{
    setWindowTitle(QStringLiteral("Codec Information"));
    const CDialogUnits du(font());
    setFixedSize(du.Size(358, 282));
    m_box->setGeometry(du.Rect(5, 5, 345, 255));
    m_cancel->setGeometry(du.Rect(301, 261, 50, 14));

    m_box->setReadOnly(true);
    m_box->setAcceptRichText(true);
    m_box->setLineWrapMode(QTextEdit::NoWrap);
    m_box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = m_box->palette();
    pal.setColor(QPalette::Base, QColor(255, 255, 190));
    m_box->setPalette(pal);
    m_box->setAutoFillBackground(true);

    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("Arial")});
    format.setFontWeight(QFont::Bold);
    format.setForeground(QColor(0, 0, 190));
    m_box->setCurrentCharFormat(format);
    QTextCursor cursor(m_box->document());
    cursor.insertText(report, format);
    m_box->moveCursor(QTextCursor::Start);

    m_cancel->setDefault(true);
    m_cancel->setFocus();
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}
