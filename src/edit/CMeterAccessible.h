// What a screen reader finds in the level meter: a progress bar named
// "Input level" whose value is the bar's reach on the scale, 0 at rest and
// 100 at full scale, as the operator sees it.
#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

class CMeter;

class CMeterAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CMeterAccessible(CMeter* meter);

    // Makes every CMeter answer with this interface; once is enough.
    static void Install();

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant&) override { }
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    CMeter* Meter() const;
};
