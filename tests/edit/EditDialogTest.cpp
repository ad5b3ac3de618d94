// The "Edit Message" dialog on real widgets with a stand-in audio library, and
// the main panel's Edit command around it: what the dialog shows, its keys,
// the play count it hands back, and what OK and Cancel do to the slot.
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "AppTestMain.h"
#include "CEditCommand.h"
#include "FakeAudioLibrary.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "QuickPanel.h"
#include "CTXEditDlg.h"
#include "CWaveformView.h"
#include "DialogKeys.h"
#include "PanelDoubles.h"
#include "TestImages.h"

namespace {

// The dialog's Alt keys when it opens.
const QStringList kEditKeys = {"Alt+A Append Recording",
                               "Alt+C Crop",
                               "Alt+E Cancel",
                               "Alt+F Append File",
                               "Alt+L Play Selection",
                               "Alt+M Make Silence",
                               "Alt+N Message 3 name",
                               "Alt+O OK",
                               "Alt+P Play",
                               "Alt+R Record",
                               "Alt+S Settings",
                               "Alt+U Cut",
                               "Alt+Y Play Count"};

// Runs `act` on the edit dialog as soon as it is shown modally.
void OnEditDialog(std::function<void(CTXEditDlg&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<CTXEditDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(*dialog);
    });
}

// Types text as the keyboard would, one character at a time, any character.
void Type(QWidget* widget, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c == '\t' ? Qt::Key_Tab : 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

}  // namespace

class EditDialogTest : public QObject {
    Q_OBJECT

public:
    explicit EditDialogTest(const QString& work) : m_work(work + '/') { }

private:
    CTXDoruvevAzadApp& App() { return *TheApp(); }
    cMemoryMap& Map() { return App().m_memoryMap; }
    std::string Scratch() const { return (m_work + "TXTemp.wav").toStdString(); }

    // A dialog for slot 2 (filled with 20,000 bytes), not yet shown.
    std::unique_ptr<CTXEditDlg> NewDialog(int playCount = 3)
    {
        auto dialog = std::make_unique<CTXEditDlg>(m_sonvox, m_report, Map(), &m_dialogs);
        dialog->m_label = "Message 3 name";
        dialog->m_name = "Lobby";
        dialog->m_playCount = playCount;
        dialog->m_setup.slot = 2;
        dialog->m_setup.roomLeft = int32_t(Map().GetRoomLeft());
        dialog->m_setup.scratchPath = Scratch();
        dialog->m_setup.workingFolder = m_work.toStdString();
        dialog->m_setup.audioState = &App().m_audioState;
        Map().ExportSlotWav(2, Scratch().c_str(), m_report);
        return dialog;
    }

