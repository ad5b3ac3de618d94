// The "Unit Communications" dialog on real widgets, driven through its
// buttons against ormid-unitsim on real pseudo-terminals.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QStatusBar>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QFile>
#include <QSettings>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "CModemLamp.h"
#include "CPortSettingsDlg.h"
#include "CQtPortDefaults.h"
#include "AppTestMain.h"
#include "DialogKeys.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "IOperatorReport.h"
#include "RawLine.h"
#include "SimUnit.h"
#include "WaitFor.h"
#include "CWritePlan.h"
#include "TXCommDlg.h"
#include "TestImages.h"
#include "cMemoryMap.h"

namespace {

class CRecorder : public IOperatorReport {
public:
    QStringList messages;
    QStringList questions;
    bool answer = false;
    void ShowMessage(const std::string& text) override { messages << QString::fromStdString(text); }
    bool AskYesNo(const std::string& text) override
    {
        questions << QString::fromStdString(text);
        return answer;
    }
};

// The dialog's Alt keys, one for every button and field.
const QStringList kDialogKeys = {"Alt+B Baud Rate",
                                 "Alt+C Close",
                                 "Alt+D Disable timeouts",
                                 "Alt+E Recover unit",
                                 "Alt+O Write one sector at a time",
                                 "Alt+P Comm Port",
                                 "Alt+R Read Unit",
                                 "Alt+S Change system default setting",
                                 "Alt+T Sectors",
                                 "Alt+V Verify after writing",
                                 "Alt+W Write Unit"};

// What the operator saw while a transfer ran, gathered by polling the widgets.
struct Watched {
    QStringList statuses;      // each new status text, in order
    QSet<int> timerPeriods;    // periods of the running step timer
    QSet<int> progressRanges;  // maximum of the progress bar
    bool controlsDisabled = false;
    bool closeAlwaysEnabled = true;
    bool finished = false;
};

// Forgets everything, as a new image would.
void WipeImage(cMemoryMap& image)
{
    memset(image.GetImageBuffer(), 0, cMemoryMap::kImageSize);
    image.LoadTableFromImage();
    for (uint8_t s = 0; s < 8; s++)
        image.ClearSlot(s);
}

QByteArray UsedBytes(const cMemoryMap& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.GetImageBuffer()), int(image.GetLastUsedAddress()));
}

QStringList Lines(QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); i++)
        lines << list->item(i)->text();
    return lines;
}

bool TransferControlsEnabled(TXCommDlg& dialog)
{
    return dialog.ReadButton()->isEnabled() && dialog.WriteButton()->isEnabled() && dialog.PortBox()->isEnabled() &&
           dialog.BaudBox()->isEnabled() && dialog.OneSectorBox()->isEnabled() && dialog.NoTimeoutsBox()->isEnabled() &&
           dialog.SectorsList()->isEnabled() && dialog.DefaultsButton()->isEnabled();
}

bool TransferControlsDisabled(TXCommDlg& dialog)
{
    return !dialog.ReadButton()->isEnabled() && !dialog.WriteButton()->isEnabled() &&
           !dialog.RecoverButton()->isEnabled() && !dialog.PortBox()->isEnabled() && !dialog.BaudBox()->isEnabled() &&
           !dialog.OneSectorBox()->isEnabled() && !dialog.NoTimeoutsBox()->isEnabled() &&
           !dialog.SectorsList()->isEnabled() && !dialog.DefaultsButton()->isEnabled();
}

bool IsIdle(TXCommDlg& dialog)
{
    return dialog.Transfer().ProtocolState() == CUnitTransfer::kIdle && !dialog.StepTimer().isActive() &&
           !dialog.IsPortOpen();
}

// Polls the dialog until the transfer has finished or the deadline passes;
// the status texts are taken as they are set.
Watched WatchUntilIdle(TXCommDlg& dialog, int deadlineMs = 60000)
{
    Watched seen;
    QObject context;
    QObject::connect(&dialog, &TXCommDlg::statusChanged, &context, [&seen](const QString& status) {
        if (seen.statuses.isEmpty() || seen.statuses.last() != status)
            seen.statuses << status;
    });
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < deadlineMs) {
        const QString status = dialog.StatusText();
        if (seen.statuses.isEmpty() || seen.statuses.last() != status)
            seen.statuses << status;
        if (dialog.StepTimer().isActive())
            seen.timerPeriods << dialog.StepTimer().interval();
        seen.progressRanges << dialog.ProgressBar()->maximum();
        if (TransferControlsDisabled(dialog))
            seen.controlsDisabled = true;
        if (!dialog.CloseButton()->isEnabled())
            seen.closeAlwaysEnabled = false;
        if (IsIdle(dialog)) {
            seen.finished = true;
            break;
        }
        QTest::qWait(5);
    }
    const QString status = dialog.StatusText();
    if (seen.statuses.isEmpty() || seen.statuses.last() != status)
        seen.statuses << status;
    return seen;
}

// Runs body on the dialog that opens modally next, once it is shown.
void OnNextModal(const std::function<void(QWidget*)>& body)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, body] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        body(modal);
    });
    timer->start(10);
}

}  // namespace

class CommDlgTest : public QObject {
    Q_OBJECT

public:
    explicit CommDlgTest(const QString& work) : m_work(work) { }

private:
    std::unique_ptr<TXCommDlg> NewDialog()
    {
        auto dialog = std::make_unique<TXCommDlg>(m_image, CCommShared{&m_portSel, &m_baudSel, &m_readDone});
        dialog->SetReport(&m_report);
        dialog->show();
        return dialog;
    }

    static bool SelectPort(TXCommDlg& dialog, const QString& port)
    {
        const int index = dialog.PortBox()->findData(port);
        if (index < 0)
            return false;
        dialog.PortBox()->setCurrentIndex(index);
        return true;
    }

    QString WriteImageFile(const std::vector<uint32_t>& lengths)
    {
        cMemoryMap image;
        FillImage(image, lengths);
        CRecorder report;
        const QString path = m_work + "/unit.txi";
        image.WriteImageFile(path.toLocal8Bit().constData(), report);
        return path;
    }

