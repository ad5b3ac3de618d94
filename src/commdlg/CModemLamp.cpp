#include "CModemLamp.h"

#include "CModemLampAccessible.h"

#include <QAccessible>
#include <QPainter>
#include <QRadialGradient>

CModemLamp::CModemLamp(const QString& line, QWidget* parent) : QWidget(parent), m_line(line)
{
    setObjectName(line);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    CModemLampAccessible::Install();
}

QString CModemLamp::StateText() const
{
    return m_line + (m_lit ? " on" : " off");
}

void CModemLamp::SetLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

QSize CModemLamp::sizeHint() const
{
    const int side = fontMetrics().height() + 2;
    return QSize(side, side);
}

void CModemLamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height()) - 2.0;
    const QRectF bulb((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    // A lit lamp glows from a bright centre; an unlit one is a dull glass.
    QRadialGradient glass(bulb.center() - QPointF(side / 6.0, side / 6.0), side / 1.6);
    if (m_lit) {
        glass.setColorAt(0.0, QColor(220, 255, 200));
        glass.setColorAt(0.45, QColor(60, 220, 40));
        glass.setColorAt(1.0, QColor(20, 120, 10));
    } else {
        glass.setColorAt(0.0, QColor(170, 175, 170));
        glass.setColorAt(1.0, QColor(70, 75, 70));
    }
    painter.setPen(QPen(QColor(40, 40, 40), 1.0));
    painter.setBrush(glass);
    painter.drawEllipse(bulb);
}
