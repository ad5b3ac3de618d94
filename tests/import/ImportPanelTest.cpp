// The panel's Import WAV with files of other kinds: the question, Yes and No,
// files no decoder reads, decoders that crash, the file dialog's filters, and
// a long conversion that the operator cancels.
#include <QApplication>
#include <QFileDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstring>

#include <sys/wait.h>
#include <memory>
#include <vector>

#include "AppTestMain.h"
#include "AudioFixtures.h"
#include "DecoderFault.h"
#include "CQtFileDialogs.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "PanelHarness.h"
#include "TestImages.h"

class ImportPanelTest : public QObject, private CPanelHarness {
    Q_OBJECT

public:
    explicit ImportPanelTest(const QString& workDir) : CPanelHarness(workDir) { }

private slots:
    void init()
    {
        FillImage(Map(), {4000, 2500});
        TheApp()->m_importFilePath.clear();
        OpenPanel();
    }

    void cleanup() { m_panel.reset(); }

    void yesConvertsImportsAndPreviewsTheTone()
    {
        QVERIFY(MakeTone(WorkStd("Phone memo.wav"), "-r 48000 -c 2 -b 16 -e signed-integer", 3.0));
        m_report.answers = {true};
        Import(6, Work("Phone memo.wav"));
        QCOMPARE(m_report.questions,
                 (std::vector<std::string>{"The file is 48000 Hz, 16-bit, 2 channel(s).\n"
                                           "Convert it to the unit's format (8 kHz mu-law, mono) and import it?"}));
        QVERIFY(m_report.messages.empty());
        QVERIFY(std::abs(int(Map().GetLength(6)) - 24000) <= 80);
        QCOMPARE(QString(Map().GetName(6)), QString("Phone memo.wav"));
        QVERIFY(m_panel->IsChanged());
        QCOMPARE(TheApp()->m_importFilePath, Work(""));

        // Preview plays the slot through the scratch file: the tone is there.
        m_panel->SelectRow(6);
        m_panel->OnPreview();
        const std::vector<uint8_t> scratch = ReadBytes(TheApp()->m_tempWavPath.toStdString());
        QCOMPARE(scratch.size(), size_t(44 + Map().GetLength(6)));
        const std::vector<double> x = Decode(scratch.data() + 44, scratch.size() - 44);
        const ToneFit fit = FitTone(x, 800, x.size() - 800, 1000);
        QVERIFY(fit.toneRms / fit.totalRms > 0.99);
        QVERIFY(std::fabs(Db(fit.toneRms / (0.5 / std::sqrt(2.0)))) < 0.5);
        m_panel->StopPreview();
    }

    void noLeavesImageAndChangedMarkAlone()
    {
        QVERIFY(MakeTone(WorkStd("song.flac"), "-r 44100 -c 2 -b 16", 1.0));
        m_panel->SetChanged(false);
        const std::vector<uint8_t> before = Take();
        m_report.answers = {false};
        Import(2, Work("song.flac"));  // slot 2 holds audio
        QCOMPARE(m_report.questions.size(), size_t(1));
        QVERIFY(m_report.messages.empty());
        QVERIFY(Take() == before);
        QVERIFY(!m_panel->IsChanged());
        QCOMPARE(TheApp()->m_importFilePath, QString());
    }

    void unitFormatFileIsNotQuestioned()
    {
        QVERIFY(MakeTone(WorkStd("unit.wav"), "-r 8000 -c 1 -e u-law", 0.5));
        Import(1, Work("unit.wav"));
        QVERIFY(m_report.questions.empty());
        QVERIFY(m_report.messages.empty());
        QCOMPARE(Map().GetLength(1), 4000u);
    }

