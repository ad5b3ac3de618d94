#include "CTabStopDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextOption>

CTabStopDelegate::CTabStopDelegate(const QList<qreal>& tabStops, QObject* parent)
    : QStyledItemDelegate(parent), m_tabStops(tabStops)
{
}

void CTabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus as the style draws them, text our way.
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    QList<QTextOption::Tab> tabs;
    for (qreal stop : m_tabStops)
        tabs.append(QTextOption::Tab(stop, QTextOption::LeftTab));
    QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
    textOption.setTabs(tabs);
    textOption.setWrapMode(QTextOption::NoWrap);

    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal
                                                                        : QPalette::Disabled,
                                      selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    painter->drawText(QRectF(textRect), text, textOption);
    painter->restore();
}
