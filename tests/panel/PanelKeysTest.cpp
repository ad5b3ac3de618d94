// The panel's keys, as an operator presses them: Enter presses the focused
// button, edits a row in the list, and presses Close only when neither has
// the focus; Escape on a question that guards unsaved work backs out instead
// of dropping the work. Real key events on real widgets and message boxes.
#include <QApplication>
#include <QTreeWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>
#include <memory>

#include "AppTestMain.h"
#include "CQtOperatorReport.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "QuickPanel.h"
#include "PanelDoubles.h"

namespace {

// Presses a key on the next message box that opens and notes its text.
void KeyOnNextBox(Qt::Key key, QString* text = nullptr)
{
    QTimer::singleShot(0, [key, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        if (text)
            *text = box->text();
        QWidget* target = box->focusWidget() ? box->focusWidget() : box;
        QTest::keyClick(target, key);
    });
}

// Closes the next message box with its window's close box.
void CloseNextBox()
{
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        box->close();
    });
}

}  // namespace

class PanelKeysTest : public QObject {
    Q_OBJECT

public:
    explicit PanelKeysTest(const QString& workDir) : m_work(workDir) { }

private:
    CTXDoruvevAzadApp& App() { return *TheApp(); }
    QString Work(const QString& name) const { return m_work + '/' + name; }

    QPushButton* Button(const QString& caption) const
    {
        for (QPushButton* b : m_panel->findChildren<QPushButton*>())
            if (Plain(b->text()) == caption)
                return b;
        return nullptr;
    }

    void PutAudio(int slot, uint32_t bytes)
    {
        cMemoryMap& map = App().m_memoryMap;
        uint8_t* at = map.AllocateAtEnd(uint8_t(slot));
        std::memset(at, 0x10 + slot, bytes);
        map.SetLength(uint8_t(slot), bytes);
        map.SetName(uint8_t(slot), "Work");
        map.MarkSectorsNeeded(uint8_t(slot));
    }

    // The panel with the desktop's own message boxes.
    void NewPanel()
    {
        m_panel.reset();
        m_dialogs = CAnsweredFileDialogs();
        m_sonvox = CSilentSonvox();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, nullptr, &m_sonvox));
        m_panel->OnInitDialog();
        m_panel->show();
        QApplication::setActiveWindow(m_panel.get());
        QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    }

    // Enter as the keyboard delivers it: to the widget with the focus.
    void PressEnter() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }

    QString m_work;
    std::unique_ptr<CTXDoruvevAzadDlg> m_panel;
    CAnsweredFileDialogs m_dialogs;
    CSilentSonvox m_sonvox;
    QStringList m_commandsRun;

private slots:
    void init()
    {
        for (uint8_t s = 0; s < 8; ++s)
            App().m_memoryMap.ClearSlot(s);
        m_commandsRun.clear();
        CPanelCommands& commands = App().m_panelCommands;
        commands.unitCommunications = [this](const CPanelContext&) { m_commandsRun << "unit"; };
        commands.editMessage = [this](const CPanelContext&, int slot) {
            m_commandsRun << QString("edit %1").arg(slot);
            return false;
        };
        NewPanel();
    }

    void cleanup() { m_panel.reset(); }

    void enterPressesTheFocusedButton()
    {
        // Right after start the focus is on "Read / Write Unit": Enter opens
        // the unit dialog, it does not end the program.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Button("Read / Write Unit")));
        PressEnter();
        QCOMPARE(m_commandsRun, QStringList{"unit"});
        QVERIFY(m_panel->isVisible());

        PutAudio(0, 800);
        m_panel->RefreshList();
        Button("Delete")->setFocus();
        PressEnter();
        QCOMPARE(App().m_memoryMap.GetLength(0), 0u);
        QVERIFY(m_panel->isVisible());

        Button("Edit")->setFocus();
        PressEnter();
        QCOMPARE(m_commandsRun, (QStringList{"unit", "edit 0"}));
        QVERIFY(m_panel->isVisible());
    }

    void enterOnARowEditsItAndElsewherePressesClose()
    {
        // Enter in the list edits the selected row, as a double-click does;
        // it must not press Close and end the program.
        m_panel->SetChanged(false);
        m_panel->SelectRow(2);
        m_panel->List()->setFocus();
        PressEnter();
        QTest::keyClick(m_panel->List(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(m_commandsRun, (QStringList{"edit 2", "edit 2"}));
        QVERIFY(m_panel->isVisible());

        // With neither the list nor a button focused, Close is the default.
        m_panel->setFocus();
        PressEnter();
        QVERIFY(!m_panel->isVisible());
        QCOMPARE(m_panel->result(), int(QDialog::Accepted));
    }

    void escapeOnTheQuitQuestionKeepsTheProgramOpen()
    {
        PutAudio(0, 800);
        m_panel->SetChanged(true);
        QString asked;
        KeyOnNextBox(Qt::Key_Escape, &asked);
        QTest::keyClick(m_panel.get(), Qt::Key_Escape);  // Escape on the panel: Close
        QVERIFY(asked.contains("before quitting?"));
        QVERIFY(m_panel->isVisible());
        QVERIFY(m_panel->IsChanged());
        QVERIFY(m_dialogs.shown.empty());
        QVERIFY(!m_sonvox.Calls().contains("Audio_Release"));

        // The question's close box backs out the same way.
        CloseNextBox();
        Button("Close")->click();
        QVERIFY(m_panel->isVisible());
        QVERIFY(m_dialogs.shown.empty());

        // Enter answers the question with its default, Yes: the save dialog
        // comes (cancelled here), and the program stays.
        KeyOnNextBox(Qt::Key_Return);
        Button("Close")->click();
        QCOMPARE(int(m_dialogs.shown.size()), 1);
        QVERIFY(m_dialogs.shown[0].save);
        QVERIFY(m_panel->isVisible());

        // No still quits without saving.
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::No)->click();
        });
        Button("Close")->click();
        QVERIFY(!m_panel->isVisible());
        QCOMPARE(int(m_dialogs.shown.size()), 1);
    }

    void escapeOnTheOtherGuardingQuestionsBacksOut()
    {
        PutAudio(0, 800);
        m_panel->SetChanged(true);

        QString asked;
        KeyOnNextBox(Qt::Key_Escape, &asked);
        Button("Load Image File")->click();
        QVERIFY(asked.contains("loading another image file?"));
        QVERIFY(m_dialogs.shown.empty());  // no file dialog: nothing is loaded
        QCOMPARE(App().m_memoryMap.GetLength(0), 800u);
        QVERIFY(m_panel->IsChanged());

        KeyOnNextBox(Qt::Key_Escape, &asked);
        Button("Read / Write Unit")->click();
        QVERIFY(asked.contains("reading or writing the unit?"));
        QVERIFY(m_commandsRun.isEmpty());
        QVERIFY(m_dialogs.shown.empty());
        QVERIFY(m_panel->IsChanged());
    }

    void plainQuestionsStillAnswerYesOrNo()
    {
        CQtOperatorReport report(m_panel.get());
        KeyOnNextBox(Qt::Key_Return);
        QVERIFY(report.AskYesNo("Go on?"));
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::No)->click();
        });
        QCOMPARE(report.AskYesNoOrCancel("Save?"), IOperatorReport::Answer::No);
        KeyOnNextBox(Qt::Key_Return);
        QCOMPARE(report.AskYesNoOrCancel("Save?"), IOperatorReport::Answer::Yes);
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<PanelKeysTest>(argc, argv);
}

#include "PanelKeysTest.moc"
