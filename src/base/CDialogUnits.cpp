#include "CDialogUnits.h"

#include <QFontMetricsF>

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetricsF fm(font);
    m_dx = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0 / 4.0;
    m_dy = fm.height() / 8.0;
}
