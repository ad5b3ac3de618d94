#include "CTabStopDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QFontMetrics>
#include <QStringList>

CTabStopDelegate::CTabStopDelegate(const QList<qreal>& tabStops, QObject* parent)
    : QStyledItemDelegate(parent), m_tabStops(tabStops)
{
}

void CTabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus as the style draws them, text our way.
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                      selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    // Each column starts at its tab stop and is cut short ("...") before the
    // next one, so that a long name never pushes the columns after it along.
    const QFontMetrics metrics(opt.font);
    QStringList columns = text.split('\t');
    const QVariant extra = index.data(kExtraColumnRole);
    if (extra.isValid())
        columns << extra.toString();
    for (int i = 0; i < columns.size(); ++i) {
        const qreal left = i == 0 ? 0 : (i - 1 < m_tabStops.size() ? m_tabStops[i - 1] : -1);
        if (left < 0)
            break;
        const qreal width = i < m_tabStops.size() ? ColumnWidth(i) : textRect.width() - left;
        if (width <= 0)
            continue;
        const QString shown = metrics.elidedText(columns[i], Qt::ElideRight, int(width));
        const QRectF cell(textRect.left() + left, textRect.top(), width, textRect.height());
        painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
    painter->restore();
}

qreal CTabStopDelegate::ColumnWidth(int column) const
{
    if (column < 0 || column >= m_tabStops.size())
        return 0;
    const qreal left = column == 0 ? 0 : m_tabStops[column - 1];
    // A little air before the next column.
    return m_tabStops[column] - left - kGap;
}
