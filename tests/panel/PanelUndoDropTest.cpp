// The panel's Undo and Redo (delete, import, edit, a read from the unit; at
// least 20 steps; the changed mark across load and save), the naming of an
// imported slot, and files dropped on the window.
#include <QApplication>
#include <QDropEvent>
#include <QTreeWidget>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <cstring>
#include <functional>

#include "AppTestMain.h"
#include "AudioFixtures.h"
#include "CEditCommand.h"
#include "CTXDoruvevAzadDlg.h"
#include "PanelHarness.h"
#include "TestImages.h"

class PanelUndoDropTest : public QObject, private CPanelHarness {
    Q_OBJECT

public:
    explicit PanelUndoDropTest(const QString& workDir) : CPanelHarness(workDir) { }

private:
    // A drag that enters target and moves to at, then drops there if the
    // window took it; false when it was refused.
    bool Drop(QWidget* target, const QString& path, QPoint at)
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        if (!enter.isAccepted() || !QApplication::sendEvent(target, &move) || !move.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QCoreApplication::processEvents();  // the drop's work runs once the drop has ended
        return drop.isAccepted();
    }
    QPoint RowCentre(int row) { return m_panel->List()->visualItemRect(m_panel->List()->topLevelItem(row)).center(); }

private slots:
    void initTestCase()
    {
        QVERIFY(MakeTone(WorkStd("unit.wav"), "-r 8000 -c 1 -e u-law", 0.5));
        QVERIFY(MakeTone(WorkStd("other.wav"), "-r 8000 -c 1 -e u-law", 0.25, 440));
        QVERIFY(MakeTone(WorkStd("song.mp3"), "-r 44100 -c 2", 0.5));
    }

    void init()
    {
        FillImage(Map(), {4000, 2500, 6000});
        TheApp()->m_panelCommands = CPanelCommands();
        OpenPanel();
        QApplication::setActiveWindow(m_panel.get());
        QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    }

    void cleanup() { m_panel.reset(); }