    QString m_work;
    cMemoryMap m_image;
    int32_t m_portSel = 0;
    int32_t m_baudSel = 0;
    int32_t m_readDone = 0;
    CRecorder m_report;

private slots:
    void init()
    {
        m_portSel = 0;
        m_baudSel = 0;
        m_readDone = 0;
        m_report.messages.clear();
        m_report.questions.clear();
        m_report.answer = false;
        WipeImage(m_image);
        // Each test starts from the program's defaults, and with no journal
        // of a write another test left open on a port number now reused.
        QSettings("Tarlex", "ORMID").remove("Settings/Verify after writing");
        QDir(QString::fromStdString(CWriteJournal::Folder())).removeRecursively();
        QSettings("Tarlex", "ORMID").remove("Settings/Comm port path");
    }

    void writeThenReadBackThroughTheButtons_data()
    {
        QTest::addColumn<int>("baudPosition");
        QTest::addColumn<QString>("unitBaud");
        QTest::newRow("115200") << 0 << "115200";
        QTest::newRow("57600") << 1 << "57600";
    }

    void writeThenReadBackThroughTheButtons()
    {
        QFETCH(int, baudPosition);
        QFETCH(QString, unitBaud);
        SimUnit unit;
        QVERIFY(unit.Start({"--fast", "--baud", unitBaud, "--erase-ms", "5"}));
        FillImage(m_image, {6000, 7000, 5000});  // sectors 0 to 2
        const QByteArray written = UsedBytes(m_image);

        auto dialog = NewDialog();
        QCOMPARE(dialog->StatusText(), QString("Ready"));
        QVERIFY(SelectPort(*dialog, unit.Port()));
        dialog->BaudBox()->setCurrentIndex(baudPosition);

        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(TransferControlsDisabled(*dialog));
        QVERIFY(dialog->CloseButton()->isEnabled());
        QCOMPARE(Lines(dialog->SectorsList()).first(), QString("SA0"));
        Watched write = WatchUntilIdle(*dialog);
        QVERIFY2(write.finished, qPrintable(write.statuses.join(" | ")));
        QCOMPARE(dialog->StatusText(), QString("Unit write completed."));
        QVERIFY(write.statuses.contains("Transmitting sector 2"));
        QCOMPARE(write.timerPeriods, QSet<int>{80});
        QVERIFY(write.progressRanges.contains(8192 / 64));
        QVERIFY(write.closeAlwaysEnabled);
        QVERIFY(TransferControlsEnabled(*dialog));
        QCOMPARE(Lines(dialog->SectorsList()), QStringList{"No sectors."});
        QCOMPARE(dialog->ProgressBar()->value(), 0);
        for (uint8_t s = 0; s <= 2; s++)
            QVERIFY(!m_image.IsSectorNeeded(s));
        QCOMPARE(m_readDone, 1);
        QCOMPARE(m_baudSel, baudPosition);
        QCOMPARE(m_portSel, dialog->PortBox()->currentIndex());
        QVERIFY(m_report.messages.isEmpty());

        WipeImage(m_image);
        QTest::mouseClick(dialog->ReadButton(), Qt::LeftButton);
        QVERIFY(TransferControlsDisabled(*dialog));
        Watched read = WatchUntilIdle(*dialog);
        QVERIFY2(read.finished, qPrintable(read.statuses.join(" | ")));
        QCOMPARE(read.timerPeriods, QSet<int>{200});
        QVERIFY(read.statuses.contains("Sending RX request"));
        QCOMPARE(m_report.messages, QStringList{"TX Data read OK"});
        QCOMPARE(UsedBytes(m_image), written);
        QCOMPARE(QString(m_image.GetName(5)), QString("Message 6"));
        QCOMPARE(int(m_image.GetPlayCount(0)), 3);
        QVERIFY(TransferControlsEnabled(*dialog));
        QVERIFY(!dialog->Lamp(TXCommDlg::LampCts)->IsLit());
    }

    void verifyAfterWritingReadsBackAndIsRemembered()
    {
        SimUnit unit;
        const QString flash = m_work + "/verify-flash.bin";
        QFile::remove(flash);
        QVERIFY(unit.Start({"--fast", "--erase-ms", "5", "--flash", flash}));
        FillImage(m_image, {6000, 7000, 5000});  // sectors 0 to 3

        {
            auto dialog = NewDialog();
            QVERIFY(!dialog->VerifyBox()->isChecked());  // off unless the operator chose it
            QVERIFY(SelectPort(*dialog, unit.Port()));
            QTest::mouseClick(dialog->VerifyBox(), Qt::LeftButton);
            QVERIFY(dialog->VerifyBox()->isChecked());
            QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
            QVERIFY(!dialog->VerifyBox()->isEnabled());
            Watched write = WatchUntilIdle(*dialog);
            QVERIFY2(write.finished, qPrintable(write.statuses.join(" | ")));
            QCOMPARE(dialog->StatusText(), QString("Verify OK - 4 sectors match"));
            QVERIFY(write.statuses.contains("Verifying sector 2"));
            QVERIFY(m_report.messages.isEmpty());
        }
        unit.Stop();

        // One byte of sector 1 changed in the unit: the next verify names it.
        QFile file(flash);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[0x2000 + 77] = char(bytes[0x2000 + 77] ^ 0x10);
        file.seek(0);
        file.write(bytes);
        file.close();
        QVERIFY(unit.Start({"--fast", "--erase-ms", "5", "--flash", flash}));
        m_image.SetSectorNeeded(1);
        m_image.SetSectorNeeded(2);
        auto dialog = NewDialog();
        QVERIFY(dialog->VerifyBox()->isChecked());  // remembered
        QVERIFY(SelectPort(*dialog, unit.Port()));
        // Written again, sector 1 is whole again; sector 0 was not written and
        // is not read back.
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        Watched again = WatchUntilIdle(*dialog);
        QVERIFY2(again.finished, qPrintable(again.statuses.join(" | ")));
        QCOMPARE(dialog->StatusText(), QString("Verify OK - 2 sectors match"));
        QSettings("Tarlex", "ORMID").remove("Settings/Verify after writing");
    }

