#include "CMeterAccessible.h"

#include "CMeter.h"

namespace {

const char* const kMeterName = "Input level";

QAccessibleInterface* MeterFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CMeter") && object && object->isWidgetType())
        return new CMeterAccessible(static_cast<CMeter*>(object));
    return nullptr;
}

}  // namespace

CMeterAccessible::CMeterAccessible(CMeter* meter) : QAccessibleWidget(meter, QAccessible::ProgressBar) { }

void CMeterAccessible::Install()
{
    static const bool installed = (QAccessible::installFactory(MeterFactory), true);
    (void)installed;
}

CMeter* CMeterAccessible::Meter() const
{
    return static_cast<CMeter*>(widget());
}

QString CMeterAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
        return kMeterName;
    if (t == QAccessible::Value)
        return QString::number(Meter()->Percent()) + '%';
    return QAccessibleWidget::text(t);
}

void* CMeterAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QVariant CMeterAccessible::currentValue() const
{
    return Meter()->Percent();
}
