// What a screen reader finds in a drop-down list: the list named by its
// label (its buddy, or its accessible name), its choice as the value. Qt's
// own interface names a drop-down list by its current entry on Linux, so a
// "Play Count" list read as "combo box, 1". Its list of entries and an
// editable box's field stay its children, and it opens as before.
#pragma once

#include <QAccessibleWidget>

class QComboBox;

class CLabelledComboAccessible : public QAccessibleWidget {
public:
    explicit CLabelledComboAccessible(QComboBox* box);

    // Makes every QComboBox of the program answer with this interface; once
    // is enough.
    static void Install();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    QComboBox* Box() const;
};
