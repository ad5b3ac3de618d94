#include "CLabelledComboAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace {

QAccessibleInterface* ComboFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new CLabelledComboAccessible(static_cast<QComboBox*>(object));
    return nullptr;
}

}  // namespace

CLabelledComboAccessible::CLabelledComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) { }

void CLabelledComboAccessible::Install()
{
    static const bool installed = (QAccessible::installFactory(ComboFactory), true);
    (void)installed;
}

QComboBox* CLabelledComboAccessible::Box() const
{
    return static_cast<QComboBox*>(widget());
}

QString CLabelledComboAccessible::text(QAccessible::Text t) const
{
    QString value = Box()->isEditable() && Box()->lineEdit() ? Box()->lineEdit()->text() : Box()->currentText();
    if (t == QAccessible::Value)
        return value;
    // The label's name (an accessible name set, else the buddy label's
    // text); a list that has no label keeps being named by its entry.
    QString text = QAccessibleWidget::text(t);
    if (t == QAccessible::Name && text.isEmpty())
        return value;
    return text;
}

QAccessible::State CLabelledComboAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = Box()->view() && Box()->view()->isVisible();
    s.editable = Box()->isEditable();
    return s;
}

int CLabelledComboAccessible::childCount() const
{
    return Box()->isEditable() && Box()->lineEdit() ? 2 : 1;
}

QAccessibleInterface* CLabelledComboAccessible::child(int index) const
{
    if (index == 0)
        return QAccessible::queryAccessibleInterface(Box()->view());
    if (index == 1 && Box()->isEditable())
        return QAccessible::queryAccessibleInterface(Box()->lineEdit());
    return nullptr;
}

int CLabelledComboAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child)
        return -1;
    if (child->object() == Box()->view())
        return 0;
    if (Box()->isEditable() && child->object() == Box()->lineEdit())
        return 1;
    return -1;
}

QStringList CLabelledComboAccessible::actionNames() const
{
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
}

void CLabelledComboAccessible::doAction(const QString& actionName)
{
    if (actionName == showMenuAction() || actionName == pressAction()) {
        if (Box()->view()->isVisible())
            Box()->hidePopup();
        else
            Box()->showPopup();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}
