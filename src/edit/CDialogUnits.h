// Dialog units of a window's font: x is a quarter of the average character
// width, y an eighth of the line height.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

class CDialogUnits {
public:
    explicit CDialogUnits(const QWidget& widget)
    {
        const QFontMetrics fm(widget.font());
        m_dx = fm.averageCharWidth() / 4.0;
        m_dy = fm.height() / 8.0;
    }
    int X(int x) const { return int(x * m_dx + 0.5); }
    int Y(int y) const { return int(y * m_dy + 0.5); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }

private:
    double m_dx = 1, m_dy = 1;
};
