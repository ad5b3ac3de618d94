#include "CMemoryMapBar.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "CPictureAccessible.h"
#include "cMemoryMap.h"

namespace {

// Eight hues apart enough to tell neighbours; light enough for black digits.
const QColor kColours[8] = {QColor(0x8d, 0xb6, 0xe8), QColor(0xf2, 0xb1, 0x6e), QColor(0x9c, 0xd6, 0x8a),
                            QColor(0xe8, 0x95, 0x9a), QColor(0xc3, 0xa6, 0xe0), QColor(0xe6, 0xd3, 0x6c),
                            QColor(0x7f, 0xd1, 0xc9), QColor(0xd9, 0xb3, 0x94)};

}  // namespace

CMemoryMapBar::CMemoryMapBar(const cMemoryMap& map, QWidget* parent) : QWidget(parent), m_map(map)
{
    CPictureAccessible::Install("CMemoryMapBar");
    setAccessibleName("Memory map");
    Refresh(0);
}

CMemoryMapBar::~CMemoryMapBar() = default;

QRect CMemoryMapBar::BarRect() const
{
    const int text = fontMetrics().height();
    return QRect(0, 0, width(), std::max(8, height() - text - 2));
}

void CMemoryMapBar::Refresh(int baud)
{
    m_baud = baud;
    m_layout = std::make_unique<CMemoryMapLayout>(m_map, std::max(1, BarRect().width() - 2), baud);
    setAccessibleDescription(QString::fromStdString(m_layout->Description()));
    update();
}

void CMemoryMapBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Refresh(m_baud);
}

void CMemoryMapBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect bar = BarRect();
    const QRect inside = bar.adjusted(1, 1, -1, -1);
    painter.fillRect(bar, palette().color(QPalette::Mid));
    painter.fillRect(inside, palette().color(QPalette::Base));
    auto column = [&](int x0, int x1) { return QRect(inside.left() + x0, inside.top(), x1 - x0, inside.height()); };

    const QFontMetrics metrics = fontMetrics();
    for (const SMapSpan& span : m_layout->Messages()) {
        const QRect r = column(span.x0, span.x1);
        painter.fillRect(r, kColours[span.slot % 8]);
        const QString number = QString::number(span.slot + 1);
        painter.setPen(Qt::black);
        if (metrics.horizontalAdvance(number) + 2 <= r.width())
            painter.drawText(r, Qt::AlignCenter, number);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(r.topRight(), r.bottomRight());
    }
    for (const auto& [x0, x1] : m_layout->Hatched())
        painter.fillRect(column(x0, x1), QBrush(QColor(0, 0, 0, 110), Qt::BDiagPattern));

    const SMapSpan& room = m_layout->Room();
    if (room.x1 > room.x0 + 40) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(column(room.x0, room.x1).adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignRight,
                         QString("%1 s free").arg(room.length / double(cMemoryMap::kBytesPerSecond), 0, 'f', 1));
    }

    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, bar.bottom() + 2, width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(m_layout->WriteLine()));
}

bool CMemoryMapBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int slot = m_layout->SlotAt(help->pos().x() - BarRect().left() - 1);
        if (slot >= 0 && BarRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(), QString::fromStdString(m_layout->ToolTip(slot)), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