    std::string ReadScratch() const
    {
        std::ifstream in(Scratch(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // A drag with the left button held, as the mouse sends it.
    static void Drag(QWidget* widget, int fromX, int toX)
    {
        const int y = 5;
        QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(fromX, y));
        for (int x = fromX; x <= toX; x += std::max(1, (toX - fromX) / 4)) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, y), widget->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(widget, &move);
        }
        QMouseEvent move(QEvent::MouseMove, QPointF(toX, y), widget->mapToGlobal(QPointF(toX, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
        QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, QPoint(toX, y));
    }

    QString m_work;
    CFakeAudioLibrary m_sonvox;
    CRecordedReport m_report;
    CAnsweredFileDialogs m_dialogs;

private slots:
    void init()
    {
        FillImage(Map(), {20000, 9000});
        Map().SetName(2, "Lobby");
        Map().SetPlayCount(2, 3);
        App().m_audioState = AudioIdle;
        m_sonvox = CFakeAudioLibrary();
        m_report.Clear();
        m_dialogs = CAnsweredFileDialogs();
    }

    void opensWithTheSlotAndItsRoom()
    {
        auto dialog = NewDialog();
        dialog->show();
        QCOMPARE(dialog->windowTitle(), QString("Edit Message"));
        QCOMPARE(dialog->NameBox()->text(), QString("Lobby"));
        QVERIFY(dialog->NameBox()->hasFocus() || !dialog->isActiveWindow());
        QCOMPARE(dialog->PlayCountBox()->count(), 10);
        QCOMPARE(dialog->PlayCountBox()->currentIndex(), 3);
        QCOMPARE(dialog->PlayCountBox()->itemText(0), QString("Continuous"));
        const double seconds = Map().GetRoomLeft() / 8000.0;
        QCOMPARE(dialog->RemainingLabel()->text(), QString::asprintf("%3.2f", seconds));
        QVERIFY(dialog->findChildren<QLabel*>().size() >= 4);
        bool labelled = false;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            labelled |= Plain(l->text()) == "Message 3 name";
        QVERIFY(labelled);
    }

    // The waveform shows the scratch file as it opens and again once a
    // recording is saved; a screen reader hears the message and its length.
    void theWaveformFollowsTheScratchFile()
    {
        auto dialog = NewDialog();
        dialog->show();
        CWaveformView* waveform = dialog->Waveform();
        QCOMPARE(waveform->accessibleName(), QString("Waveform"));
        QCOMPARE(waveform->accessibleDescription(), QString("Waveform of message 3, 2.5 seconds"));
        QCOMPARE(int(waveform->Peaks().Samples()), 20000);
        m_sonvox.savedBytes = 24000;
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QTRY_COMPARE(waveform->accessibleDescription(), QString("Waveform of message 3, 3.0 seconds"));
        dialog->reject();
    }

    // The waveform's selection as an operator makes it (a drag, Shift+Right)
    // and what Cut (Delete), Crop, Ctrl+Z and Play Selection do to the real
    // scratch file; Cancel leaves the slot as it was.
    void theSelectionIsCutCroppedUndoneAndPlayed()
    {
        auto dialog = NewDialog();
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        CWaveformView* waveform = dialog->Waveform();
        const std::string original = ReadScratch();
        const std::vector<uint8_t> slotBefore(Map().GetImageBuffer() + Map().GetStart(2),
                                              Map().GetImageBuffer() + Map().GetStart(2) + Map().GetLength(2));

        // A drag from the left edge to the middle selects about half.
        Drag(waveform, 1, 1 + (waveform->width() - 2) / 2);
        QVERIFY(waveform->Selection().HasSelection());
        QCOMPARE(int(waveform->Selection().Start()), 0);
        QVERIFY(std::abs(int(waveform->Selection().End()) - 10000) < 200);

        // A click clears it; Shift+Right selects a tenth of a second a press.
        QTest::mouseClick(waveform, Qt::LeftButton, Qt::NoModifier, QPoint(1, 5));
        QVERIFY(!waveform->Selection().HasSelection());
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(waveform, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(waveform->accessibleDescription(),
                 QString("Waveform of message 3, 2.5 seconds, selection 0.0 to 0.5 seconds"));

        QTest::keyClick(waveform, Qt::Key_Delete);
        QCOMPARE(ReadScratch().size(), original.size() - 4000);
        QCOMPARE(waveform->accessibleDescription(), QString("Waveform of message 3, 2.0 seconds"));
        QVERIFY(dialog->Session()->AudioChanged());
        QCOMPARE(dialog->RemainingLabel()->text(),
                 QString::fromStdString(CEditSession::FormatRemaining(int32_t(Map().GetRoomLeft()) + 4000)));

        QTest::keyClick(waveform, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ReadScratch(), original);
        QVERIFY(!dialog->Session()->AudioChanged());
        QCOMPARE(waveform->accessibleDescription(), QString("Waveform of message 3, 2.5 seconds"));

        // Play Selection plays only the selected samples, with the cursor.
        waveform->Select(8000, 12000);
        QTest::mouseClick(dialog->PlaySelectionButton(), Qt::LeftButton);
        QCOMPARE(int(App().m_audioState), int(AudioPlaying));
        QCOMPARE(int(m_sonvox.duration), 500);
        QVERIFY(dialog->Session()->PlayPosition() >= 8000);
        QTRY_VERIFY(waveform->PlayPosition() >= 8000);
        QTest::mouseClick(dialog->PlayButton(), Qt::LeftButton);
        QCOMPARE(int(App().m_audioState), int(AudioIdle));
        QCOMPARE(waveform->PlayPosition(), qint64(-1));

        // Crop keeps the selection only; Cancel keeps the slot whatever the
        // scratch file holds.
        QTest::mouseClick(dialog->CropButton(), Qt::LeftButton);
        QCOMPARE(ReadScratch().size(), size_t(44 + 4000));
        QCOMPARE(ReadScratch().substr(44), original.substr(44 + 8000, 4000));
        dialog->reject();
        QCOMPARE(Map().GetLength(2), 20000u);
        QVERIFY(std::equal(slotBefore.begin(), slotBefore.end(), Map().GetImageBuffer() + Map().GetStart(2)));
    }

    // The image allows play counts up to 255; the list has entries for 0-9.
    void aPlayCountAboveNineSurvivesOk()
    {
        auto dialog = NewDialog(12);
        dialog->show();
        QCOMPARE(dialog->PlayCountBox()->count(), 11);
        QCOMPARE(dialog->PlayCountBox()->currentText(), QString("12"));
        dialog->accept();
        QCOMPARE(dialog->m_playCount, 12);

        auto second = NewDialog(200);
        second->show();
        second->PlayCountBox()->setCurrentIndex(0);
        second->accept();
        QCOMPARE(second->m_playCount, 0);
    }

    void theNameBoxTakesFifteenPrintableCharacters()
    {
        auto dialog = NewDialog();
        dialog->show();
        dialog->NameBox()->clear();
        QTest::keyClicks(dialog->NameBox(), "ABCDEFGHIJKLMNOPQ");
        QCOMPARE(dialog->NameBox()->text(), QString("ABCDEFGHIJKLMNO"));
        dialog->NameBox()->clear();
        Type(dialog->NameBox(), QString::fromUtf8("Caf\xc3\xa9\x01\xe2\x82\xac!"));
        QCOMPARE(dialog->NameBox()->text(), QString::fromUtf8("Caf\xc3\xa9!"));
    }

    void recordingShowsStopMovesTheMeterAndCountsDown()
    {
        auto dialog = NewDialog();
        dialog->show();
        const QString before = dialog->RemainingLabel()->text();
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QCOMPARE(Plain(dialog->RecordButton()->text()), QString("Stop"));
        QVERIFY(dialog->Timer().isActive());
        QCOMPARE(dialog->Timer().interval(), 15);
        QCOMPARE(int(App().m_audioState), int(AudioRecording));
        QTRY_VERIFY(m_sonvox.Count("MeterGetPeak") >= 3);
        QTRY_VERIFY(dialog->RemainingLabel()->text() != before);

        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QCOMPARE(Plain(dialog->RecordButton()->text()), QString("Record"));
        QVERIFY(!dialog->Timer().isActive());
        // The recording is saved on a thread of its own.
        QTRY_VERIFY(!dialog->Session()->Busy());
        QCOMPARE(m_sonvox.Count("Save"), 1);
        QCOMPARE(int(App().m_audioState), int(AudioIdle));

        // Play plays the new recording; its end comes from the tick count.
        QTest::mouseClick(dialog->PlayButton(), Qt::LeftButton);
        QCOMPARE(Plain(dialog->PlayButton()->text()), QString("Stop"));
        QCOMPARE(dialog->Timer().interval(), 50);
        QTRY_COMPARE_WITH_TIMEOUT(Plain(dialog->PlayButton()->text()), QString("Play"), 3000);
        dialog->accept();
        QVERIFY(dialog->m_audioChanged);
    }

    void escapeStopsTheRecordingAndCancels()
    {
        auto dialog = NewDialog();
        dialog->show();
        dialog->activateWindow();
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        // The dialog closes once the recording is saved.
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(m_sonvox.Count("Stop"), 1);
        QCOMPARE(int(App().m_audioState), int(AudioIdle));
        QVERIFY(!dialog->m_audioChanged);
    }

    // Stop saves on a thread of its own: the window keeps answering, the
    // audio buttons are greyed and do nothing, OK waits for the save and
    // then takes the saved audio; a second OK or Cancel meanwhile is ignored.
    void aRecordingIsSavedWhileTheWindowAnswers()
    {
        auto dialog = NewDialog();
        dialog->show();
        std::promise<void> release;
        std::shared_future<void> gate = release.get_future().share();
        m_sonvox.beforeSave = [gate] { gate.wait(); };
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QCOMPARE(Plain(dialog->RecordButton()->text()), QString("Record"));
        QVERIFY(dialog->Session()->Busy());
        QVERIFY(!dialog->Timer().isActive());
        const QList<QPushButton*> audioButtons = {dialog->RecordButton(),          dialog->PlayButton(),
                                                  dialog->MakeSilenceButton(),     dialog->AppendFileButton(),
                                                  dialog->AppendRecordingButton(), dialog->SettingsButton()};
        for (QPushButton* b : audioButtons)
            QVERIFY2(!b->isEnabled(), qPrintable(b->text()));

        // The event loop runs during the save; presses that reach the
        // session anyway are refused.
        bool ticked = false;
        QTimer::singleShot(20, [&] { ticked = true; });
        QTRY_VERIFY(ticked);
        QTest::mouseClick(dialog->PlayButton(), Qt::LeftButton);
        dialog->Session()->OnPlay();
        dialog->Session()->OnRecord();
        dialog->Session()->OnAppendRecording();
        QVERIFY(dialog->Session()->Busy());
        QCOMPARE(Plain(dialog->PlayButton()->text()), QString("Play"));

        dialog->accept();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->ClosePending());
        dialog->reject();
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(dialog->isVisible());

        release.set_value();
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(dialog->m_audioChanged);
        QVERIFY(!dialog->ClosePending());
        QCOMPARE(m_sonvox.Count("Record"), 1);
        QCOMPARE(m_sonvox.Count("Stop"), 1);
        QCOMPARE(m_sonvox.Count("Save"), 1);
        QCOMPARE(m_sonvox.Count("LoadPlay"), 0);
        QCOMPARE(int(App().m_audioState), int(AudioIdle));
        std::ifstream saved(Scratch(), std::ios::binary | std::ios::ate);
        QCOMPARE(qint64(saved.tellg()), qint64(44 + m_sonvox.savedBytes));
    }

    // A recording that stops itself during an Append Recording: once it is
    // saved the buttons come back, but Record stays greyed until the second
    // press of Append Recording, which joins the parts.
    void theButtonsComeBackAfterTheSave()
    {
        auto dialog = NewDialog();
        dialog->m_setup.roomLeft = 800;  // a tenth of a second
        dialog->show();
        QTest::mouseClick(dialog->AppendRecordingButton(), Qt::LeftButton);
        QVERIFY(!dialog->RecordButton()->isEnabled());
        QTRY_VERIFY(m_sonvox.Count("Stop") == 1 && !dialog->Session()->Busy());
        QVERIFY(dialog->PlayButton()->isEnabled());
        QVERIFY(dialog->AppendRecordingButton()->isEnabled());
        QVERIFY(dialog->SettingsButton()->isEnabled());
        QVERIFY(!dialog->RecordButton()->isEnabled());
        QCOMPARE(Plain(dialog->AppendRecordingButton()->text()), QString("Stop Append Recording"));
        QTest::mouseClick(dialog->AppendRecordingButton(), Qt::LeftButton);
        QVERIFY(dialog->RecordButton()->isEnabled());
        QCOMPARE(Plain(dialog->AppendRecordingButton()->text()), QString("Append Recording"));
        dialog->accept();
        QVERIFY(!dialog->isVisible());
        QVERIFY(dialog->m_audioChanged);
    }

    // A dialog destroyed while its recording is saved waits for the save and
    // leaves the library idle.
    void destroyingTheDialogDuringTheSaveWaitsForIt()
    {
        auto dialog = NewDialog();
        dialog->show();
        std::promise<void> release;
        std::shared_future<void> gate = release.get_future().share();
        m_sonvox.beforeSave = [gate] { gate.wait(); };
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QVERIFY(dialog->Session()->Busy());
        std::thread later([&release] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            release.set_value();
        });
        dialog.reset();
        later.join();
        QCOMPARE(m_sonvox.Count("Save"), 1);
        QCOMPARE(int(App().m_audioState), int(AudioIdle));
        std::ifstream saved(Scratch(), std::ios::binary | std::ios::ate);
        QCOMPARE(qint64(saved.tellg()), qint64(44 + m_sonvox.savedBytes));
    }

    // Every button and field has an Alt key of its own, in every state of
    // the buttons, and each reaches what its caption says.
    void keysDoWhatTheCaptionsSay_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        for (const QString& row : kEditKeys)
            QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
    }

