// Drop-down lists as a screen reader reads them: named by their label, the
// chosen entry as the value, and still opening and holding their entries.
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "CLabelledComboAccessible.h"

class LabelledComboTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { CLabelledComboAccessible::Install(); }

    void namedByItsLabelNotItsEntry()
    {
        QDialog dialog;
        auto* label = new QLabel("Play Co&unt", &dialog);
        auto* labelled = new QComboBox(&dialog);
        labelled->addItems({"Continuous", "1", "2", "3"});
        label->setBuddy(labelled);
        auto* named = new QComboBox(&dialog);
        named->addItems({"115200", "57600"});
        named->setAccessibleName("Baud Rate");
        auto* bare = new QComboBox(&dialog);
        bare->addItems({"/dev/ttyS0"});

        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(labelled);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::ComboBox);
        QCOMPARE(a->text(QAccessible::Name), QString("Play Count"));
        QCOMPARE(a->text(QAccessible::Value), QString("Continuous"));
        labelled->setCurrentIndex(3);
        QCOMPARE(a->text(QAccessible::Name), QString("Play Count"));
        QCOMPARE(a->text(QAccessible::Value), QString("3"));

        QCOMPARE(QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name), QString("Baud Rate"));
        // Without a label the entry is all there is to say.
        QCOMPARE(QAccessible::queryAccessibleInterface(bare)->text(QAccessible::Name), QString("/dev/ttyS0"));
    }

    void keepsItsEntriesItsFieldAndItsPopup()
    {
        QDialog dialog;
        auto* box = new QComboBox(&dialog);
        box->addItems({"/dev/ttyS0", "/dev/ttyUSB0"});
        box->setEditable(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        QCOMPARE(a->childCount(), 2);
        QAccessibleInterface* list = a->child(0);
        QVERIFY(list && list->object() == box->view());
        QCOMPARE(a->indexOfChild(list), 0);
        QAccessibleInterface* field = a->child(1);
        QVERIFY(field && field->object() == box->lineEdit());
        QCOMPARE(a->indexOfChild(field), 1);
        box->lineEdit()->setText("tcp://127.0.0.1:7000");
        QCOMPARE(a->text(QAccessible::Value), QString("tcp://127.0.0.1:7000"));

        QAccessibleActionInterface* actions = a->actionInterface();
        QVERIFY(actions && actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
        QVERIFY(!a->state().expanded);
        actions->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(box->view()->isVisible());
        QVERIFY(a->state().expanded);
        actions->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(!box->view()->isVisible());
    }
};

QTEST_MAIN(LabelledComboTest)
#include "LabelledComboTest.moc"
