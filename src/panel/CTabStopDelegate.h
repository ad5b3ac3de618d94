// Draws list rows whose text holds tab characters, with fixed tab stops.
#pragma once

#include <QList>
#include <QStyledItemDelegate>

class CTabStopDelegate : public QStyledItemDelegate {
public:
    // Tab stops in pixels from the left of the text.
    explicit CTabStopDelegate(const QList<qreal>& tabStops, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The room of a column (0 = before the first stop) up to the next stop;
    // text wider than that is shown cut short.
    qreal ColumnWidth(int column) const;
    static constexpr qreal kGap = 4;
    // A last column drawn after the text's own (the loudness), which the
    // row's text, as printed and copied, does not hold.
    static constexpr int kExtraColumnRole = Qt::UserRole + 1;

private:
    QList<qreal> m_tabStops;
};