    void keysDoWhatTheCaptionsSay()
    {
        QFETCH(QString, key);
        QFETCH(QString, caption);
        auto dialog = NewDialog();
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QCOMPARE(DialogKeyTable(dialog.get()), kEditKeys);
        CModalCloser closer(dialog.get());
        QVERIFY(PressDialogKey(dialog.get(), key, caption));
        const bool closes = caption == "OK" || caption == "Cancel";
        QTRY_COMPARE(dialog->isVisible(), !closes);
        if (caption == "Make Silence" || caption == "Settings")
            QTRY_COMPARE(closer.titles, QStringList{caption});
        else
            QVERIFY(closer.titles.isEmpty());
        if (caption == "Append File")
            QCOMPARE(int(m_dialogs.shown.size()), 1);
        if (closes)
            return;
        // Whatever runs now, the keys stay apart; a running activity stops
        // with the key its Stop shows.
        QVERIFY2(DialogKeyProblems(dialog.get()).isEmpty(), qPrintable(DialogKeyProblems(dialog.get()).join(", ")));
        if (caption == "Record") {
            QCOMPARE(dialog->RecordButton()->text(), QString("S&top"));
            QVERIFY(PressDialogKey(dialog.get(), "Alt+T", "Stop"));
            QTRY_COMPARE(dialog->RecordButton()->text(), QString("&Record"));
        } else if (caption == "Play") {
            QCOMPARE(dialog->PlayButton()->text(), QString("Sto&p"));
            QVERIFY(PressDialogKey(dialog.get(), "Alt+P", "Stop"));
            QTRY_COMPARE(dialog->PlayButton()->text(), QString("&Play"));
        } else if (caption == "Append Recording") {
            QCOMPARE(dialog->AppendRecordingButton()->text(), QString("Stop &Append Recording"));
            QVERIFY(PressDialogKey(dialog.get(), "Alt+A", "Stop Append Recording"));
            QTRY_COMPARE(dialog->AppendRecordingButton()->text(), QString("&Append Recording"));
        }
        QVERIFY(DialogKeyProblems(dialog.get()).isEmpty());
    }

