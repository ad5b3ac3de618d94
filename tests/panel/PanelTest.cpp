// The main panel on real widgets: its rows, its commands from every source,
// image files and WAV files on disk, the preview, opening and closing.
#include <QAbstractButton>
#include <QAccessible>
#include <QClipboard>
#include <QAction>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTreeWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QComboBox>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstring>
#include <sys/stat.h>
#include <functional>
#include <memory>

#include "CQtFileDialogs.h"
#include "CQtOperatorReport.h"
#include "AppTestMain.h"
#include "CTXDoruvevAzadApp.h"
#include "HelpCommands.h"
#include "CMemoryMapBar.h"
#include "CTXDoruvevAzadDlg.h"
#include "QuickPanel.h"
#include "PanelDoubles.h"
#include "CRecentFiles.h"
#include "CSettingsStore.h"
#include "ProgramSettings.h"
#include "cPdfHelp.h"

namespace {

// A WAV file in the unit's format with the given number of samples.
void WriteMuLawWav(const QString& path, uint32_t samples, uint8_t seed)
{
    QDir().mkpath(QFileInfo(path).path());
    uint8_t header[44];
    cMemoryMap::BuildWavHeader(samples, header);
    QByteArray data(reinterpret_cast<const char*>(header), 44);
    for (uint32_t i = 0; i < samples; ++i)
        data.append(char(uint8_t(seed + i * 7)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Runs `inspect` on the next modal window that opens, then closes it.
void OnNextModal(std::function<void(QWidget*)> inspect)
{
    QTimer::singleShot(0, [inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        inspect(modal);
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->done(QMessageBox::Yes);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->accept();
    });
}

}  // namespace

class PanelTest : public QObject {
    Q_OBJECT

public:
    explicit PanelTest(const QString& workDir) : m_work(workDir) { }

private:
    CTXDoruvevAzadApp& App() { return *TheApp(); }
    cMemoryMap& Map() { return App().m_memoryMap; }
    QString Work(const QString& name) const { return m_work + '/' + name; }

    void PutAudio(int slot, uint32_t bytes, const char* name, uint8_t count)
    {
        uint8_t* at = Map().AllocateAtEnd(uint8_t(slot));
        std::memset(at, 0x10 + slot, bytes);
        Map().SetLength(uint8_t(slot), bytes);
        Map().SetName(uint8_t(slot), name);
        Map().SetPlayCount(uint8_t(slot), count);
        Map().MarkSectorsNeeded(uint8_t(slot));
    }

    QStringList Rows() const
    {
        QStringList rows;
        for (int i = 0; i < m_panel->List()->topLevelItemCount(); ++i)
            rows << m_panel->RowText(i);
        return rows;
    }

    QPushButton* Button(const QString& caption) const
    {
        for (QPushButton* b : m_panel->findChildren<QPushButton*>())
            if (Plain(b->text()) == caption)
                return b;
        return nullptr;
    }

    // "&File/Open"
    QAction* MenuItem(const QString& path) const
    {
        const QStringList parts = path.split('/');
        for (QAction* top : m_panel->MenuBar()->actions()) {
            if (Plain(top->text()) != Plain(parts[0]) || !top->menu())
                continue;
            for (QAction* item : top->menu()->actions())
                if (Plain(item->text()) == Plain(parts[1]))
                    return item;
        }
        return nullptr;
    }

    void Trigger(const QString& source)
    {
        if (source.startsWith("button:")) {
            QPushButton* b = Button(source.mid(7));
            QVERIFY2(b, qPrintable(source));
            b->click();
        } else if (source.startsWith("menu:")) {
            QAction* a = MenuItem(source.mid(5));
            QVERIFY2(a, qPrintable(source));
            a->trigger();
        } else if (source == "double-click") {
            QTreeWidget* list = m_panel->List();
            const QRect rect = list->visualItemRect(list->topLevelItem(0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        } else if (source == "escape") {
            QTest::keyClick(m_panel.get(), Qt::Key_Escape);
        } else if (source == "close-box") {
            m_panel->close();
        } else if (source.startsWith("key:")) {
            // As the keyboard delivers it: to the active window's focus.
            QApplication::setActiveWindow(m_panel.get());
            QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
            if (source.endsWith("on the list")) {
                m_panel->List()->setFocus();
                QTest::keySequence(m_panel->List(), QKeySequence(source.mid(4).section(' ', 0, 0)));
            } else {
                QTest::keySequence(QApplication::focusWidget(), QKeySequence(source.mid(4)));
            }
        }
    }

    void NewPanel()
    {
        m_panel.reset();
        m_dialogs = CAnsweredFileDialogs();
        m_report.Clear();
        m_sonvox = CSilentSonvox();
        m_desktop = CTestDesktop();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, &m_report, &m_sonvox));
        m_panel->OnInitDialog();
        m_panel->show();
    }

    QString m_work;
    std::unique_ptr<CTXDoruvevAzadDlg> m_panel;
    CAnsweredFileDialogs m_dialogs;
    CRecordedReport m_report;
    CSilentSonvox m_sonvox;
    CTestDesktop m_desktop;
    QStringList m_commandsRun;

private slots:
    void init()
    {
        for (uint8_t s = 0; s < 8; ++s)
            Map().ClearSlot(s);
        App().m_importFilePath.clear();
        App().m_exportFilePath.clear();
        App().m_audioState = AudioIdle;
        CSettingsStore(ProgramSettings::kSection).remove(CRecentFiles::kSettingKey);
        m_commandsRun.clear();
        CPanelCommands& commands = App().m_panelCommands;
        commands.editMessage = [this](const CPanelContext&, int slot) {
            m_commandsRun << QString("edit %1").arg(slot);
            return false;
        };
        commands.printListing = [this](const CPanelContext&) { m_commandsRun << "listing"; };
        commands.printLabels = [this](const CPanelContext&) { m_commandsRun << "labels"; };
        commands.unitCommunications = [this](const CPanelContext&) { m_commandsRun << "unit"; };
        commands.programUnits = [this](const CPanelContext&) { m_commandsRun << "program units"; };
        InstallHelpCommands(commands, &m_desktop);
        NewPanel();
    }

    void cleanup() { m_panel.reset(); }

    void rowsOfNewImageAndLobby()
    {
        QStringList expected;
        for (int i = 1; i <= 8; ++i)
            expected << QString("  %1\t\t0.00 sec\t1").arg(i);
        QCOMPARE(Rows(), expected);
        QCOMPARE(m_panel->SelectedSlot(), 0);

        PutAudio(2, 20000, "Lobby", 0);
        PutAudio(5, 12345, "Fire exit 2", 255);
        m_panel->RefreshList();
        QCOMPARE(Rows()[2], QString("  3\tLobby\t2.50 sec\tC"));
        QCOMPARE(Rows()[5], QString("  6\tFire exit 2\t1.54 sec\t255"));
        QCOMPARE(m_panel->SelectedSlot(), 0);

        // Fifteen wide letters are cut short in the list; the tip has them all.
        PutAudio(6, 800, "WWWWWWWWWWWWWWW", 1);
        m_panel->RefreshList();
        QCOMPARE(m_panel->List()->topLevelItem(6)->toolTip(1), QString("WWWWWWWWWWWWWWW"));
        QCOMPARE(m_panel->List()->topLevelItem(2)->toolTip(1), QString());
    }

    // The list as a screen reader reads it: a table under the list's name,
    // a header naming the columns, each cell its own words; a copied row is
    // the one line it always was, even for a name that holds a tab.
    void rowsAreTableRowsOfCells()
    {
        PutAudio(2, 20000, "Lobby", 0);
        PutAudio(5, 12345, "Tab\tname", 255);
        m_panel->RefreshList();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(m_panel->List());
        QVERIFY(list && list->tableInterface());
        QAccessibleTableInterface* table = list->tableInterface();
        QCOMPARE(list->text(QAccessible::Name), QString("Messages"));
        QCOMPARE(table->rowCount(), 8);
        QStringList columns;
        for (int c = 0; c < table->columnCount(); ++c)
            columns << table->columnDescription(c);
        QCOMPARE(columns, (QStringList{"No.", "Name", "Length", "Plays", "Loudness"}));

        const struct {
            int row;
            QStringList cells;
            QString line;
        } rows[] = {
            {0, {"1", "", "0.00 sec", "1"}, "  1\t\t0.00 sec\t1"},
            {2, {"3", "Lobby", "2.50 sec", "Continuous"}, "  3\tLobby\t2.50 sec\tC"},
            {5, {"6", "Tab\tname", "1.54 sec", "255"}, "  6\tTab\tname\t1.54 sec\t255"},
        };
        for (const auto& row : rows) {
            QStringList read;
            for (int c = 0; c < 4; ++c)
                read << table->cellAt(row.row, c)->text(QAccessible::Name);
            QCOMPARE(read, row.cells);
            // The loudness is read as shown; an empty slot has none.
            const QString loudness = m_panel->List()->topLevelItem(row.row)->text(4);
            QCOMPARE(table->cellAt(row.row, 4)->text(QAccessible::Name), loudness);
            QCOMPARE(loudness.isEmpty(), row.row == 0);
            QCOMPARE(m_panel->RowText(row.row), row.line);
            // What the operator sees in the plays column stays the letter.
            QCOMPARE(m_panel->List()->topLevelItem(row.row)->text(3), row.line.section('\t', -1));

            m_panel->SelectRow(row.row);
            QGuiApplication::clipboard()->clear();
            m_panel->List()->setFocus();
            QTest::keySequence(m_panel->List(), QKeySequence::Copy);
            QCOMPARE(QGuiApplication::clipboard()->text(), row.line);
        }
    }

    void commandsFromEverySource_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("effect");
        QTest::newRow("Preview button") << "button:Preview"
                                        << "preview";
        QTest::newRow("Edit/Preview") << "menu:Edit/Preview"
                                      << "preview";
        QTest::newRow("Edit button") << "button:Edit"
                                     << "edit";
        QTest::newRow("Edit/Record") << "menu:Edit/Record"
                                     << "edit";
        QTest::newRow("Edit/Rename") << "menu:Edit/Rename"
                                     << "edit";
        QTest::newRow("Edit/Repetitions") << "menu:Edit/Repetitions"
                                          << "edit";
        QTest::newRow("double-click") << "double-click"
                                      << "edit";
        QTest::newRow("Delete button") << "button:Delete"
                                       << "delete";
        QTest::newRow("Edit/Delete") << "menu:Edit/Delete"
                                     << "delete";
        QTest::newRow("Import WAV button") << "button:Import WAV"
                                           << "dialog:Import g.711 file";
        QTest::newRow("File/Import") << "menu:&File/Import"
                                     << "dialog:Import g.711 file";
        QTest::newRow("Export WAV button") << "button:Export WAV"
                                           << "dialog:Export g.711 file";
        QTest::newRow("File/Export") << "menu:&File/Export"
                                     << "dialog:Export g.711 file";
        QTest::newRow("Load button") << "button:Load Image File"
                                     << "dialog:Load ORMID Image file";
        QTest::newRow("File/Open") << "menu:&File/Open"
                                   << "dialog:Load ORMID Image file";
        QTest::newRow("Save button") << "button:Save Image File"
                                     << "dialog:Save TX Image file as";
        QTest::newRow("File/Save") << "menu:&File/Save"
                                   << "dialog:Save TX Image file as";
        QTest::newRow("File/Save As") << "menu:&File/Save As..."
                                      << "dialog:Save TX Image file as";
        QTest::newRow("Read / Write Unit button") << "button:Read / Write Unit"
                                                  << "unit";
        QTest::newRow("Transfer/Begin") << "menu:Transfer/Begin"
                                        << "unit";
        QTest::newRow("Transfer/Program Units") << "menu:Transfer/Program Units..."
                                                << "program units";
        QTest::newRow("Print Image Data button") << "button:Print Image Data"
                                                 << "listing";
        QTest::newRow("File/Print Listing") << "menu:&File/Print Listing"
                                            << "listing";
        QTest::newRow("Print Labels button") << "button:Print Labels"
                                             << "labels";
        QTest::newRow("File/Print Labels") << "menu:&File/Print Labels"
                                           << "labels";
        QTest::newRow("Help/Help") << "menu:&Help/&Help"
                                   << "help";
        QTest::newRow("Help/About") << "menu:&Help/&About"
                                    << "about";
        QTest::newRow("Close button") << "button:Close"
                                      << "close";
        QTest::newRow("File/Exit") << "menu:&File/Exit"
                                   << "close";
        QTest::newRow("Escape") << "escape"
                                << "close";
        QTest::newRow("close box") << "close-box"
                                   << "close";
        QTest::newRow("Help/Codec Information") << "menu:&Help/&Codec Information"
                                                << "codec";
        // The keyboard: shortcuts, then mnemonics (none may clash: a clash
        // would leave a button to the focus alone).
        QTest::newRow("Ctrl+O") << "key:Ctrl+O"
                                << "dialog:Load ORMID Image file";
        QTest::newRow("Ctrl+S") << "key:Ctrl+S"
                                << "dialog:Save TX Image file as";
        QTest::newRow("Ctrl+Shift+S") << "key:Ctrl+Shift+S"
                                      << "dialog:Save TX Image file as";
        QTest::newRow("Ctrl+I") << "key:Ctrl+I"
                                << "dialog:Import g.711 file";
        QTest::newRow("Ctrl+E") << "key:Ctrl+E"
                                << "dialog:Export g.711 file";
        QTest::newRow("Ctrl+P") << "key:Ctrl+P"
                                << "listing";
        QTest::newRow("Ctrl+Q") << "key:Ctrl+Q"
                                << "close";
        QTest::newRow("Delete") << "key:Del"
                                << "delete";
        QTest::newRow("F1") << "key:F1"
                            << "help";
        QTest::newRow("Space on a focused button") << "key:Space"
                                                   << "unit";
        QTest::newRow("Space on the list") << "key:Space on the list"
                                           << "preview";
        QTest::newRow("F2") << "key:F2"
                            << "edit";
        QTest::newRow("Enter on the list") << "key:Return on the list"
                                           << "edit";
        QTest::newRow("Alt+I") << "key:Alt+I"
                               << "edit";
        QTest::newRow("Alt+X") << "key:Alt+X"
                               << "dialog:Export g.711 file";
        QTest::newRow("Alt+A") << "key:Alt+A"
                               << "listing";
        QTest::newRow("Alt+C") << "key:Alt+C"
                               << "close";
    }

    void commandsFromEverySource()
    {
        QFETCH(QString, source);
        QFETCH(QString, effect);
        PutAudio(0, 800, "Welcome", 2);
        m_panel->RefreshList();
        QString aboutTitle;
        if (effect == "about" || effect == "codec")
            OnNextModal([&](QWidget* w) { aboutTitle = w ? w->windowTitle() : QString(); });

        Trigger(source);

        // A mnemonic clicks its button a moment later, as it shows the press.
        if (effect == "preview") {
            QTRY_VERIFY(m_sonvox.Calls().contains("LoadPlay"));
            QCOMPARE(Plain(m_panel->PreviewButton()->text()), QString("Stop"));
        } else if (effect == "edit") {
            QTRY_COMPARE(m_commandsRun, QStringList{"edit 0"});
        } else if (effect == "delete") {
            QTRY_COMPARE(Map().GetLength(0), 0u);
        } else if (effect.startsWith("dialog:")) {
            QTRY_COMPARE(int(m_dialogs.shown.size()), 1);
            QCOMPARE(m_dialogs.shown[0].request.title, effect.mid(7));
        } else if (effect == "about") {
            QCOMPARE(aboutTitle, QString("About ORMID"));
        } else if (effect == "codec") {
            QCOMPARE(aboutTitle, QString("Codec Information"));
        } else if (effect == "help") {
            QCOMPARE(int(m_report.messages.size()), 1);
        } else if (effect == "close") {
            QTRY_VERIFY(!m_panel->isVisible());
            QCOMPARE(m_sonvox.Calls().last(), QString("Audio_Release"));
        } else {
            QTRY_COMPARE(m_commandsRun, QStringList{effect});
        }
        if (effect != "close")
            QVERIFY(m_panel->isVisible());
    }

    void messageCommandsNeedASelectedRow()
    {
        PutAudio(0, 800, "Welcome", 2);
        m_panel->RefreshList();
        m_panel->List()->clearSelection();
        for (const char* caption : {"Preview", "Edit", "Delete", "Import WAV", "Export WAV"})
            Button(caption)->click();
        QCOMPARE(Map().GetLength(0), 800u);
        QVERIFY(m_dialogs.shown.empty());
        QVERIFY(m_commandsRun.isEmpty());
        QVERIFY(!m_sonvox.Calls().contains("LoadPlay"));
        QVERIFY(!m_panel->IsChanged());
    }

    // The loudness column beside each row's own text, kept current after a
    // change and after Undo; the memory map under the list follows.
    void loudnessColumnAndMemoryMapFollowEveryChange()
    {
        auto loudness = [this](int row) { return m_panel->List()->topLevelItem(row)->text(4); };
        // A second of a 1 kHz square wave, imported as an operator would.
        uint8_t header[44];
        cMemoryMap::BuildWavHeader(8000, header);
        QByteArray wav(reinterpret_cast<const char*>(header), 44);
        for (int i = 0; i < 8000; ++i)
            wav += char((i / 4) % 2 ? 0x90 : 0x10);
        QFile file(Work("First.wav"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size());
        file.close();
        QVERIFY(m_panel->ImportFile(0, Work("First.wav")));
        QVERIFY2(loudness(0).endsWith(" LUFS"), qPrintable(loudness(0)));
        QCOMPARE(loudness(1), QString());
        QCOMPARE(Rows()[0], QString("  1\tFirst.wav\t1.00 sec\t1"));
        QCOMPARE(m_panel->MemoryMap()->accessibleName(), QString("Memory map"));
        QVERIFY(m_panel->MemoryMap()->accessibleDescription().startsWith("1 message uses 8,000 of 4,128,768 bytes"));
        QCOMPARE(int(m_panel->MemoryMap()->Layout().Messages().size()), 1);

        m_panel->SelectRow(0);
        Button("Delete")->click();
        QCOMPARE(loudness(0), QString());
        QVERIFY(m_panel->MemoryMap()->Layout().Messages().empty());
        m_panel->OnUndo();
        QVERIFY(loudness(0).endsWith(" LUFS"));
        QCOMPARE(int(m_panel->MemoryMap()->Layout().Messages().size()), 1);
    }

    void deleteCompactsReselectsAndMarksChanged()
    {
        PutAudio(0, 8000, "First", 1);
        PutAudio(1, 4000, "Second", 3);
        PutAudio(2, 2000, "Third", 0);
        m_panel->RefreshList();
        const QStringList before = Rows();
        m_panel->SelectRow(0);
        Button("Delete")->click();

        QCOMPARE(Map().GetLength(0), 0u);
        QCOMPARE(Map().GetStart(1), 0x2000u);
        QCOMPARE(Map().GetStart(2), 0x2000u + 4000u);
        QCOMPARE(Map().GetImageBuffer()[0x2000 + 4000], uint8_t(0x12));
        QCOMPARE(Rows()[0], QString("  1\t\t0.00 sec\t1"));
        QCOMPARE(Rows()[1], before[1]);
        QCOMPARE(Rows()[2], before[2]);
        QCOMPARE(m_panel->SelectedSlot(), 0);

        // Same row again after deleting a later one; the deletion is a change
        // that closing must offer to save.
        m_panel->SetChanged(false);
        m_panel->SelectRow(2);
        Button("Delete")->click();
        QCOMPARE(m_panel->SelectedSlot(), 2);
        QVERIFY(m_panel->IsChanged());
        Button("Close")->click();
        QCOMPARE(int(m_report.questions.size()), 1);
        QCOMPARE(m_report.questions[0],
                 std::string("The image data has changed.\nWould you like to save it before quitting?"));
    }

    void saveAndLoadRoundTrip()
    {
        PutAudio(0, 8000, "Welcome", 2);
        PutAudio(3, 16000, "Lobby", 0);
        m_panel->RefreshList();
        m_panel->SetChanged(true);
        const QStringList rows = Rows();
        const QByteArray table(reinterpret_cast<const char*>(Map().GetTable()), 192);
        const QString shop = Work("Msgs/Shop.txi");
        QDir().mkpath(Work("Msgs"));

        m_dialogs.answers = {shop};
        Button("Save Image File")->click();
        QCOMPARE(QFileInfo(shop).size(), qint64(4128776));
        QVERIFY(!m_panel->IsChanged());
        QCOMPARE(App().m_imageFilePath, Work("Msgs/"));
        const CFileDialogRequest& saveRequest = m_dialogs.shown[0].request;
        QVERIFY(m_dialogs.shown[0].save);
        QCOMPARE(saveRequest.folder, QString());
        QCOMPARE(saveRequest.initialName, QString("Unknown"));
        QCOMPARE(saveRequest.filter, QString("TX Image files (*.txi)"));
        QCOMPARE(saveRequest.defaultExt, QString("txi"));

        // Lose the messages (answering No to saving them), then load the file.
        Map().ClearSlot(0);
        Map().ClearSlot(3);
        m_panel->RefreshList();
        m_panel->SetChanged(true);
        m_report.answers = {false};
        m_dialogs.answers = {shop};
        Button("Load Image File")->click();
        QCOMPARE(Rows(), rows);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(Map().GetTable()), 192), table);
        QVERIFY(!m_panel->IsChanged());
        const CFileDialogRequest& loadRequest = m_dialogs.shown[1].request;
        QVERIFY(!m_dialogs.shown[1].save);
        QCOMPARE(loadRequest.folder, Work("Msgs/"));
        QCOMPARE(loadRequest.initialName, QString("Unknown"));
        QVERIFY(m_report.messages.empty());
    }

    void loadAsksToSaveChangesFirst()
    {
        const QString other = Work("other.txi");
        PutAudio(1, 4000, "Other", 1);
        QVERIFY(Map().WriteImageFile(other.toLocal8Bit().constData(), m_report));
        Map().ClearSlot(1);
        PutAudio(0, 8000, "Unsaved", 1);
        m_panel->RefreshList();
        m_panel->SetChanged(true);
        const std::string question =
            "The image data has changed.\nWould you like to save it before loading another image file?";

        // Yes, then the save is cancelled: nothing is loaded, nothing lost.
        m_report.answers = {true};
        Button("Load Image File")->click();
        QCOMPARE(m_report.questions, std::vector<std::string>{question});
        QCOMPARE(int(m_dialogs.shown.size()), 1);
        QVERIFY(m_dialogs.shown[0].save);
        QCOMPARE(Map().GetLength(0), 8000u);
        QVERIFY(m_panel->IsChanged());

        // Yes, saved, then loaded.
        m_report.Clear();
        m_dialogs = CAnsweredFileDialogs();
        m_report.answers = {true};
        m_dialogs.answers = {Work("kept.txi"), other};
        Button("Load Image File")->click();
        QCOMPARE(QFileInfo(Work("kept.txi")).size(), qint64(4128776));
        QCOMPARE(Map().GetLength(0), 0u);
        QCOMPARE(Map().GetLength(1), 4000u);
        QVERIFY(!m_panel->IsChanged());

        // Unchanged: no question at all.
        m_report.Clear();
        m_dialogs.answers = {other};
        Button("Load Image File")->click();
        QVERIFY(m_report.questions.empty());
    }

    void failedLoadKeepsImageAndChangedMark()
    {
        PutAudio(0, 8000, "Keep me", 4);
        m_panel->RefreshList();
        m_panel->SetChanged(true);
        const QStringList rows = Rows();
        const QString bad = Work("bad/short.txi");
        QDir().mkpath(Work("bad"));
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4128775, '\0'));
        }
        m_report.answers = {false};
        m_dialogs.answers = {bad};
        Button("Load Image File")->click();
        QCOMPARE(m_report.messages, std::vector<std::string>{"Could not read file. Length is incorrect."});
        QCOMPARE(Rows(), rows);
        QVERIFY(m_panel->IsChanged());
        QCOMPARE(App().m_imageFilePath, Work("bad/"));
    }

    void failedSaveKeepsChangedMark()
    {
        PutAudio(0, 800, "Unsaved", 1);
        m_panel->SetChanged(true);
        // Cancelled.
        QVERIFY(!m_panel->OnSaveImage());
        QVERIFY(m_panel->IsChanged());
        // Cannot be written: the folder does not exist.
        m_dialogs.answers = {Work("missing/folder/x.txi")};
        QVERIFY(!m_panel->OnSaveImage());
        QCOMPARE(int(m_report.messages.size()), 1);
        QVERIFY(m_panel->IsChanged());
        QCOMPARE(App().m_imageFilePath, QString());
    }

    // The title names the file last loaded or saved, and Qt's modified
    // mark follows the changed mark through every step.
    void titleNamesTheFileAndItsChangedMark()
    {
        const QString shop = Work("title/shop.txi"), other = Work("title/other.txi");
        QDir().mkpath(Work("title"));
        PutAudio(0, 800, "Welcome", 1);
        PutAudio(1, 800, "Lobby", 1);
        QVERIFY(Map().WriteImageFile(shop.toLocal8Bit().constData(), m_report));
        const QString dash = QString::fromUtf8(" \u2014 ORMID");
        struct Step {
            const char* what;
            std::function<void()> run;
            QString title;
            bool modified;
        };
        const Step steps[] = {
            {"opened", [] {}, "ORMID", false},
            {"loaded",
             [&] {
                 m_dialogs.answers = {shop};
                 Button("Load Image File")->click();
             },
             "shop.txi[*]" + dash, false},
            {"deleted",
             [&] {
                 m_panel->SelectRow(0);
                 Button("Delete")->click();
             },
             "shop.txi[*]" + dash, true},
            {"save failed",
             [&] {
                 m_dialogs.answers = {Work("missing/x.txi")};
                 Trigger("menu:&File/Save As...");
             },
             "shop.txi[*]" + dash, true},
            {"saved",
             [&] {
                 m_dialogs.answers = {other};
                 Trigger("menu:&File/Save As...");
             },
             "other.txi[*]" + dash, false},
            {"deleted again", [&] { Button("Delete")->click(); }, "other.txi[*]" + dash, true},
            // Save goes back to the image's own file without a dialog.
            {"saved to its file",
             [&] {
                 const size_t shown = m_dialogs.shown.size();
                 Trigger("key:Ctrl+S");
                 QCOMPARE(m_dialogs.shown.size(), shown);
             },
             "other.txi[*]" + dash, false},
            {"deleted once more", [&] { Button("Delete")->click(); }, "other.txi[*]" + dash, true},
            {"load failed",
             [&] {
                 m_report.answers = {false};
                 m_dialogs.answers = {Work("title")};
                 Button("Load Image File")->click();
             },
             "other.txi[*]" + dash, true},
            {"loaded again",
             [&] {
                 m_report.answers = {false};
                 m_dialogs.answers = {shop};
                 Button("Load Image File")->click();
             },
             "shop.txi[*]" + dash, false},
        };
        for (const Step& step : steps) {
            step.run();
            QVERIFY2(m_panel->windowTitle() == step.title, step.what);
            QVERIFY2(m_panel->isWindowModified() == step.modified, step.what);
            QVERIFY2(m_panel->IsChanged() == step.modified, step.what);
        }
        // As the title bar shows it.
        Button("Delete")->click();
        QCOMPARE(m_panel->windowHandle()->title(), "shop.txi*" + dash);
    }

    void recentImagesAreOfferedAndPruned()
    {
        const QString a = Work("recent/a.txi"), b = Work("recent/b & c.txi");
        QDir().mkpath(Work("recent"));
        PutAudio(0, 800, "A", 1);
        QVERIFY(Map().WriteImageFile(a.toLocal8Bit().constData(), m_report));
        m_dialogs.answers = {a, b};
        Button("Load Image File")->click();
        Trigger("menu:&File/Save As...");  // b, after a: first in the list
        auto entries = [&] {
            QStringList shown;
            for (QAction* action : m_panel->RecentMenu()->actions())
                shown << action->text();
            return shown;
        };
        QCOMPARE(entries(), (QStringList{"&1 " + QString(b).replace("&", "&&"), "&2 " + a}));
        QCOMPARE(CSettingsStore(ProgramSettings::kSection).value("Recent files").toStringList(), (QStringList{b, a}));

        // Chosen: loaded through the load command (the image is unchanged:
        // no question), and first again.
        m_panel->RecentMenu()->actions()[1]->trigger();
        QVERIFY(m_report.questions.empty() && m_report.messages.empty());
        QCOMPARE(m_panel->ImageFile(), a);
        QCOMPARE(CRecentFiles().Files(), (QStringList{a, b}));

        // Gone from the disk: taken off the list when chosen, nothing loaded.
        QVERIFY(QFile::remove(b));
        m_panel->RecentMenu()->actions()[1]->trigger();
        QCOMPARE(int(m_report.messages.size()), 1);
        QVERIFY(QString::fromStdString(m_report.messages[0]).contains("no longer exists"));
        QCOMPARE(m_panel->ImageFile(), a);
        QCOMPARE(entries(), QStringList{"&1 " + a});

        // Eight at most, newest first, no doubles.
        QStringList files;
        for (int i = 0; i < 10; ++i)
            files = CRecentFiles::Added(files, QString("/f%1.txi").arg(i % 9));
        QCOMPARE(files,
                 (QStringList{"/f0.txi", "/f8.txi", "/f7.txi", "/f6.txi", "/f5.txi", "/f4.txi", "/f3.txi", "/f2.txi"}));
    }

    void closingStaysOpenUntilTheSaveHappens()
    {
        PutAudio(0, 800, "Unsaved", 1);
        m_panel->SetChanged(true);

        m_report.answers = {true};  // Yes, then the file dialog is cancelled
        Button("Close")->click();
        QVERIFY(m_panel->isVisible());
        QVERIFY(!m_sonvox.Calls().contains("Audio_Release"));

        m_report.answers = {true};  // Yes, then the save fails
        m_dialogs.answers = {Work("missing/folder/x.txi")};
        Button("Close")->click();
        QVERIFY(m_panel->isVisible());
        QVERIFY(m_panel->IsChanged());

        m_report.answers = {true};  // Yes and saved: closes
        m_dialogs.answers = {Work("closing.txi")};
        Button("Close")->click();
        QVERIFY(!m_panel->isVisible());
        QCOMPARE(QFileInfo(Work("closing.txi")).size(), qint64(4128776));
        QCOMPARE(m_sonvox.Calls().count("Audio_Release"), 1);
    }

    void closingWithoutSavingWhenAnsweredNo()
    {
        PutAudio(0, 800, "Dropped", 1);
        m_panel->SetChanged(true);
        m_report.answers = {false};
        Button("Close")->click();
        QVERIFY(!m_panel->isVisible());
        QVERIFY(m_dialogs.shown.empty());
    }

    void importNamesTheSlotAfterTheFile()
    {
        const QString wav = Work("wavs/Evacuation-North.wav");
        WriteMuLawWav(wav, 4000, 3);
        m_panel->SelectRow(3);
        m_dialogs.answers = {wav};
        Button("Import WAV")->click();
        QVERIFY(m_report.messages.empty());
        QCOMPARE(QString(Map().GetName(3)), QString("Evacuation-Nort"));
        QCOMPARE(Map().GetLength(3), 4000u);
        QCOMPARE(Map().GetPlayCount(3), uint8_t(1));
        QCOMPARE(Rows()[3], QString("  4\tEvacuation-Nort\t0.50 sec\t1"));
        QCOMPARE(m_panel->SelectedSlot(), 3);
        QVERIFY(m_panel->IsChanged());
        QCOMPARE(App().m_importFilePath, Work("wavs/"));
        const CFileDialogRequest& request = m_dialogs.shown[0].request;
        QVERIFY(!m_dialogs.shown[0].save);
        QCOMPARE(request.folder, QString());
        QCOMPARE(request.initialName, QString());
        QCOMPARE(request.filter, QString("Wave files (*.wav);;Audio files (*.wav *.flac *.ogg *.opus *.mp3)"));
        QCOMPARE(request.defaultExt, QString("wav"));

        // A short name keeps its extension; the next dialog opens in the folder.
        WriteMuLawWav(Work("wavs/a.wav"), 80, 1);
        m_panel->SelectRow(5);
        m_dialogs.answers = {Work("wavs/a.wav")};
        Button("Import WAV")->click();
        QCOMPARE(QString(Map().GetName(5)), QString("a.wav"));
        QCOMPARE(m_dialogs.shown[1].request.folder, Work("wavs/"));
    }

    void refusedImportChangesNothing()
    {
        const QString bad = Work("wavs2/not-a-wave.wav");
        QDir().mkpath(Work("wavs2"));
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a wave file at all");
        }
        m_dialogs.answers = {bad};
        Button("Import WAV")->click();
        QCOMPARE(int(m_report.messages.size()), 1);
        QVERIFY(QString::fromStdString(m_report.messages[0]).startsWith("Trouble with " + bad));
        QCOMPARE(Map().GetLength(0), 0u);
        QCOMPARE(QString(Map().GetName(0)), QString());
        QVERIFY(!m_panel->IsChanged());
        QCOMPARE(App().m_importFilePath, QString());
    }

    void exportWritesTheSlotAndRemembersTheFolder()
    {
        PutAudio(1, 8000, "Out", 1);
        m_panel->RefreshList();
        m_panel->SelectRow(1);
        QDir().mkpath(Work("out"));
        m_dialogs.answers = {Work("out/Export.wav")};
        Button("Export WAV")->click();
        QCOMPARE(QFileInfo(Work("out/Export.wav")).size(), qint64(8044));
        QCOMPARE(App().m_exportFilePath, Work("out/"));
        QVERIFY(!m_panel->IsChanged());
        const CFileDialogRequest& request = m_dialogs.shown[0].request;
        QVERIFY(m_dialogs.shown[0].save);
        QCOMPARE(request.initialName, QString("Export"));
        QCOMPARE(request.defaultExt, QString("wav"));

        // The file round-trips into another slot byte for byte.
        m_panel->SelectRow(6);
        m_dialogs.answers = {Work("out/Export.wav")};
        Button("Import WAV")->click();
        QCOMPARE(Map().GetLength(6), 8000u);
        QCOMPARE(Map().GetChecksum(6), Map().GetChecksum(1));
    }

    void previewPlaysStopsAndEnds()
    {
        PutAudio(0, 800, "Short", 1);   // 100 ms
        PutAudio(1, 80000, "Long", 1);  // 10 s
        m_panel->RefreshList();
        m_sonvox.calls.clear();

        // An empty slot loads, has no duration and plays nothing.
        m_panel->SelectRow(4);
        m_panel->PreviewButton()->click();
        QCOMPARE(m_sonvox.Calls(), (QStringList{"PreviewCancel", "LoadPlay", "GetDuration"}));
        QCOMPARE(Plain(m_panel->PreviewButton()->text()), QString("Preview"));
        QCOMPARE(int(App().m_audioState), int(AudioIdle));

        // A message plays through the scratch file and stops after its length.
        m_sonvox.calls.clear();
        m_panel->SelectRow(0);
        m_panel->PreviewButton()->click();
        QCOMPARE(QString::fromStdString(m_sonvox.loadedPath), App().m_tempWavPath);
        QCOMPARE(App().m_tempWavPath, Work("TXTemp.wav"));
        QCOMPARE(m_sonvox.Calls(), (QStringList{"PreviewCancel", "LoadPlay", "GetDuration", "Preview"}));
        QCOMPARE(Plain(m_panel->PreviewButton()->text()), QString("Stop"));
        QCOMPARE(int(App().m_audioState), int(AudioPlaying));
        QTRY_COMPARE_WITH_TIMEOUT(Plain(m_panel->PreviewButton()->text()), QString("Preview"), 10000);
        QCOMPARE(int(App().m_audioState), int(AudioIdle));
        QCOMPARE(m_sonvox.Calls().last(), QString("PreviewCancel"));

        // Pressed again while playing: stops at once.
        m_panel->SelectRow(1);
        m_panel->PreviewButton()->click();
        QCOMPARE(Plain(m_panel->PreviewButton()->text()), QString("Stop"));
        m_sonvox.calls.clear();
        m_panel->PreviewButton()->click();
        QCOMPARE(m_sonvox.Calls(), QStringList{"PreviewCancel"});
        QCOMPARE(Plain(m_panel->PreviewButton()->text()), QString("Preview"));

        // Other commands stop a running preview first.
        m_panel->PreviewButton()->click();
        Button("Delete")->click();
        QCOMPARE(Plain(m_panel->PreviewButton()->text()), QString("Preview"));
        QCOMPARE(int(App().m_audioState), int(AudioIdle));

        // Nothing to load.
        m_sonvox.loadResult = 0;
        m_panel->SelectRow(0);
        m_panel->PreviewButton()->click();
        QCOMPARE(m_report.messages, std::vector<std::string>{"File load error - cannot play."});
    }

    void previewWithoutSonvox()
    {
        m_panel.reset();
        m_sonvox = CSilentSonvox();
        m_sonvox.initResult = 0;
        m_report.Clear();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, &m_report, &m_sonvox));
        m_panel->OnInitDialog();
        QCOMPARE(App().m_audioAvailable, 0);
        PutAudio(0, 800, "Short", 1);
        Button("Preview")->click();
        Button("Preview")->click();
        QCOMPARE(m_report.messages, (std::vector<std::string>{"Sonvox not available - cannot play",
                                                              "Sonvox not available - cannot play"}));
        QCOMPARE(m_sonvox.Calls(), QStringList{"Audio_Init"});
    }

    void openingAndClosingSteps()
    {
        m_panel.reset();
        App().m_imageFilePath = "/from/settings/";
        App().m_unitReadDone = 1;
        m_sonvox = CSilentSonvox();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, &m_report, &m_sonvox));
        m_panel->OnInitDialog();
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
        QCOMPARE(App().m_imageFilePath, QString());
        QCOMPARE(App().m_unitReadDone, 0);
        QCOMPARE(App().m_audioAvailable, 1);
        QCOMPARE(QString::fromStdString(m_sonvox.initLog), Work("Audio.log"));
        QCOMPARE(m_panel->windowTitle(), QString("ORMID"));
        QCOMPARE(m_panel->focusWidget(), Button("Read / Write Unit"));
        // Enter presses the focused button; Close is the default whenever no
        // button has the focus.
        QApplication::setActiveWindow(m_panel.get());
        QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
        QVERIFY(Button("Read / Write Unit")->isDefault());
        m_panel->List()->setFocus();
        QVERIFY(Button("Close")->isDefault());

        // Unchanged: closing asks nothing and releases the library once.
        m_sonvox.calls.clear();
        Button("Close")->click();
        QVERIFY(m_report.questions.empty());
        QCOMPARE(m_sonvox.Calls(), QStringList{"Audio_Release"});
        m_panel.reset();
        QCOMPARE(m_sonvox.Calls(), QStringList{"Audio_Release"});
    }

    void layoutFollowsTheDialogFont()
    {
        // The buttons of a column share their x and width; the right-hand
        // column is wider; everything lies inside the fixed-size window.
        QPushButton* preview = Button("Preview");
        QPushButton* exportWav = Button("Export WAV");
        QPushButton* load = Button("Load Image File");
        QPushButton* close = Button("Close");
        QCOMPARE(preview->x(), exportWav->x());
        QCOMPARE(preview->width(), exportWav->width());
        QCOMPARE(load->x(), close->x());
        QVERIFY(load->width() > preview->width());
        QVERIFY(load->height() > preview->height());
        QVERIFY(m_panel->List()->geometry().right() < preview->x());
        QCOMPARE(m_panel->minimumSize(), m_panel->maximumSize());
        QVERIFY(close->geometry().bottom() < m_panel->height());
        QVERIFY(close->geometry().right() < m_panel->width());
        QVERIFY(m_panel->List()->geometry().top() >= m_panel->MenuBar()->geometry().bottom());
    }

    void readWriteUnitRunsItsSteps()
    {
        PutAudio(0, 800, "Before", 1);
        m_panel->RefreshList();
        m_panel->SetChanged(true);
        m_panel->SelectRow(0);
        Button("Preview")->click();
        QByteArray nameInImage;
        App().m_panelCommands.unitCommunications = [&](const CPanelContext& panel) {
            QCOMPARE(int(panel.state.m_audioState), int(AudioIdle));
            nameInImage = QByteArray(reinterpret_cast<const char*>(Map().GetImageBuffer() + 64));
            Map().SetName(0, "After");  // as if read from a unit
        };
        m_report.answers = {true};  // save, then cancel the dialog: the command goes on
        Button("Read / Write Unit")->click();
        QCOMPARE(m_report.questions,
                 std::vector<std::string>{"The image data has been changed.\nWould you like to save it to "
                                          "a file before\nreading or writing the unit?"});
        QCOMPARE(nameInImage, QByteArray("Before"));
        QCOMPARE(Rows()[0], QString("  1\tAfter\t0.10 sec\t1"));
        QVERIFY(m_panel->IsChanged());
    }

    void foldersPersistAcrossARestart()
    {
        // First start: nothing stored yet.
        App().ReadSettings();
        QCOMPARE(App().m_importFilePath, QString());
        QCOMPARE(App().m_exportFilePath, QString());
        QCOMPARE(App().m_baudRateSel, 0);
        QCOMPARE(App().m_commPortSel, 0);

        // Folders come from the commands, are written at exit and read at
        // the next start.
        m_dialogs.answers = {Work("save here/Shop.txi")};
        QDir().mkpath(Work("save here"));
        QVERIFY(m_panel->OnSaveImage());
        App().m_importFilePath = Work("imports/");
        App().m_exportFilePath = Work("exports/");
        App().m_baudRateSel = 1;
        App().m_commPortSel = 3;
        App().WriteSettings();
        QVERIFY(QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Tarlex/ORMID.conf"));

        App().m_imageFilePath.clear();
        App().m_importFilePath.clear();
        App().m_exportFilePath.clear();
        App().m_baudRateSel = App().m_commPortSel = 0;
        App().ReadSettings();
        QCOMPARE(App().m_imageFilePath, Work("save here/"));
        QCOMPARE(App().m_importFilePath, Work("imports/"));
        QCOMPARE(App().m_exportFilePath, Work("exports/"));
        QCOMPARE(App().m_baudRateSel, 1);
        QCOMPARE(App().m_commPortSel, 3);
    }

    void helpReportsMissingGuideAndViewer()
    {
        // The test program's folder holds no guide.
        QVERIFY(!QFile::exists(App().ProgramFolder() + "ORMID Prog Guide.pdf"));
        MenuItem("&Help/&Help")->trigger();
        QCOMPARE(m_report.messages, std::vector<std::string>{"Help file ORMID Prog Guide.pdf not found!"});
        QVERIFY(m_desktop.opened.isEmpty());

        QDir().mkpath(Work("guide"));
        QVERIFY(QFile::copy(ORMID_BIN_DIR "/ORMID Prog Guide.pdf", Work("guide/ORMID Prog Guide.pdf")));
        CRecordedReport report;
        CTestDesktop desktop;
        desktop.hasViewer = false;
        {
            cPdfHelp help(desktop, report);
            help.SetFiles("ORMID Prog Guide.pdf", Work("guide/"));
            help.Open();
        }
        QCOMPARE(int(report.messages.size()), 1);
        const QString noViewer = QString::fromStdString(report.messages[0]);
        QVERIFY(noViewer.startsWith("Adobe Acrobat Reader not found!\n\n"));
        // The desktop's way to a viewer, not another platform's.
        for (const char* word : {"xdg-open", "evince", "okular"})
            QVERIFY2(noViewer.contains(word), word);
        QVERIFY(!noViewer.contains("adobe.com"));
        QVERIFY(desktop.opened.isEmpty());

        desktop.hasViewer = true;
        report.messages.clear();
        cPdfHelp help(desktop, report);
        help.SetFiles("ORMID Prog Guide.pdf", Work("guide/"));
        help.Open();
        QVERIFY(report.messages.empty());
        QCOMPARE(desktop.opened, QStringList{Work("guide/ORMID Prog Guide.pdf")});
    }

    void guidePdfIsBuiltBesideTheProgram()
    {
        QFile guide(ORMID_BIN_DIR "/ORMID Prog Guide.pdf");
        QVERIFY(guide.open(QIODevice::ReadOnly));
        QVERIFY(guide.read(5) == "%PDF-");
        QVERIFY(guide.size() > 20000);
        const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
        if (pdftotext.isEmpty())
            QSKIP("pdftotext is not installed");
        QProcess text;
        text.start(pdftotext, {guide.fileName(), "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString body = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        // Every button of the panel is explained.
        for (QPushButton* b : m_panel->findChildren<QPushButton*>())
            QVERIFY2(body.contains(Plain(b->text())), qPrintable(b->text()));
        for (const char* word : {"ormid-cli", "ormid-unitsim", "Unit Communications"})
            QVERIFY2(body.contains(word), word);
    }

    void messageBoxesCarryTheProgramName()
    {
        CQtOperatorReport report(m_panel.get());
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        auto inspect = [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
        };
        OnNextModal(inspect);
        report.ShowMessage("Could not open file for reading.");
        QCOMPARE(title, QString("ORMID"));
        QCOMPARE(text, QString("Could not open file for reading."));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        OnNextModal(inspect);
        QVERIFY(report.AskYesNo("Save?"));
        QCOMPARE(title, QString("ORMID"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    }

    void desktopFileDialogsAreSetUpAsAsked()
    {
        QDir().mkpath(Work("dialogs"));
        WriteMuLawWav(Work("dialogs/Chime.wav"), 8, 0);
        CQtFileDialogs dialogs;
        QString title, suffix, directory;
        QStringList filters;
        QFileDialog::FileMode mode = QFileDialog::Directory;
        QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen;
        auto inspect = [&](QWidget* w, const QString& choose) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            suffix = dialog->defaultSuffix();
            directory = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            mode = dialog->fileMode();
            accept = dialog->acceptMode();
            if (choose.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(choose);
                static_cast<QDialog*>(dialog)->accept();
            }
        };

        QTimer::singleShot(0, [&] { inspect(QApplication::activeModalWidget(), QString()); });
        const QString cancelled = dialogs.GetOpenPath(
            m_panel.get(), {"Import g.711 file", Work("dialogs/"), QString(), "Wave files (*.wav)", "wav"});
        QCOMPARE(cancelled, QString());
        QCOMPARE(title, QString("Import g.711 file"));
        QCOMPARE(suffix, QString("wav"));
        QCOMPARE(directory, Work("dialogs"));
        QCOMPARE(filters, QStringList{"Wave files (*.wav)"});
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(accept, QFileDialog::AcceptOpen);

        QTimer::singleShot(0, [&] { inspect(QApplication::activeModalWidget(), Work("dialogs/Chime.wav")); });
        QCOMPARE(dialogs.GetOpenPath(m_panel.get(),
                                     {"Import g.711 file", Work("dialogs/"), QString(), "Wave files (*.wav)", "wav"}),
                 Work("dialogs/Chime.wav"));

        // Saving: the default extension is added to a bare name.
        QTimer::singleShot(0, [&] { inspect(QApplication::activeModalWidget(), Work("dialogs/Shop")); });
        QCOMPARE(dialogs.GetSavePath(m_panel.get(), {"Save TX Image file as", Work("dialogs/"), "Unknown",
                                                     "TX Image files (*.txi)", "txi"}),
                 Work("dialogs/Shop.txi"));
        QCOMPARE(accept, QFileDialog::AcceptSave);
        QCOMPARE(title, QString("Save TX Image file as"));
    }

    // Named pipes and device nodes are not files an operator can open or
    // save: the dialogs do not list them.
    void desktopFileDialogsListOnlyFilesAndFolders()
    {
        QDir().mkpath(Work("listing/sub"));
        WriteMuLawWav(Work("listing/Chime.wav"), 8, 0);
        QVERIFY(::mkfifo(QFile::encodeName(Work("listing/pipe.wav")).constData(), 0600) == 0);
        QVERIFY(QFile::link("/dev/null", Work("listing/null.wav")));
        CQtFileDialogs dialogs;
        for (bool save : {false, true}) {
            QStringList names;
            QDir::Filters filter;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                filter = dialog->filter();
                auto* model = dialog->findChild<QFileSystemModel*>();
                QVERIFY(model);
                const QModelIndex folder = model->index(Work("listing"));
                // The model fills in the background; the folder and the file are in when it is done.
                QTRY_VERIFY(model->rowCount(folder) >= 2);
                QTest::qWait(200);
                for (int row = 0; row < model->rowCount(folder); ++row)
                    names << model->index(row, 0, folder).data().toString();
                dialog->reject();
            });
            const CFileDialogRequest request{"Import g.711 file", Work("listing/"), QString(), "Wave files (*.wav)",
                                             "wav"};
            if (save)
                dialogs.GetSavePath(m_panel.get(), request);
            else
                dialogs.GetOpenPath(m_panel.get(), request);
            names.sort();
            QCOMPARE(names, (QStringList{"Chime.wav", "sub"}));
            QVERIFY(!(filter & QDir::System));
        }
    }

    void aboutBoxShowsTheVersion()
    {
        QStringList labels;
        QString okText;
        OnNextModal([&](QWidget* w) {
            QVERIFY(w);
            for (QLabel* l : w->findChildren<QLabel*>())
                labels << l->text();
            for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
                okText += b->text();
        });
        m_panel->OnAbout();
        QVERIFY(labels.contains("ORMID Version 3.4"));
        QCOMPARE(okText, QString("&OK"));
    }

    // The choice is offered with the current one selected, remembered by
    // name, handed to the library (started anew); a remembered device that
    // is gone is said once at the next start and stays offered.
    void soundDevicesAreChosenRememberedAndHandedOn()
    {
        std::vector<std::string> inputs{"Built-in Mic", "USB Headset"}, outputs{"Speakers", "USB Headset"};
        m_panel.reset();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(
            App(),
            QuickServices(&m_dialogs, &m_report, &m_sonvox, [&](bool input) { return input ? inputs : outputs; }));
        m_panel->OnInitDialog();
        m_panel->show();
        QStringList offered;
        auto choose = [&](int input, int output) {
            OnNextModal([&offered, input, output](QWidget* modal) {
                QCOMPARE(modal->windowTitle(), QString("Sound Devices"));
                for (QComboBox* box : modal->findChildren<QComboBox*>()) {
                    QStringList items;
                    for (int i = 0; i < box->count(); ++i)
                        items << box->itemText(i);
                    offered << items.join(", ") + " @" + QString::number(box->currentIndex());
                }
                const QList<QComboBox*> boxes = modal->findChildren<QComboBox*>();
                if (input >= 0)
                    boxes[0]->setCurrentIndex(input);
                if (output >= 0)
                    boxes[1]->setCurrentIndex(output);
            });
            m_sonvox.calls.clear();
            Trigger("menu:&File/Sound Devices...");
        };
        choose(2, 2);
        QCOMPARE(offered, (QStringList{"System default, Built-in Mic, USB Headset @0",
                                       "System default, Speakers, USB Headset @0"}));
        QSettings settings;
        settings.beginGroup("Settings");
        QCOMPARE(settings.value("Sound input device").toString(), QString("USB Headset"));
        QCOMPARE(settings.value("Sound output device").toString(), QString("USB Headset"));
        QCOMPARE(qgetenv("SONVOX_INPUT_DEVICE"), QByteArray("USB Headset"));
        QCOMPARE(m_sonvox.Calls(), (QStringList{"Audio_Release", "Audio_Init"}));

        // The headset is unplugged; the program starts again.
        inputs.pop_back();
        outputs.pop_back();
        m_panel.reset();
        m_report.Clear();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(
            App(),
            QuickServices(&m_dialogs, &m_report, &m_sonvox, [&](bool input) { return input ? inputs : outputs; }));
        m_panel->OnInitDialog();
        QTest::qWait(20);
        QCOMPARE(m_report.messages,
                 (std::vector<std::string>{
                     "The sound input device \"USB Headset\" is not connected: the system default is used.\n"
                     "The sound output device \"USB Headset\" is not connected: the system default is used."}));
        // Still offered and chosen; the speakers chosen instead.
        offered.clear();
        choose(-1, 1);
        QCOMPARE(offered, (QStringList{"System default, Built-in Mic, USB Headset (not connected) @2",
                                       "System default, Speakers, USB Headset (not connected) @2"}));
        QCOMPARE(qgetenv("SONVOX_INPUT_DEVICE"), QByteArray("USB Headset"));
        QCOMPARE(qgetenv("SONVOX_OUTPUT_DEVICE"), QByteArray("Speakers"));
        QCOMPARE(m_report.messages.size(), size_t(1));
        // Nothing changed: the library is left alone.
        choose(-1, -1);
        QCOMPARE(m_sonvox.Calls(), QStringList());
        settings.remove("");
        qunsetenv("SONVOX_INPUT_DEVICE");
        qunsetenv("SONVOX_OUTPUT_DEVICE");
    }

    void menuBarHoldsEveryItem()
    {
        QStringList items;
        for (QAction* top : m_panel->MenuBar()->actions()) {
            QStringList entries;
            for (QAction* a : top->menu()->actions())
                entries << (a->isSeparator() ? QString("-") : a->text());
            items << top->text() + ": " + entries.join(", ");
        }
        QCOMPARE(items,
                 (QStringList{"&File: &Open, &Save, Save &As..., &Recent Images, -, &Import, &Export, -, Sound "
                              "&Devices..., -, &Print Listing, "
                              "Print &Labels, -, E&xit",
                              "&Edit: &Undo, Red&o, -, &Preview, -, &Record, Re&name, Repe&titions, -, &Delete, -, "
                              "Match &Loudness...",
                              "&Transfer: &Begin, &Program Units...", "&Help: &Help, &Codec Information, -, &About"}));

        // Every button and menu title has a mnemonic of its own.
        QStringList keys;
        for (QPushButton* b : m_panel->findChildren<QPushButton*>())
            keys << QKeySequence::mnemonic(b->text()).toString();
        for (QAction* top : m_panel->MenuBar()->actions())
            keys << QKeySequence::mnemonic(top->text()).toString();
        QVERIFY2(!keys.contains(QString()) && keys.removeDuplicates() == 0, qPrintable(keys.join(' ')));
        // And every item within its menu.
        for (QAction* top : m_panel->MenuBar()->actions()) {
            QStringList inMenu;
            for (QAction* a : top->menu()->actions())
                if (!a->isSeparator())
                    inMenu << QKeySequence::mnemonic(a->text()).toString();
            QVERIFY2(!inMenu.contains(QString()) && inMenu.removeDuplicates() == 0, qPrintable(top->text()));
        }
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<PanelTest>(argc, argv);
}

#include "PanelTest.moc"
