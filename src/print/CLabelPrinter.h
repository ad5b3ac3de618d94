// The labels for the unit's control box ("Print Labels"): two framed labels
// side by side, each naming four messages, cut along L-shaped corner marks.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include "CPageMetrics.h"
#include "PrintDocument.h"

class QPainter;
class QPrinter;
class cMemoryMap;
class IPrintReport;

class CLabelPrinter {
public:
    static constexpr const char* kDocumentName = "Unit Labels";
    // Geometry in 0.001 inch from the top left of the printable area, y
    // growing downwards (the label drawings measure y upwards; their
    // negative values are the positive ones here).
    static constexpr int kRightLabelShift = 3000;
    static constexpr int kBoxPitch = 550;
    // 9 pt (125 thousandths of an inch): fifteen characters of average
    // width fit a 1.25-inch box; wider names are set smaller until they fit.
    static constexpr int kTextSize = 125;

    explicit CLabelPrinter(const cMemoryMap& map);

    // Label 0 is the left one (slots 0-3), label 1 the right one (slots 4-7).
    static QRect Frame(int label);
    static QRect TopBottomGap(int label);
    static QRect LeftRightGap(int label);
    // Text box of a slot (0-7).
    static QRect TextBox(int slot);

    // The slot's name as printed (empty for an unnamed slot).
    QString Name(int slot) const;
    // The font for a name: kTextSize, or smaller when the name would not fit
    // its box on one line.
    QFont FontFor(const QFont& base, const QString& name) const;

    // Draws both labels with the painter's current font family.
    void Draw(QPainter& painter, const CPageMetrics& page) const;

    PrintResult Print(QPrinter& printer, IPrintReport& report) const;

private:
    const cMemoryMap& m_map;
};
