// A dialog's keyboard as an operator meets it: the Alt key of every button,
// field label and titled group, and what pressing it does on the real
// widgets (a button is pressed, a label's field or a group's first control
// takes the focus).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>

// A caption as shown, without its mnemonic marks: "&Load Image File" is
// "Load Image File".
inline QString Plain(QString caption)
{
    return caption.replace("&&", QChar(1)).remove('&').replace(QChar(1), "&");
}

namespace dialogkeys {

struct Control {
    QWidget* widget;
    QString caption;  // as shown
    QString key;      // "Alt+R", empty when the caption marks none
};

inline QString KeyOf(const QString& text)
{
    return QKeySequence::mnemonic(text).toString();
}

// The controls an operator can reach with a key: visible buttons, labels
// with a field, titled groups. A label whose field cannot take the focus (a
// result on show) is left out: a key could do nothing there.
inline QList<Control> Controls(QWidget* dialog)
{
    QList<Control> controls;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(dialog))
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (!button->text().isEmpty())
                controls.append({w, Plain(button->text()), KeyOf(button->text())});
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->buddy() && label->buddy()->isEnabled())
                controls.append({w, Plain(label->text()), KeyOf(label->text())});
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            const bool focusable = !group->findChildren<QWidget*>().isEmpty() &&
                                   group->findChildren<QWidget*>().first()->focusPolicy() != Qt::NoFocus;
            if (!group->title().isEmpty() && focusable)
                controls.append({w, Plain(group->title()), KeyOf(group->title())});
        }
    }
    return controls;
}

}  // namespace dialogkeys

// "Alt+R Read Unit" for every control, sorted; a control without a key
// shows as "- Caption". The table a dialog's test compares.
inline QStringList DialogKeyTable(QWidget* dialog)
{
    QStringList table;
    for (const dialogkeys::Control& c : dialogkeys::Controls(dialog))
        table << (c.key.isEmpty() ? QString("-") : c.key) + " " + c.caption;
    table.sort();
    return table;
}

// Keys that more than one control carries (a clash leaves each of them to
// the focus alone), and controls that carry none.
inline QStringList DialogKeyProblems(QWidget* dialog)
{
    QStringList problems, seen;
    for (const dialogkeys::Control& c : dialogkeys::Controls(dialog)) {
        if (c.key.isEmpty())
            problems << "no key: " + c.caption;
        else if (seen.contains(c.key))
            problems << "used twice: " + c.key;
        seen << c.key;
    }
    return problems;
}

// Presses the key on the active dialog and checks that it reaches the
// control with the caption: a button is clicked, a label's field or a
// group's first control takes the focus. False (with a warning) when not.
inline bool PressDialogKey(QWidget* dialog, const QString& key, const QString& caption)
{
    QWidget* target = nullptr;
    for (const dialogkeys::Control& c : dialogkeys::Controls(dialog))
        if (c.caption == caption && c.key == key)
            target = c.widget;
    if (!target) {
        qWarning("no control \"%s\" with %s", qPrintable(caption), qPrintable(key));
        return false;
    }
    // A field's key must move the focus there, so it starts elsewhere.
    if (!qobject_cast<QAbstractButton*>(target))
        for (QAbstractButton* other : dialog->findChildren<QAbstractButton*>())
            if (other->isVisible() && other->isEnabled() && other->focusPolicy() != Qt::NoFocus) {
                other->setFocus();
                break;
            }
    const QKeySequence sequence(key);
    auto* button = qobject_cast<QAbstractButton*>(target);
    std::unique_ptr<QSignalSpy> clicked;
    if (button)
        clicked = std::make_unique<QSignalSpy>(button, &QAbstractButton::clicked);
    // As the keyboard delivers it: to the focus of the active window.
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
    QTest::keyClick(focus, Qt::Key(sequence[0].key()), sequence[0].keyboardModifiers());
    if (button) {
        // A mnemonic shows the press for a moment before it clicks.
        (void)QTest::qWaitFor([&] { return clicked->count() > 0; }, 2000);
        if (clicked->count() != 1)
            qWarning("%s clicked %d times", qPrintable(caption), int(clicked->count()));
        return clicked->count() == 1;
    }
    QWidget* field = nullptr;
    if (auto* label = qobject_cast<QLabel*>(target))
        field = label->buddy();
    else
        field = target->findChildren<QWidget*>().first();
    if (!QTest::qWaitFor([&] { return QApplication::focusWidget() == field; }, 2000)) {
        qWarning("%s did not take the focus", qPrintable(caption));
        return false;
    }
    return true;
}

// Closes every modal dialog that opens over the one under test (a button's
// own dialog or question), noting its title.
class CModalCloser : public QObject {
public:
    explicit CModalCloser(QWidget* under) : m_under(under)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal || modal == m_under || !modal->isVisible())
                return;
            titles << modal->windowTitle();
            modal->reject();
        });
        m_timer.start(10);
    }
    QStringList titles;

private:
    QWidget* m_under;
    QTimer m_timer;
};