    void portIsRememberedByItsPath()
    {
        SimUnit keeper, first, second, third;
        QVERIFY(keeper.Start({"--fast"}));
        QVERIFY(first.Start({"--fast"}));
        QVERIFY(second.Start({"--fast"}));
        QVERIFY(third.Start({"--fast"}));
        {
            auto dialog = NewDialog();
            QVERIFY(SelectPort(*dialog, third.Port()));
            QTest::mouseClick(dialog->ReadButton(), Qt::LeftButton);
            WatchUntilIdle(*dialog);
        }
        QCOMPARE(QSettings("Tarlex", "ORMID").value("Settings/Comm port path").toString(), third.Port());
        // Ports go away and the list moves: the stored position now points
        // elsewhere, the path still finds the port.
        first.Stop();
        second.Stop();
        QVERIFY(WaitFor(
            [&] {
                auto probe = NewDialog();
                return probe->PortBox()->findData(first.Port()) < 0 && probe->PortBox()->findData(second.Port()) < 0;
            },
            20000, QTest::qWait));
        auto dialog = NewDialog();
        const int byPosition = m_portSel < dialog->PortBox()->count() ? m_portSel : 0;
        QVERIFY2(dialog->PortBox()->itemData(byPosition).toString() != third.Port(),
                 "the position alone would find it");
        QCOMPARE(dialog->PortBox()->currentData().toString(), third.Port());
        QCOMPARE(dialog->PortBox()->currentText(), third.Port() + " (simulated unit)");
    }

