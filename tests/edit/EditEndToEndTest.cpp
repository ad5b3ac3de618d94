// One message made the way an operator makes it, through the real audio
// library with file-backed sound devices: the panel's Edit on an empty slot,
// Record on a spoken sentence, Stop, Play, Append File of a CD-quality file,
// OK. The slot then holds the trimmed speech followed by the converted file,
// and the list shows its length.
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include "AppTestMain.h"
#include "CEditCommand.h"
#include "CMeter.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "QuickPanel.h"
#include "CTXEditDlg.h"
#include "PanelDoubles.h"

class EditEndToEndTest : public QObject {
    Q_OBJECT

public:
    explicit EditEndToEndTest(const QString& work) : m_work(work + '/') { }

private:
    QString m_work;

private slots:
    void recordStopPlayOk()
    {
        // About two seconds of speech between half-second pauses, 16 kHz.
        const QString raw = m_work + "raw.wav", speech = m_work + "speech.wav", played = m_work + "played.wav";
        QCOMPARE(QProcess::execute("espeak-ng", {"-w", raw, "Please leave by the nearest exit"}), 0);
        QCOMPARE(QProcess::execute("sox", {raw, "-r", "16000", "-b", "16", "-c", "1", speech, "pad", "0.5", "0.5"}), 0);
        qputenv("SONVOX_CAPTURE_FILE", speech.toLocal8Bit());
        qputenv("SONVOX_PLAYBACK_FILE", played.toLocal8Bit());
        const qint64 speechMs = (QFileInfo(speech).size() - 44) / 32;

        CTXDoruvevAzadApp& app = *TheApp();
        CAnsweredFileDialogs files;
        CRecordedReport report;
        InstallEditCommand(app.m_panelCommands);
        CTXDoruvevAzadDlg panel(app, QuickServices(&files, &report, nullptr));
        panel.OnInitDialog();
        panel.show();
        QVERIFY(panel.IsSonvoxAvailable());
        panel.SelectRow(0);

        const QString chime = m_work + "chime.wav";
        QCOMPARE(
            QProcess::execute("sox", {"-n", "-r", "44100", "-b", "16", "-c", "2", chime, "synth", "1", "sine", "660"}),
            0);
        qint64 recorded = 0;
        QStringList remaining;
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<CTXEditDlg*>(QApplication::activeModalWidget());
            QVERIFY(d);
            ran = true;
            QCOMPARE(d->RemainingLabel()->text(), QString("515.07"));
            d->NameBox()->setText("Exit");
            QTest::mouseClick(d->RecordButton(), Qt::LeftButton);
            QCOMPARE(Plain(d->RecordButton()->text()), QString("Stop"));
            for (int i = 0; i < 6; ++i) {
                QTest::qWait(int(speechMs / 6) + 60);
                remaining << d->RemainingLabel()->text();
                if (i == 3 && qEnvironmentVariableIsSet("ORMID_EDIT_GRAB"))
                    d->grab().save(qEnvironmentVariable("ORMID_EDIT_GRAB"));
            }
            QTest::mouseClick(d->RecordButton(), Qt::LeftButton);
            QCOMPARE(Plain(d->RecordButton()->text()), QString("Record"));
            // Stop and Save run aside; Play is greyed until they are done.
            QTRY_VERIFY_WITH_TIMEOUT(d->PlayButton()->isEnabled(), 10000);
            QVERIFY(!d->Session()->Busy());
            QTest::mouseClick(d->PlayButton(), Qt::LeftButton);
            QCOMPARE(Plain(d->PlayButton()->text()), QString("Stop"));
            QTRY_COMPARE_WITH_TIMEOUT(Plain(d->PlayButton()->text()), QString("Play"), int(speechMs) + 3000);
            // Append File of a one-second CD-quality chime: offered for
            // conversion, then joined after the recording.
            recorded = QFileInfo(app.m_tempWavPath).size() - 44;
            files.answers.push_back(chime);
            report.answers.push_back(true);
            const QString before = d->RemainingLabel()->text();
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (Plain(b->text()) == "Append File")
                    QTest::mouseClick(b, Qt::LeftButton);
            QCOMPARE(report.questions.size(), size_t(1));
            QCOMPARE(d->RemainingLabel()->text(), QString::asprintf("%3.2f", before.toDouble() - 1.0));
            d->accept();
        });
        panel.OnEdit();
        QVERIFY(ran);
        QVERIFY2(report.messages.empty(), report.messages.empty() ? "" : report.messages[0].c_str());

        // The countdown went down while recording.
        QCOMPARE(remaining.size(), 6);
        QVERIFY(remaining.first().toDouble() < 515.07);
        QVERIFY(remaining.last().toDouble() < remaining.first().toDouble());

        // Trimmed speech (more than a second, less than everything captured),
        // then the chime's 8000 samples.
        const uint32_t length = app.m_memoryMap.GetLength(0);
        qInfo("captured %lld ms, kept %lld bytes of speech; the slot holds %u bytes", speechMs, recorded,
              unsigned(length));
        QVERIFY2(recorded > 8000 && recorded < speechMs * 8, qPrintable(QString::number(recorded)));
        QCOMPARE(qint64(length), recorded + 8000);
        QCOMPARE(QString(app.m_memoryMap.GetName(0)), QString("Exit"));
        QVERIFY(panel.IsChanged());
        QVERIFY(panel.RowText(0).contains(QString::asprintf("%.2f sec", length / 8000.0)));
        // Play sent the new audio to the output device.
        QTRY_VERIFY(QFileInfo(played).size() > 44 + 8000);
        app.m_panelCommands.editMessage = nullptr;
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<EditEndToEndTest>(argc, argv);
}

#include "EditEndToEndTest.moc"