    // Each change, undone (Ctrl+Z) and redone (Ctrl+Shift+Z), byte for byte,
    // with its changed mark.
    void undoAndRedoRestoreTheImage()
    {
        // The edit's new audio: another slot's.
        const std::string scratch = WorkStd("edit-scratch.wav");
        TheApp()->m_panelCommands.editMessage = [&](const CPanelContext& panel, int slot) {
            Map().ExportSlotWav(uint8_t(slot + 5), scratch.c_str(), panel.report);
            return ApplyEditResult(Map(), uint8_t(slot), {"Edited", 0, true}, scratch, panel.report);
        };
        TheApp()->m_panelCommands.unitCommunications = [&](const CPanelContext&) {
            cMemoryMap unit;
            FillImage(unit, {1000, 9000});
            std::memcpy(Map().GetImageBuffer(), unit.GetImageBuffer(), cMemoryMap::kImageSize);
            Map().LoadTableFromImage();
        };
        const struct {
            const char* what;
            std::function<void()> change;
        } cases[] = {
            {"delete",
             [&] {
                 m_panel->SelectRow(2);
                 m_panel->OnDelete();
             }},
            {"import", [&] { Import(5, Work("unit.wav")); }},
            {"edit",
             [&] {
                 m_panel->SelectRow(0);
                 m_panel->OnEdit();
             }},
            {"read from the unit", [&] { m_panel->OnReadWriteUnit(); }},
        };
        for (const auto& c : cases) {
            m_panel->SetChanged(false);
            const std::vector<uint8_t> before = Take();
            c.change();
            const std::vector<uint8_t> after = Take();
            const bool changedAfter = m_panel->IsChanged();
            QVERIFY2(after != before, c.what);
            QVERIFY2(m_panel->UndoAction()->isEnabled() && !m_panel->RedoAction()->isEnabled(), c.what);
            QTest::keyClick(m_panel.get(), Qt::Key_Z, Qt::ControlModifier);
            QVERIFY2(Take() == before, c.what);
            QVERIFY2(!m_panel->IsChanged(), c.what);
            QTest::keyClick(m_panel.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY2(Take() == after, c.what);
            QCOMPARE(m_panel->IsChanged(), changedAfter);
        }
        QVERIFY(m_report.messages.empty());
    }

    void keepsTwentyStepsAndTheMarkAcrossLoadAndSave()
    {
        std::vector<std::vector<uint8_t>> states{Take()};
        for (int i = 0; i < 24; ++i) {
            Import(i % 8, Work(i % 2 ? "unit.wav" : "other.wav"));
            states.push_back(Take());
        }
        qInfo("history after 24 imports: %zu steps, %zu bytes", m_panel->History().Steps(),
              m_panel->History().MemoryBytes());
        for (int i = 23; i >= 4; --i) {
            m_panel->UndoAction()->trigger();
            QVERIFY(Take() == states[size_t(i)]);
        }

        // Saved, loaded: a new history. Undo past a save marks the image changed.
        m_dialogs.answers = {Work("saved.txi"), Work("saved.txi")};
        QVERIFY(m_panel->OnSaveImage());
        m_panel->OnLoadImage();
        QVERIFY(!m_panel->UndoAction()->isEnabled());
        m_panel->OnDelete();
        QVERIFY(m_panel->IsChanged());
        m_dialogs.answers = {Work("saved.txi")};
        QVERIFY(m_panel->OnSaveImage());
        for (bool changed : {true, false}) {
            (changed ? m_panel->UndoAction() : m_panel->RedoAction())->trigger();
            QCOMPARE(m_panel->IsChanged(), changed);
        }
    }

    void importNamesTheSlotAsTheCliDoes()
    {
        QVERIFY(QFile::copy(Work("unit.wav"), Work("\xF0\x9F\x8E\xB5tune.wav")));
        Import(4, Work("\xF0\x9F\x8E\xB5tune.wav"));
        QCOMPARE(QString(Map().GetName(4)), QString("?tune.wav"));
        QCOMPARE(m_report.messages,
                 (std::vector<std::string>{
                     "The unit cannot store some characters of the name; they were stored as '?': ?tune.wav"}));
    }

    void dropsImportIntoTheRowOrLoadTheImage()
    {
        QWidget* rows = m_panel->List()->viewport();
        QVERIFY(Drop(rows, Work("unit.wav"), RowCentre(3)));
        QCOMPARE(Map().GetLength(3), 4000u);
        QCOMPARE(QString(Map().GetName(3)), QString("unit.wav"));
        QVERIFY(m_report.questions.empty());

        m_report.answers = {true};
        QVERIFY(Drop(rows, Work("song.mp3"), RowCentre(6)));
        QVERIFY(m_report.questions.size() == 1 && m_report.questions[0].rfind("The file is 44100 Hz", 0) == 0);
        QVERIFY(Map().GetLength(6) > 3500);

        // Refused: nothing changes.
        const std::vector<uint8_t> before = Take();
        QVERIFY(!Drop(rows, Work("unit.wav"), QPoint(4, rows->height() - 2)));  // below the rows
        QVERIFY(!Drop(rows, m_work, RowCentre(1)));                             // a folder
        QVERIFY(!Drop(m_panel.get(), Work("unit.wav"), QPoint(4, 4)));          // audio outside the list
        QVERIFY(Take() == before);

        // An image file: the save question first, then the load.
        cMemoryMap other;
        FillImage(other, {800});
        QVERIFY(other.WriteImageFile(WorkStd("dropped.TXI").c_str(), m_report));
        m_report.Clear();
        QVERIFY(Drop(m_panel.get(), Work("dropped.TXI"), QPoint(4, 4)));
        QCOMPARE(m_report.questions.size(), size_t(1));  // answered No
        QCOMPARE(Map().GetLength(2), 800u);
        QVERIFY(!m_panel->IsChanged());
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<PanelUndoDropTest>(argc, argv);
}

#include "PanelUndoDropTest.moc"
