// What a screen reader finds in a modem lamp: a label that says the line and
// its state, "CTS on" or "CTS off".
#pragma once

#include <QAccessibleWidget>

class CModemLamp;

class CModemLampAccessible : public QAccessibleWidget {
public:
    explicit CModemLampAccessible(CModemLamp* lamp);

    // Makes every CModemLamp answer with this interface; once is enough.
    static void Install();

    QString text(QAccessible::Text t) const override;
};