    void enterInTheNameBoxPressesOk()
    {
        auto dialog = NewDialog();
        dialog->show();
        dialog->NameBox()->setFocus();
        QTest::keyClick(dialog->NameBox(), Qt::Key_End);
        QTest::keyClicks(dialog->NameBox(), "X");
        QTest::keyClick(dialog->NameBox(), Qt::Key_Return);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->m_name, QString("LobbyX"));
    }

    // The panel's Edit command: OK takes name, play count and new audio into
    // the slot; Cancel after a recording leaves the slot as it was.
    void theEditCommandTakesOkAndIgnoresCancel()
    {
        CRecordedReport panelReport;
        CFakeAudioLibrary preview;
        CAnsweredFileDialogs files;
        InstallEditCommand(App().m_panelCommands, &m_sonvox);
        CTXDoruvevAzadDlg panel(App(), QuickServices(&files, &panelReport, &preview));
        panel.OnInitDialog();
        panel.show();
        panel.SelectRow(2);

        const std::vector<uint8_t> before(Map().GetImageBuffer() + Map().GetStart(2),
                                          Map().GetImageBuffer() + Map().GetStart(2) + Map().GetLength(2));
        OnEditDialog([](CTXEditDlg& d) {
            QCOMPARE(d.NameBox()->text(), QString("Lobby"));
            QTest::mouseClick(d.RecordButton(), Qt::LeftButton);
            QTest::mouseClick(d.RecordButton(), Qt::LeftButton);
            d.NameBox()->setText("Changed");
            d.reject();
        });
        panel.OnEdit();
        QCOMPARE(QString(Map().GetName(2)), QString("Lobby"));
        QCOMPARE(Map().GetLength(2), 20000u);
        QVERIFY(std::equal(before.begin(), before.end(), Map().GetImageBuffer() + Map().GetStart(2)));
        QVERIFY(!panel.IsChanged());

        m_sonvox.savedBytes = 24000;
        OnEditDialog([](CTXEditDlg& d) {
            QTest::mouseClick(d.RecordButton(), Qt::LeftButton);
            QTest::mouseClick(d.RecordButton(), Qt::LeftButton);
            d.NameBox()->setText(QString::fromUtf8("Caf\xc3\xa9 open"));
            d.PlayCountBox()->setCurrentIndex(0);
            d.accept();
        });
        panel.OnEdit();
        QCOMPARE(Map().GetLength(2), 24000u);
        QCOMPARE(QByteArray(Map().GetName(2)), QByteArray("Caf\xe9 open"));
        QCOMPARE(int(Map().GetPlayCount(2)), 0);
        QVERIFY(panel.IsChanged());
        QCOMPARE(panel.SelectedSlot(), 2);
        QCOMPARE(panel.RowText(2), QString::fromUtf8("  3\tCaf\xc3\xa9 open\t3.00 sec\tC"));
        QVERIFY(panelReport.messages.empty());
        App().m_panelCommands.editMessage = nullptr;
    }

    // A scratch file the import refuses leaves the slot whole.
    void aRefusedScratchFileLeavesTheSlot()
    {
        const std::string scratch = Scratch();
        std::ofstream(scratch, std::ios::binary) << "RIFF....WAVEnot really";
        const uint32_t start = Map().GetStart(2), length = Map().GetLength(2);
        CEditResult result;
        result.nameLatin1 = "New";
        result.playCount = 7;
        result.audioChanged = true;
        QVERIFY(!ApplyEditResult(Map(), 2, result, scratch, m_report));
        QCOMPARE(Map().GetStart(2), start);
        QCOMPARE(Map().GetLength(2), length);
        QCOMPARE(QString(Map().GetName(2)), QString("Lobby"));
        QCOMPARE(int(Map().GetPlayCount(2)), 3);
        QCOMPARE(int(m_report.messages.size()), 1);
        QVERIFY(QString::fromStdString(m_report.messages[0]).startsWith("Trouble with"));

        result.audioChanged = false;
        QVERIFY(ApplyEditResult(Map(), 2, result, scratch, m_report));
        QCOMPARE(QString(Map().GetName(2)), QString("New"));
        QCOMPARE(int(Map().GetPlayCount(2)), 7);
        QCOMPARE(Map().GetLength(2), length);
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<EditDialogTest>(argc, argv);
}

#include "EditDialogTest.moc"