    void writeOneSectorAtATime()
    {
        SimUnit unit;
        QVERIFY(unit.Start({"--fast", "--erase-ms", "5"}));
        FillImage(m_image, {6000, 7000});
        QVERIFY(m_image.IsSectorNeeded(0) && m_image.IsSectorNeeded(1));
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));
        dialog->OneSectorBox()->setChecked(true);
        // The plan's line above "Write Unit", for the chosen baud.
        const auto planText = [&](int baud) {
            return QString::fromStdString(CWritePlan::ForWrite(m_image, baud).Describe());
        };
        QVERIFY2(dialog->PlanLabel()->text().startsWith("3 sectors, 24,576 bytes, about "),
                 qPrintable(dialog->PlanLabel()->text()));
        QCOMPARE(dialog->PlanLabel()->text(), planText(115200));
        QVERIFY(dialog->PlanLabel()->geometry().bottom() < dialog->WriteButton()->geometry().top());
        dialog->BaudBox()->setCurrentIndex(1);
        QCOMPARE(dialog->PlanLabel()->text(), planText(57600));
        QVERIFY(dialog->PlanLabel()->text().endsWith(" at 57600 baud"));
        dialog->BaudBox()->setCurrentIndex(0);

        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        Watched first = WatchUntilIdle(*dialog);
        QVERIFY2(first.finished, qPrintable(first.statuses.join(" | ")));
        QCOMPARE(dialog->StatusText(), QString("sector 0 completed"));
        // What is left to write.
        QVERIFY2(dialog->PlanLabel()->text().startsWith("2 sectors, 16,384 bytes, about "),
                 qPrintable(dialog->PlanLabel()->text()));
        QVERIFY(!m_image.IsSectorNeeded(0));
        QVERIFY(m_image.IsSectorNeeded(1));
        QCOMPARE(Lines(dialog->SectorsList()).first(), QString("SA1"));
        QVERIFY(!Lines(dialog->SectorsList()).contains("SA0"));
        QVERIFY(dialog->OneSectorBox()->isChecked());

        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        Watched second = WatchUntilIdle(*dialog);
        QVERIFY2(second.finished, qPrintable(second.statuses.join(" | ")));
        QCOMPARE(dialog->StatusText(), QString("sector 1 completed"));
        QVERIFY(!m_image.IsSectorNeeded(1));
        QVERIFY(!second.statuses.contains("Transmitting sector 0"));
    }

    void faultOfTheUnitEndsWithItsStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("statusStart");
        QTest::addColumn<int>("messages");
        QTest::newRow("checksum refused")
            << "wrong-ack:cmd=sum" << true << "Got bad or illegal checksum Ack. Expecting 'A', got 'N'" << 0;
        QTest::newRow("no reply to P1") << "no-reply:cmd=P1" << true << "Timeout - Enter program Mode" << 0;
        QTest::newRow("bad read checksum") << "bad-checksum" << false << "Checksum error" << 1;
        QTest::newRow("unit unplugged") << "vanish:cmd=R" << true << "Transfer stopped - the port /dev/pts/" << 0;
    }

    void faultOfTheUnitEndsWithItsStatus()
    {
        QFETCH(QString, fault);
        QFETCH(bool, write);
        QFETCH(QString, statusStart);
        QFETCH(int, messages);
        SimUnit unit;
        QVERIFY(unit.Start({"--fast", "--erase-ms", "5", "--fault", fault}));
        FillImage(m_image, {3000});
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));

        QTest::mouseClick(write ? dialog->WriteButton() : dialog->ReadButton(), Qt::LeftButton);
        QVERIFY(TransferControlsDisabled(*dialog));
        Watched seen = WatchUntilIdle(*dialog);
        QVERIFY2(seen.finished, qPrintable(seen.statuses.join(" | ")));
        QVERIFY2(dialog->StatusText().startsWith(statusStart), qPrintable(dialog->StatusText()));
        QCOMPARE(int(m_report.messages.size()), messages);
        QVERIFY(TransferControlsEnabled(*dialog));
        QVERIFY(!dialog->Port().IsWorkerRunning());
        QCOMPARE(m_readDone, 0);
        if (write)
            QVERIFY(m_image.IsSectorNeeded(0));
    }

    // The dialog as the operator sees it in the middle of a write with
    // "Verify after writing" on: every text whole, no control over another.
    // With ORMID_TEST_GRAB_DIR set, a picture of it is kept there.
    void layoutMidTransferShowsEveryTextWhole()
    {
        SimUnit unit;
        QVERIFY(unit.Start({"--baud", "57600", "--erase-ms", "5"}));
        FillImage(m_image, {6000, 7000, 9000, 12000});
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));
        dialog->BaudBox()->setCurrentIndex(1);
        dialog->VerifyBox()->setChecked(true);
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(WaitFor([&] { return dialog->StatusText().startsWith("Writing - "); }, 20000, QTest::qWait));
        QVERIFY(dialog->StepTimer().isActive());

        const QByteArray grabDir = qgetenv("ORMID_TEST_GRAB_DIR");
        if (!grabDir.isEmpty())
            QVERIFY(dialog->grab().save(QString::fromLocal8Bit(grabDir) + "/unit-communications-write.png"));

        auto whole = [](QWidget* w) {
            const QSize hint = w->sizeHint();
            return w->width() >= hint.width() && w->height() >= hint.height();
        };
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
            QVERIFY2(!b->isVisible() || whole(b), qPrintable(b->text()));
        for (QLabel* l : dialog->findChildren<QLabel*>()) {
            if (!l->isVisible() || l->text().isEmpty())
                continue;
            // A buddy's mnemonic marker takes no room.
            const QString shown = l->buddy() ? QString(l->text()).remove('&') : l->text();
            // A label that wraps (the write plan's) needs the height of its lines.
            if (l->wordWrap()) {
                const QRect lines = l->fontMetrics().boundingRect(l->contentsRect(), Qt::TextWordWrap, shown);
                QVERIFY2(lines.height() <= l->contentsRect().height() && lines.width() <= l->contentsRect().width(),
                         qPrintable(l->text()));
                continue;
            }
            const int need = l->fontMetrics().horizontalAdvance(shown);
            QVERIFY2(l->contentsRect().width() >= need, qPrintable(l->text()));
        }
        for (QComboBox* c : dialog->findChildren<QComboBox*>())
            QVERIFY2(c->width() >= c->minimumSizeHint().width(), qPrintable(c->currentText()));
        // Siblings do not overlap, in the dialog and in each group.
        QList<QWidget*> parents{dialog.get()};
        for (QGroupBox* g : dialog->findChildren<QGroupBox*>())
            parents << g;
        for (QWidget* parent : parents) {
            QList<QWidget*> shown;
            for (QWidget* w : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (w->isVisible() && !w->isWindow())
                    shown << w;
            for (int i = 0; i < shown.size(); i++)
                for (int j = i + 1; j < shown.size(); j++)
                    QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                             qPrintable(shown[i]->metaObject()->className() + QString(" ") + shown[i]->objectName() +
                                        " / " + shown[j]->metaObject()->className() + " " + shown[j]->objectName()));
        }
        dialog->close();
        QVERIFY(IsIdle(*dialog));

        // The longest status a verify can end with does not widen the dialog.
        dialog->show();
        QTest::qWait(50);
        const int width = dialog->width();
        QStringList all;
        for (int sector = 0; sector < 70; sector++)
            all << QString::number(sector);
        const QString longest = "Verify failed - sectors differ: " + all.join(", ");
        dialog->SetStatusText(longest);
        QTest::qWait(50);
        QCOMPARE(dialog->width(), width);
        QLabel* pane = dialog->findChild<QStatusBar*>()->findChild<QLabel*>();
        QVERIFY(pane);
        QVERIFY(pane->fontMetrics().horizontalAdvance(pane->text()) <= pane->contentsRect().width());
        QVERIFY(pane->text().startsWith("Verify failed - sectors differ: 0, 1, 2"));
        QCOMPARE(pane->toolTip(), longest);
        QCOMPARE(dialog->StatusText(), longest);
        if (!grabDir.isEmpty())
            QVERIFY(dialog->grab().save(QString::fromLocal8Bit(grabDir) + "/unit-communications-long-status.png"));
        // Given room, the whole text shows again.
        dialog->resize(pane->fontMetrics().horizontalAdvance(longest) + 200, dialog->height());
        QTRY_COMPARE(pane->text(), longest);
        QCOMPARE(pane->toolTip(), QString());
        dialog->SetStatusText("Ready");
        QCOMPARE(pane->text(), QString("Ready"));
    }

    void writePressedDuringReadLeavesTheRead()
    {
        SimUnit unit;
        QVERIFY(unit.Start({"--fast", "--image", WriteImageFile({6000, 7000, 9000})}));
        cMemoryMap expected;
        FillImage(expected, {6000, 7000, 9000});
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));

        QTest::mouseClick(dialog->ReadButton(), Qt::LeftButton);
        QVERIFY(TransferControlsDisabled(*dialog));
        // The button is off; a click does nothing.
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(dialog->Transfer().ProtocolState() != CUnitTransfer::kIdle);
        // Its command, reached anyway, refuses and leaves the read running.
        dialog->OnWriteUnit();
        QCOMPARE(dialog->StatusText(), QString("Write TX - previous read/write operation not complete"));
        QVERIFY(dialog->Transfer().ProtocolState() != CUnitTransfer::kIdle);
        QVERIFY(dialog->StepTimer().isActive());
        QCOMPARE(dialog->StepTimer().interval(), 200);
        QVERIFY(TransferControlsDisabled(*dialog));

        Watched seen = WatchUntilIdle(*dialog);
        QVERIFY2(seen.finished, qPrintable(seen.statuses.join(" | ")));
        QCOMPARE(m_report.messages, QStringList{"TX Data read OK"});
        QCOMPARE(UsedBytes(m_image), UsedBytes(expected));
    }

    void closingMidWriteFinishesFirst_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close button") << "close";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("window closed") << "window";
    }

    void closingMidWriteFinishesFirst()
    {
        QFETCH(QString, how);
        SimUnit unit;
        QVERIFY(unit.Start({"--baud", "57600", "--erase-ms", "5"}));
        FillImage(m_image, {300000});  // several 64 KB sectors
        TXCommDlg dialog(m_image, CCommShared{&m_portSel, &m_baudSel, &m_readDone});
        dialog.SetReport(&m_report);
        QVERIFY(SelectPort(dialog, unit.Port()));
        dialog.BaudBox()->setCurrentIndex(1);

        bool wasTransmitting = false;
        bool closedWhileRunning = false;
        QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.WriteButton(), Qt::LeftButton); });
        QTimer poll;
        connect(&poll, &QTimer::timeout, &dialog, [&] {
            // The first block follows the sector start at once, and with it
            // the sector's progress.
            const QString status = dialog.StatusText();
            if (!status.startsWith("Transmitting sector") && !status.startsWith("Writing - "))
                return;
            poll.stop();
            wasTransmitting = true;
            closedWhileRunning = dialog.StepTimer().isActive() && dialog.Port().IsWorkerRunning();
            if (how == "close")
                QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
            else if (how == "escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        poll.start(5);
        // A safety net, should the dialog never get going.
        QTimer::singleShot(30000, &dialog, [&] { dialog.reject(); });
        dialog.DoModal();

        QVERIFY(wasTransmitting);
        QVERIFY(closedWhileRunning);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!dialog.StepTimer().isActive());
        QVERIFY(!dialog.IsPortOpen());
        QVERIFY(!dialog.Port().IsWorkerRunning());
        QCOMPARE(int(dialog.Transfer().ProtocolState()), 0);
        QVERIFY(TransferControlsEnabled(dialog));
    }

    void endingTheProgramMidTransferIsSafe()
    {
        SimUnit unit;
        QVERIFY(unit.Start({"--baud", "57600", "--erase-ms", "5"}));
        FillImage(m_image, {300000});
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));
        dialog->BaudBox()->setCurrentIndex(1);
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(WaitFor([&] { return dialog->StatusText().startsWith("Writing - "); }, 20000, QTest::qWait));
        QVERIFY(dialog->Port().IsWorkerRunning());

        // The program going away destroys the dialog without closing it.
        dialog.reset();
        QTest::qWait(50);  // anything the worker had posted is dropped with the dialog

        // The port is free again: nothing holds it or its worker.
        CSerialPort port;
        QCOMPARE(int(port.Open(unit.Port().toLocal8Bit().constData(), 4096, 4096)), 0);
        port.Close();
    }

    void storedPositionsChooseTheLists_data()
    {
        QTest::addColumn<int>("storedPort");
        QTest::addColumn<int>("storedBaud");
        QTest::addColumn<int>("portShown");
        QTest::addColumn<QString>("baudShown");
        QTest::newRow("second port, 57600") << 1 << 1 << 1 << "57600";
        QTest::newRow("port past the end") << 500 << 0 << 0 << "115200";
        QTest::newRow("negative positions") << -1 << -3 << 0 << "115200";
        QTest::newRow("baud past the end") << 0 << 9 << 0 << "115200";
    }

    void storedPositionsChooseTheLists()
    {
        QFETCH(int, storedPort);
        QFETCH(int, storedBaud);
        QFETCH(int, portShown);
        QFETCH(QString, baudShown);
        SimUnit first, second;
        QVERIFY(first.Start({"--fast"}));
        QVERIFY(second.Start({"--fast"}));
        m_portSel = storedPort;
        m_baudSel = storedBaud;
        auto dialog = NewDialog();
        QVERIFY(dialog->PortBox()->findData(first.Port()) >= 0);
        QVERIFY(dialog->PortBox()->findData(second.Port()) >= 0);
        QVERIFY(dialog->PortBox()->count() >= 2);
        if (storedPort >= dialog->PortBox()->count())
            QCOMPARE(portShown, 0);
        QCOMPARE(dialog->PortBox()->currentIndex(), portShown);
        QCOMPARE(dialog->BaudBox()->currentText(), baudShown);
        QCOMPARE(dialog->BaudBox()->itemText(0), QString("115200"));
        QCOMPARE(dialog->BaudBox()->itemText(1), QString("57600"));
        // Nothing is stored until a port opens.
        QCOMPARE(m_portSel, storedPort);
        QCOMPARE(m_baudSel, storedBaud);
    }

    void positionsAreStoredOnlyWhenThePortOpens()
    {
        SimUnit first, second;
        QVERIFY(first.Start({"--fast", "--baud", "57600"}));
        QVERIFY(second.Start({"--fast", "--baud", "57600"}));
        m_portSel = 0;
        m_baudSel = 0;
        auto dialog = NewDialog();
        const int firstIndex = dialog->PortBox()->findData(first.Port());
        const int secondIndex = dialog->PortBox()->findData(second.Port());
        QVERIFY(firstIndex >= 0 && secondIndex >= 0 && firstIndex != secondIndex);
        // The unit further down the list, so that its position is not 0.
        SimUnit& target = firstIndex > secondIndex ? first : second;
        SimUnit& other = firstIndex > secondIndex ? second : first;
        const int targetIndex = qMax(firstIndex, secondIndex);

        // A write with nothing needed opens the port and completes at once.
        QVERIFY(SelectPort(*dialog, target.Port()));
        dialog->BaudBox()->setCurrentIndex(1);
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(WatchUntilIdle(*dialog).finished);
        QCOMPARE(dialog->StatusText(), QString("Unit write completed."));
        QCOMPARE(m_portSel, targetIndex);
        QCOMPARE(m_baudSel, 1);

        // A port that has gone cannot be opened: nothing is stored, the
        // status says so and the operator learns why.
        const QString gone = other.Port();
        QVERIFY(SelectPort(*dialog, gone));
        dialog->BaudBox()->setCurrentIndex(0);
        other.Stop();
        QTest::mouseClick(dialog->ReadButton(), Qt::LeftButton);
        QCOMPARE(dialog->StatusText(), QString("Read TX - could not open Comm Port"));
        QCOMPARE(int(m_report.messages.size()), 1);
        QVERIFY(m_report.messages.first().contains(gone));
        QCOMPARE(m_portSel, targetIndex);
        QCOMPARE(m_baudSel, 1);
        QVERIFY(TransferControlsEnabled(*dialog));
    }

    void focusFollowsTheTransferDoneFlag_data()
    {
        QTest::addColumn<int>("readDone");
        QTest::addColumn<QString>("focused");
        QTest::newRow("nothing transferred yet") << 0 << "&Read Unit";
        QTest::newRow("unit already transferred") << 1 << "&Close";
    }

    void focusFollowsTheTransferDoneFlag()
    {
        QFETCH(int, readDone);
        QFETCH(QString, focused);
        m_readDone = readDone;
        auto dialog = NewDialog();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto* button = qobject_cast<QPushButton*>(dialog->focusWidget());
        QVERIFY(button);
        QCOMPARE(button->text(), focused);
        QCOMPARE(dialog->windowTitle(), QString("Unit Communications"));
        QVERIFY(dialog->ProgressBar()->orientation() == Qt::Vertical);
        QVERIFY(!dialog->OneSectorBox()->isChecked());
        QVERIFY(!dialog->NoTimeoutsBox()->isChecked());
    }

    void modemLinesArePostedToTheDialog()
    {
        SimUnit unit;
        QVERIFY(unit.Start({"--fast"}));
        auto dialog = NewDialog();
        QCOMPARE(int(dialog->Port().Open(unit.Port().toLocal8Bit().constData(), 4096, 4096)), 0);

        // From another thread, while this one does not look at its events:
        // the notification must come back at once.
        std::atomic<int> returned{0};
        std::thread worker([&] {
            dialog->View().OnModemLine(WM_CTS_CHANGED, 1);
            dialog->View().OnModemLine(WM_DSR_CHANGED, 1);
            dialog->View().OnModemLine(WM_RLSD_CHANGED, 1);
            dialog->View().OnModemLine(WM_DSR_CHANGED, 0);
            returned = 1;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!returned && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool didNotWait = returned;
        worker.join();
        QVERIFY(didNotWait);
        QVERIFY(!dialog->Lamp(TXCommDlg::LampCts)->IsLit());  // not yet: it waits for the dialog's thread

        QTRY_VERIFY(dialog->Lamp(TXCommDlg::LampCts)->IsLit());
        QTRY_VERIFY(dialog->Lamp(TXCommDlg::LampCd)->IsLit());
        QVERIFY(!dialog->Lamp(TXCommDlg::LampDsr)->IsLit());
        // A screen reader hears each lamp's line and state.
        auto heard = [&](int lamp) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(dialog->Lamp(lamp));
            return a && a->role() == QAccessible::StaticText ? a->text(QAccessible::Name) : QString();
        };
        QCOMPARE(heard(TXCommDlg::LampCts), QString("CTS on"));
        QCOMPARE(heard(TXCommDlg::LampDsr), QString("DSR off"));
        QCOMPARE(heard(TXCommDlg::LampCd), QString("CD on"));

        // A change still on its way when the port closes lights nothing.
        dialog->Transfer().Finish();
        QVERIFY(!dialog->Lamp(TXCommDlg::LampCts)->IsLit());
        QCOMPARE(heard(TXCommDlg::LampCts), QString("CTS off"));
        dialog->View().OnModemLine(WM_CTS_CHANGED, 1);
        QTest::qWait(20);
        QVERIFY(!dialog->Lamp(TXCommDlg::LampCts)->IsLit());
    }

    void recoverBringsBackAUnitLeftInsideASector()
    {
        // Another program started sector 1 and went: the unit (which never
        // gives up a sector) takes every byte, commands too, as sector data.
        // No journal tells of it, so only "Recover unit" may send the filler.
        SimUnit unit;
        const QString flash = m_work + "/recover.flash";
        QVERIFY(unit.Start({"--fast", "--erase-ms", "0", "--fault", "hold-rx:always", "--flash", flash}));
        QVERIFY(SendRaw(unit.Port().toStdString(), "P1\rR01\r" + std::string(3000, '\x55')));
        FillImage(m_image, {9000, 12000});
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));
        // No first: not a byte goes out, the port stays closed.
        QTest::mouseClick(dialog->RecoverButton(), Qt::LeftButton);
        QCOMPARE(m_report.questions.size(), 1);
        QVERIFY2(m_report.questions[0].contains(unit.Port()) && m_report.questions[0].endsWith("Recover the unit now?"),
                 qPrintable(m_report.questions[0]));
        QVERIFY(IsIdle(*dialog));
        QCOMPARE(dialog->StatusText(), QString("Ready"));
        QVERIFY(TransferControlsEnabled(*dialog));
        m_report.answer = true;
        QTest::mouseClick(dialog->RecoverButton(), Qt::LeftButton);
        QCOMPARE(m_report.questions.size(), 2);
        Watched seen = WatchUntilIdle(*dialog);
        QVERIFY2(seen.finished && seen.controlsDisabled, qPrintable(seen.statuses.join(" | ")));
        QVERIFY2(seen.statuses.contains("No answer to P1 - completing an interrupted sector write"),
                 qPrintable(seen.statuses.join(" | ")));
        QCOMPARE(dialog->StatusText(), QString("Unit write completed."));
        dialog.reset();
        unit.Stop();
        // The filler's sum was refused: the unit holds the image, no filler.
        QFile file(flash);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const uint32_t end = cMemoryMap::GetSectorEnd(m_image.GetLastUsedSector());
        QVERIFY(uint32_t(bytes.size()) >= end);
        QVERIFY(memcmp(bytes.constData(), m_image.GetImageBuffer(), end) == 0);
    }

    // Every button and field has an Alt key of its own, and each does what
    // its caption says: Alt+C closes, Recover has a key of its own and asks
    // first.
    void keysDoWhatTheCaptionsSay_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        for (const QString& row : kDialogKeys)
            QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
    }

    void keysDoWhatTheCaptionsSay()
    {
        QFETCH(QString, key);
        QFETCH(QString, caption);
        SimUnit unit;
        QVERIFY(unit.Start({"--fast", "--erase-ms", "0"}));
        FillImage(m_image, {6000});
        auto dialog = NewDialog();
        QVERIFY(SelectPort(*dialog, unit.Port()));
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QVERIFY2(DialogKeyProblems(dialog.get()).isEmpty(), qPrintable(DialogKeyProblems(dialog.get()).join(", ")));

        CModalCloser closer(dialog.get());
        QVERIFY(PressDialogKey(dialog.get(), key, caption));
        if (caption == "Close")
            QTRY_VERIFY(!dialog->isVisible());
        else
            QVERIFY(dialog->isVisible());
        if (caption == "Recover unit") {
            // Asked, answered No: nothing was sent.
            QCOMPARE(m_report.questions.size(), 1);
            QVERIFY(IsIdle(*dialog));
        }
        // A transfer started: it runs, or it has already moved the status on.
        if (caption == "Read Unit" || caption == "Write Unit")
            QVERIFY2(dialog->StepTimer().isActive() || dialog->StatusText() != "Ready",
                     qPrintable(dialog->StatusText()));
        else if (caption != "Change system default setting")
            QCOMPARE(dialog->StatusText(), QString("Ready"));
        if (caption == "Change system default setting")
            QTRY_COMPARE(closer.titles, QStringList{unit.Port()});
        else
            QVERIFY(closer.titles.isEmpty());
    }

    void keyTableOfTheDialog()
    {
        auto dialog = NewDialog();
        QCOMPARE(DialogKeyTable(dialog.get()), kDialogKeys);
        // The port settings dialog behind "Change system default setting".
        CPortSettingsDlg settings("/dev/ttyS0", dialog.get());
        settings.show();
        QApplication::setActiveWindow(&settings);
        QVERIFY(QTest::qWaitForWindowActive(&settings));
        QCOMPARE(DialogKeyTable(&settings), (QStringList{"Alt+B Bits per second:", "Alt+C Cancel",
                                                         "Alt+D Data bits:", "Alt+F Flow control:", "Alt+O OK",
                                                         "Alt+P Parity:", "Alt+S Stop bits:"}));
        QVERIFY(PressDialogKey(&settings, "Alt+P", "Parity:"));
        QVERIFY(PressDialogKey(&settings, "Alt+O", "OK"));
        QCOMPARE(settings.result(), int(QDialog::Accepted));
    }

    void portDefaultSurvivesARestartAndIsApplied()
    {
        SimUnit unit;
        QVERIFY(unit.Start({"--fast"}));
        const std::string port = unit.Port().toStdString();
        {
            auto dialog = NewDialog();
            QVERIFY(SelectPort(*dialog, unit.Port()));
            QString title;
            OnNextModal([&](QWidget* modal) {
                auto* settings = qobject_cast<CPortSettingsDlg*>(modal);
                if (!settings) {
                    modal->close();
                    return;
                }
                title = settings->windowTitle();
                settings->BaudBox()->setCurrentText("19200");
                settings->StopBitsBox()->setCurrentText("2");
                settings->accept();
            });
            QTest::mouseClick(dialog->DefaultsButton(), Qt::LeftButton);
            QCOMPARE(title, unit.Port());
            QVERIFY(!dialog->DefaultsButton()->isChecked());
            QVERIFY(!dialog->IsPortOpen());
        }

        // A new start of the program reads it from the settings store.
        QSettings store("Tarlex", "ORMID");
        QCOMPARE(store.value(CQtPortDefaults::KeyOf(port, "Baud")).toInt(), 19200);
        auto dialog = NewDialog();
        CSerialPort probe;
        QCOMPARE(int(probe.Open(port.c_str(), 4096, 4096)), 0);
        QCOMPARE(probe.GetBaudrate(), 19200);
        QCOMPARE(probe.GetStopBits(), 2);
        probe.Close();

        // The editor starts from what is stored; Cancel keeps it.
        QVERIFY(SelectPort(*dialog, unit.Port()));
        int shownBaud = 0;
        OnNextModal([&](QWidget* modal) {
            if (auto* settings = qobject_cast<CPortSettingsDlg*>(modal))
                shownBaud = settings->Defaults().baud;
            modal->close();
        });
        QTest::mouseClick(dialog->DefaultsButton(), Qt::LeftButton);
        QCOMPARE(shownBaud, 19200);
        PortDefaults kept;
        QVERIFY(CQtPortDefaults().Load(port, kept));
        QCOMPARE(kept.baud, 19200);

        // A transfer sets its own line over the default.
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(WatchUntilIdle(*dialog).finished);
        QCOMPARE(dialog->StatusText(), QString("Unit write completed."));

        // Once the dialog is gone the serial layer has no provider of ours.
        dialog.reset();
        QCOMPARE(GetPortDefaultsProvider(), static_cast<IPortDefaultsProvider*>(nullptr));
    }

    void storedPortDefaultsAreChecked_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("usable");
        QTest::newRow("as stored") << ""
                                   << "" << true;
        QTest::newRow("rate not offered") << "Baud"
                                          << "12345" << false;
        QTest::newRow("nine data bits") << "Data bits"
                                        << "9" << false;
        QTest::newRow("parity not a number") << "Parity"
                                             << "even" << false;
        QTest::newRow("stop bits out of range") << "Stop bits"
                                                << "3" << false;
        QTest::newRow("handshaking negative") << "Handshaking"
                                              << "-1" << false;
    }

    void storedPortDefaultsAreChecked()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, usable);
        const std::string port = "/dev/ttyUSB7";
        const PortDefaults stored{38400, 7, 2, 2, 1};
        CQtPortDefaults defaults;
        QVERIFY(defaults.Store(port, stored));
        if (!key.isEmpty()) {
            QSettings store("Tarlex", "ORMID");
            store.setValue(CQtPortDefaults::KeyOf(port, key.toLatin1().constData()), value);
        }
        PortDefaults loaded;
        QCOMPARE(defaults.Load(port, loaded), usable);
        if (usable) {
            QCOMPARE(loaded.baud, 38400);
            QCOMPARE(loaded.dataBits, 7);
            QCOMPARE(loaded.parity, 2);
            QCOMPARE(loaded.stopBits, 2);
            QCOMPARE(loaded.handshaking, 1);
        }
        // Each port keeps its own, whatever its name looks like.
        PortDefaults other;
        QVERIFY(!defaults.Load("/dev/ttyUSB", other));
        QVERIFY(!defaults.Load("_dev_ttyUSB7", other));
        QVERIFY(!defaults.Load("", other));
        QVERIFY(!defaults.Store("/dev/ttyS0", PortDefaults{300, 8, 0, 0, 0}));
    }

    void portDefaultsAreKeptUnderTheirPlainNames()
    {
        CQtPortDefaults defaults;
        const PortDefaults pts{19200, 8, 0, 2, 0};
        QVERIFY(defaults.Store("/dev/pts/3", pts));
        QVERIFY(defaults.Store("/dev/ttyUSB0", PortDefaults{57600, 7, 1, 0, 1}));
        QVERIFY(defaults.Store("/dev/pts/3", PortDefaults{38400, 8, 0, 0, 0}));  // replaces, not adds
        QSettings store("Tarlex", "ORMID");
        store.sync();
        QFile file(store.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(file.readAll());
        QVERIFY2(text.contains("Port=/dev/pts/3"), qPrintable(text));
        QVERIFY2(text.contains("Port=/dev/ttyUSB0"), qPrintable(text));
        QVERIFY2(!text.contains("%25") && !text.contains("%2F"), qPrintable(text));
        QCOMPARE(text.count("Port=/dev/pts/3"), 1);
        PortDefaults loaded;
        QVERIFY(defaults.Load("/dev/pts/3", loaded));
        QCOMPARE(loaded.baud, 38400);
        QVERIFY(defaults.Load("/dev/ttyUSB0", loaded));
        QCOMPARE(loaded.dataBits, 7);

        // An entry written by an earlier build (one group per port, named by
        // its percent-encoded path) is still read, and replaced when stored.
        store.setValue("Port defaults/%2Fdev%2FttyS4/Baud", 14400);
        store.setValue("Port defaults/%2Fdev%2FttyS4/Data bits", 8);
        store.setValue("Port defaults/%2Fdev%2FttyS4/Parity", 0);
        store.setValue("Port defaults/%2Fdev%2FttyS4/Stop bits", 0);
        store.setValue("Port defaults/%2Fdev%2FttyS4/Handshaking", 0);
        store.sync();
        QVERIFY(defaults.Load("/dev/ttyS4", loaded));
        QCOMPARE(loaded.baud, 14400);
        QVERIFY(defaults.Store("/dev/ttyS4", PortDefaults{9600, 8, 0, 0, 0}));
        store.sync();
        QVERIFY(!store.contains("Port defaults/%2Fdev%2FttyS4/Baud"));
        QVERIFY(defaults.Load("/dev/ttyS4", loaded));
        QCOMPARE(loaded.baud, 9600);
    }

    // A damaged size is read up to the cap (a port still opens at once), and
    // port names that look like the array's own keys never touch its entries.
    void portDefaultsAreReadWithinTheirCaps()
    {
        QSettings store("Tarlex", "ORMID");
        store.remove("Port defaults");
        store.sync();
        CQtPortDefaults defaults;
        const PortDefaults a{57600, 8, 0, 0, 0}, b{38400, 7, 1, 0, 1}, c{19200, 8, 2, 2, 2};
        QVERIFY(defaults.Store("/dev/ttyS0", a));
        QVERIFY(defaults.Store("/dev/ttyS1", b));
        QVERIFY(defaults.Store("/dev/ttyS2", c));
        for (const char* name : {"3", "2", "size", "1"})
            QVERIFY(defaults.Store(name, PortDefaults{9600, 8, 0, 0, 0}));
        PortDefaults loaded;
        QVERIFY(defaults.Load("/dev/ttyS1", loaded));
        QCOMPARE(loaded.baud, 38400);
        QVERIFY(defaults.Load("/dev/ttyS2", loaded));
        QCOMPARE(loaded.baud, 19200);
        QCOMPARE(loaded.handshaking, 2);
        QVERIFY(defaults.Load("3", loaded));
        QCOMPARE(loaded.baud, 9600);
        store.sync();
        QCOMPARE(store.value("Port defaults/size").toInt(), 7);

        store.setValue("Port defaults/size", 2147483647);
        store.sync();
        QVERIFY(defaults.Load("/dev/ttyS2", loaded));
        QCOMPARE(loaded.baud, 19200);
        QVERIFY(!defaults.Load("/dev/ttyUSB9", loaded));
        QVERIFY(defaults.Store("/dev/ttyUSB9", a));
        store.sync();
        QCOMPARE(store.value("Port defaults/size").toInt(), CQtPortDefaults::kMaxEntries);
        QVERIFY(defaults.Load("/dev/ttyUSB9", loaded));
        QCOMPARE(loaded.baud, 57600);
        store.remove("Port defaults");
    }

    void defaultsTheDeviceCannotCarryAreReported()
    {
        // A pseudo-terminal has no parity: even parity is stored, the port
        // opens without it on a clean raw line, and the operator is told once.
        SimUnit unit;
        QVERIFY(unit.Start({"--fast"}));
        const std::string port = unit.Port().toStdString();
        QVERIFY(CQtPortDefaults().Store(port, PortDefaults{9600, 7, 2, 0, 0}));
        auto dialog = NewDialog();
        {
            CSerialPort probe;
            QCOMPARE(int(probe.Open(port.c_str(), 4096, 4096)), 0);
            QCOMPARE(QString::fromStdString(probe.RefusedDefaults()),
                     QString("9600 baud, 7 data bits, even parity, 1 stop bit, no handshaking"));
            QCOMPARE(probe.GetDataBits(), 8);  // not half of the default
            QCOMPARE(probe.GetParity(), 0);
            probe.Close();
        }
        QVERIFY(SelectPort(*dialog, unit.Port()));
        m_report.messages.clear();
        auto warnings = [this] { return m_report.messages.filter("default settings stored for"); };
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(WatchUntilIdle(*dialog).finished);
        QCOMPARE(warnings().size(), 1);
        QVERIFY2(warnings()[0].contains(unit.Port()) && warnings()[0].contains("even parity") &&
                     warnings()[0].contains("cannot be used"),
                 qPrintable(warnings()[0]));
        QCOMPARE(dialog->StatusText(), QString("Unit write completed."));
        QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
        QVERIFY(WatchUntilIdle(*dialog).finished);
        QCOMPARE(warnings().size(), 1);  // said once while the dialog is open

        // Defaults the device takes say nothing.
        QVERIFY(CQtPortDefaults().Store(port, PortDefaults{19200, 8, 0, 0, 0}));
        CSerialPort probe;
        QCOMPARE(int(probe.Open(port.c_str(), 4096, 4096)), 0);
        QVERIFY(probe.RefusedDefaults().empty());
        probe.Close();
    }

    void panelCommandOpensTheDialog()
    {
        CTXDoruvevAzadApp& app = *TheApp();
        app.m_panelCommands.unitCommunications = nullptr;
        app.m_unitReadDone = 0;
        app.m_memoryMap.ClearSlot(0);
        app.m_memoryMap.SetName(0, "Front door");
        CRecorder report;
        CTXDoruvevAzadDlg panel(app, CPanelServices{nullptr, &report, nullptr, {}});
        panel.show();

        QString title, status, tableName;
        OnNextModal([&](QWidget* modal) {
            title = modal->windowTitle();
            if (auto* dialog = qobject_cast<TXCommDlg*>(modal))
                status = dialog->StatusText();
            // The table went into the image before the dialog opened.
            tableName = QString::fromLatin1(reinterpret_cast<const char*>(app.m_memoryMap.GetImageBuffer()) + 64);
            modal->close();
        });
        panel.OnReadWriteUnit();
        QCOMPARE(title, QString("Unit Communications"));
        QCOMPARE(status, QString("Ready"));
        QCOMPARE(tableName, QString("Front door"));
        QVERIFY(report.messages.isEmpty());
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<CommDlgTest>(argc, argv);
}

#include "CommDlgTest.moc"
