#include "CModemLampAccessible.h"

#include "CModemLamp.h"

namespace {

QAccessibleInterface* LampFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CModemLamp") && object && object->isWidgetType())
        return new CModemLampAccessible(static_cast<CModemLamp*>(object));
    return nullptr;
}

}  // namespace

CModemLampAccessible::CModemLampAccessible(CModemLamp* lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) { }

void CModemLampAccessible::Install()
{
    static const bool installed = (QAccessible::installFactory(LampFactory), true);
    (void)installed;
}

QString CModemLampAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name || t == QAccessible::Value)
        return static_cast<CModemLamp*>(widget())->StateText();
    return QAccessibleWidget::text(t);
}
