#include "CPageMetrics.h"

#include <QPrinter>

CPageMetrics CPageMetrics::Of(const QPrinter& printer)
{
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    CPageMetrics m;
    m.physicalWidth = int(paper.width());
    m.physicalHeight = int(paper.height());
    m.offsetX = int(page.left() - paper.left());
    m.offsetY = int(page.top() - paper.top());
    m.dpiX = printer.logicalDpiX();
    m.dpiY = printer.logicalDpiY();
    return m;
}
