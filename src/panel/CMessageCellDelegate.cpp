#include "CMessageCellDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

void CMessageCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus as the style draws them, text our way.
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    // Where the style puts a cell's text, as it did for the rows of old.
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int width = TextRoom(opt.rect.width());
    if (width <= 0)
        return;
    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                      selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    const QString shown = QFontMetrics(opt.font).elidedText(text, Qt::ElideRight, width);
    const QRect cell(textRect.left(), textRect.top(), width, textRect.height());
    painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->restore();
}