    void corruptFlacGivesTheImportsMessages()
    {
        QVERIFY(MakeTone(WorkStd("good.flac"), "-r 44100 -c 1 -b 16", 1.0));
        std::vector<uint8_t> bytes = ReadBytes(WorkStd("good.flac"));
        std::memcpy(bytes.data(), "XXXX", 4);
        QFile bad(Work("bad.flac"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        bad.close();
        m_panel->SetChanged(false);
        const std::vector<uint8_t> before = Take();
        Import(0, Work("bad.flac"));
        QVERIFY(m_report.questions.empty());
        QCOMPARE(m_report.messages,
                 (std::vector<std::string>{"Trouble with " + WorkStd("bad.flac") +
                                           "\nFile is not a .WAV type\nTrouble with file header\n"}));
        QVERIFY(Take() == before);
        QVERIFY(!m_panel->IsChanged());
    }

    // A decoder that crashes or runs over its limits costs the file, never
    // the panel: the refusal names the file and the reason, nothing changes.
    void decoderFaultsAreRefusedAndChangeNothing()
    {
        QVERIFY(MakeTone(WorkStd("song.flac"), "-r 44100 -c 1 -b 16", 1.0));
        const struct {
            const char* fault;
            const char* reason;
        } cases[] = {
            {"crash", DecoderFault::kCrashReason},
            {"spin", DecoderFault::kTimeReason},
        };
        for (const auto& c : cases) {
            m_report.Clear();
            m_panel->SetChanged(false);
            const std::vector<uint8_t> before = Take();
            m_report.answers = {true};
            {
                DecoderFault fault(c.fault);
                Import(2, Work("song.flac"));
            }
            QCOMPARE(m_report.messages, (std::vector<std::string>{"The audio file could not be read.\n" +
                                                                  WorkStd("song.flac") + ": " + c.reason}));
            QVERIFY(Take() == before);
            QVERIFY(!m_panel->IsChanged());
            QVERIFY(m_panel->isVisible());
        }
    }

    void fileDialogOffersWaveFirstThenEveryAudioFile()
    {
        m_panel->SelectRow(0);
        m_panel->OnImportWav();  // cancelled: no answer
        QCOMPARE(m_dialogs.shown.size(), size_t(1));
        const CFileDialogRequest request = m_dialogs.shown[0].request;

        QStringList filters;
        QString selected;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            filters = dialog->nameFilters();
            selected = dialog->selectedNameFilter();
            dialog->reject();
        });
        CQtFileDialogs real;
        QCOMPARE(real.GetOpenPath(m_panel.get(), request), QString());
        QCOMPARE(filters, (QStringList{"Wave files (*.wav)", "Audio files (*.wav *.flac *.ogg *.opus *.mp3)"}));
        QCOMPARE(selected, QString("Wave files (*.wav)"));
    }

    // A conversion long enough to be seen shows a progress box; its Cancel
    // ends the import with nothing changed, even when the conversion has just
    // finished.
    void cancelledConversionChangesNothing()
    {
        for (uint8_t s = 0; s < 8; ++s)
            Map().ClearSlot(s);
        QVERIFY(MakeTone(WorkStd("long.flac"), "-r 48000 -c 2 -b 16", 600));  // seconds of decoding
        m_panel->SetChanged(false);
        const std::vector<uint8_t> before = Take();
        bool sawBox = false;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (box && !sawBox) {
                sawBox = true;
                QPushButton* cancel = box->findChild<QPushButton*>();
                QVERIFY(cancel);
                QCOMPARE(cancel->text(), QString("Cancel"));
                cancel->click();
            }
        });
        poll.start();
        m_report.answers = {true};
        Import(0, Work("long.flac"));
        poll.stop();
        QVERIFY(sawBox);
        // The decoder helper was ended and reaped: no child is left.
        QCOMPARE(::waitpid(-1, nullptr, WNOHANG), pid_t(-1));
        QVERIFY2(m_report.messages.empty(), m_report.messages.empty() ? "" : m_report.messages[0].c_str());
        QVERIFY(Take() == before);
        QVERIFY(!m_panel->IsChanged());
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<ImportPanelTest>(argc, argv);
}

#include "ImportPanelTest.moc"
