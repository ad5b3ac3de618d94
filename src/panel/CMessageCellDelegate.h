// Draws the cells of the message list as the rows of tab-separated text
// were always drawn: each column's text starts at its tab stop, after the
// same small margin, and is cut short a few pixels before the next one.
#pragma once

#include <QStyledItemDelegate>

class CMessageCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The width a cell of a column this wide leaves its text.
    static int TextRoom(int columnWidth) { return columnWidth - kGap; }
    // A little air before the next column.
    static constexpr int kGap = 4;
};
