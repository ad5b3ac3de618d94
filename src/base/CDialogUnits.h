// Dialog units of a window's font: x is a quarter of the average character
// width, y an eighth of the line height. The average is that of the letters
// A-Z and a-z: the font's own average width is that of all its glyphs,
// narrower than text, and captions placed with it come out clipped.
#pragma once

#include <QRect>
#include <QSize>

class QFont;

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    // Pixels of a dialog-unit position or length, rounded to the nearest.
    int X(int x) const { return int(x * m_dx + 0.5); }
    int Y(int y) const { return int(y * m_dy + 0.5); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }

private:
    double m_dx = 1, m_dy = 1;
};
