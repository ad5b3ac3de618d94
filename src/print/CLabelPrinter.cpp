#include "CLabelPrinter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPrinter>

#include <cstring>

#include "cMemoryMap.h"

namespace {

// A rectangle given as left, top, right, bottom in 0.001 inch with y growing
// upwards, as the label drawings give it, moved to y growing downwards.
QRect Mils(int left, int top, int right, int bottom)
{
    return QRect(left, -top, right - left, top - bottom);
}

// Corner marks should show on paper as cut lines, not as hairlines: 0.01 inch.
constexpr int kMarkPen = 10;
// The gaps are drawn a little wider so they clear the frame's edge fully.
constexpr int kGapPen = 14;

}  // namespace

CLabelPrinter::CLabelPrinter(const cMemoryMap& map) : m_map(map) { }

QRect CLabelPrinter::Frame(int label)
{
    return Mils(1000, -1000, 2300, -3075).translated(label * kRightLabelShift, 0);
}

QRect CLabelPrinter::TopBottomGap(int label)
{
    return Mils(1200, -1000, 2100, -3075).translated(label * kRightLabelShift, 0);
}

QRect CLabelPrinter::LeftRightGap(int label)
{
    return Mils(1000, -1200, 2300, -2875).translated(label * kRightLabelShift, 0);
}

QRect CLabelPrinter::TextBox(int slot)
{
    const int label = slot / 4;
    return Mils(1050, -1025, 2300, -1400).translated(label * kRightLabelShift, (slot % 4) * kBoxPitch);
}

QString CLabelPrinter::Name(int slot) const
{
    const char* stored = m_map.GetName(uint8_t(slot));
    return stored ? QString::fromLatin1(stored, int(strnlen(stored, cMemoryMap::kNameSize))) : QString();
}

QFont CLabelPrinter::FontFor(const QFont& base, const QString& name) const
{
    QFont font(base);
    font.setStyleStrategy(QFont::PreferNoShaping);  // no ligatures, as printers set text
    const int room = TextBox(0).width();
    for (int size = kTextSize; size > 20; size -= 5) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).horizontalAdvance(name) <= room)
            break;
    }
    return font;
}

void CLabelPrinter::Draw(QPainter& painter, const CPageMetrics& page) const
{
    painter.save();
    // One unit is 0.001 inch from here on.
    painter.scale(page.dpiX / 1000.0, page.dpiY / 1000.0);
    const QFont base = painter.font();
    QPen black(Qt::black, kMarkPen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    QPen white(Qt::white, kGapPen, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setBrush(Qt::NoBrush);
    for (int label = 0; label < 2; ++label) {
        painter.setPen(black);
        painter.drawRect(Frame(label));
        painter.setPen(white);
        painter.drawRect(TopBottomGap(label));
        painter.drawRect(LeftRightGap(label));
        painter.setPen(black);
        for (int row = 0; row < 4; ++row) {
            const int slot = label * 4 + row;
            const QString name = Name(slot);
            if (name.isEmpty())
                continue;
            painter.setFont(FontFor(base, name));
            painter.drawText(TextBox(slot), Qt::AlignCenter | Qt::TextSingleLine, name);
        }
    }
    painter.restore();
}

PrintResult CLabelPrinter::Print(QPrinter& printer, IPrintReport& report) const
{
    QPainter painter;
    if (!StartDocument(printer, painter, kDocumentName, report))
        return kPrintNotStarted;
    Draw(painter, CPageMetrics::Of(printer));
    return EndDocument(printer, painter, report) ? kPrintDone : kPrintNotFinished;
}
