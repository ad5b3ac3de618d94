#include "CCodecInfoDlg.h"

#include <QFontMetrics>
#include <QPalette>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

CCodecInfoDlg::CCodecInfoDlg(const QString& report, QWidget* parent)
    : QDialog(parent), m_box(new QTextEdit(this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(QStringLiteral("Codec Information"));
    // Dialog units: a quarter of the average character width, an eighth of
    // the line height of the dialog's font.
    const QFontMetrics fm(font());
    const double dx = fm.averageCharWidth() / 4.0, dy = fm.height() / 8.0;
    auto rect = [dx, dy](int x, int y, int w, int h) {
        return QRect(int(x * dx), int(y * dy), int(w * dx), int(h * dy));
    };
    setFixedSize(int(358 * dx), int(282 * dy));
    m_box->setGeometry(rect(5, 5, 345, 255));
    m_cancel->setGeometry(rect(301, 261, 50, 14));

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
