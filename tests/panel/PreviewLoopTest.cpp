// The panel's preview paths on the real audio library, round and round:
// preview and stop, preview to the end, delete while previewing, close while
// previewing and open again. The library plays into its file device, so every
// round can be checked in what was played. ORMID_PREVIEW_ROUNDS raises the
// number of rounds for soak runs under the sanitizers and valgrind.
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sys/stat.h>

#include "AppTestMain.h"
#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "QuickPanel.h"
#include "PanelDoubles.h"

namespace {

constexpr int kChunk = 240;

// The three messages of the image: lengths in bytes (whole chunks, so that
// nothing is padded) and one mu-law code each.
struct Message {
    const char* name;
    uint32_t bytes;
    uint8_t code;
    uint8_t played;  // the code decoded to 8-bit PCM, as the device gets it
};
const Message kMessages[3] = {
    {"First", 12 * kChunk, 0x80, 254},  // 360 ms
    {"Second", 8 * kChunk, 0x00, 2},    // 240 ms
    {"Third", 16 * kChunk, 0xC0, 135},  // 480 ms
};

// The data of the file device's playback file: what has been played so far.
QByteArray PlayedData(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    if (all.size() < 44)
        return {};
    uint32_t size = 0;
    std::memcpy(&size, all.constData() + 40, 4);
    return all.mid(44, int(std::min<qint64>(size, all.size() - 44)));
}

// The names of the audio library's threads now running in this process.
QStringList LibraryThreads()
{
    QStringList names;
    const QDir tasks("/proc/self/task");
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + "/comm"));
        if (!comm.open(QIODevice::ReadOnly))
            continue;  // ended meanwhile
        const QString name = QString::fromLatin1(comm.readAll()).trimmed();
        if (name.startsWith("sonvox-"))
            names << name;
    }
    names.sort();
    return names;
}

int Rounds()
{
    const int asked = qEnvironmentVariableIntValue("ORMID_PREVIEW_ROUNDS");
    return asked > 0 ? asked : 3;
}

}  // namespace

class PreviewLoopTest : public QObject {
    Q_OBJECT

public:
    explicit PreviewLoopTest(const QString& workDir) : m_work(workDir) { }

private:
    CTXDoruvevAzadApp& App() { return *TheApp(); }
    cMemoryMap& Map() { return App().m_memoryMap; }
    QString Work(const QString& name) const { return m_work + '/' + name; }

    void PutMessage(int slot, const Message& m)
    {
        Map().ClearSlot(uint8_t(slot));
        uint8_t* at = Map().AllocateAtEnd(uint8_t(slot));
        QVERIFY(at);
        std::memset(at, m.code, m.bytes);
        Map().SetLength(uint8_t(slot), m.bytes);
        Map().SetName(uint8_t(slot), m.name);
        Map().SetPlayCount(uint8_t(slot), 1);
        Map().MarkSectorsNeeded(uint8_t(slot));
    }

    void PutThreeMessages()
    {
        for (uint8_t s = 0; s < 8; ++s)
            Map().ClearSlot(s);
        for (int s = 0; s < 3; ++s)
            PutMessage(s, kMessages[s]);
    }

    // A panel on the real library, as the program opens it.
    void OpenPanel()
    {
        m_report.Clear();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, &m_report, nullptr));
        m_panel->OnInitDialog();
        m_panel->show();
        QCOMPARE(App().m_audioAvailable, 1);
        QCOMPARE(CaptionState(), QString("Preview idle"));
        QCOMPARE(LibraryThreads(), (QStringList{"sonvox-play", "sonvox-poll"}));
    }

    QPushButton* Button(const QString& caption) const
    {
        for (QPushButton* b : m_panel->findChildren<QPushButton*>())
            if (Plain(b->text()) == caption)
                return b;
        return nullptr;
    }

    // The preview button's caption and the audio state, in one string so that
    // a mismatch shows both.
    QString CaptionState()
    {
        const int state = App().m_audioState;
        const char* name = state == AudioIdle ? "idle" : state == AudioPlaying ? "playing" : "recording";
        return Plain(m_panel->PreviewButton()->text()) + ' ' + name;
    }

    // Starts the preview of a row; it must be playing afterwards.
    void StartPreview(int row)
    {
        m_panel->SelectRow(row);
        m_before = PlayedData(m_playback).size();
        m_sameRow = row == m_playing ? m_sameRow + 1 : 1;
        m_playing = row;
        m_panel->PreviewButton()->click();
        QCOMPARE(CaptionState(), QString("Stop playing"));
        QVERIFY(m_report.messages.empty());
    }

    // What the last preview added to the playback file: whole chunks of its
    // own message and never more than the message. A stop does not wait for
    // the playback thread, so chunks of earlier previews may trail in first
    // (and count as its own when the same row was previewed just before);
    // once its own chunks have begun, nothing else may appear.
    void CheckPlayed(bool mustHavePlayed)
    {
        const QByteArray played = PlayedData(m_playback);
        QVERIFY(played.size() >= m_before);
        const QByteArray added = played.mid(m_before);
        const Message& m = kMessages[m_playing];
        int own = 0;
        for (int i = 0; i < added.size(); ++i) {
            const uint8_t c = uint8_t(added[i]);
            if (c == m.played)
                ++own;
            else
                QVERIFY2(own == 0 && m_allowed.count(c),
                         qPrintable(QString("byte %1 at %2 of %3 added after %4 (row %5 wants %6)")
                                        .arg(c)
                                        .arg(i)
                                        .arg(added.size())
                                        .arg(m_before)
                                        .arg(m_playing + 1)
                                        .arg(m.played)));
        }
        QVERIFY2(own % kChunk == 0, qPrintable(QString("%1 bytes is not whole chunks").arg(own)));
        QVERIFY(own <= m_sameRow * int(m.bytes));
        if (mustHavePlayed)
            QVERIFY2(own > 0, "a preview that ran to its end played nothing");
        m_allowed.insert(m.played);
    }

    void Stop()
    {
        m_panel->PreviewButton()->click();
        QCOMPARE(CaptionState(), QString("Preview idle"));
    }

    QString m_work;
    QString m_playback;
    std::unique_ptr<CTXDoruvevAzadDlg> m_panel;
    CAnsweredFileDialogs m_dialogs;
    CRecordedReport m_report;
    qint64 m_before = 0;
    int m_playing = -1;
    int m_sameRow = 0;  // previews of this row in a row
    std::set<uint8_t> m_allowed;

private slots:
    void initTestCase()
    {
        // The library's file device stands in for the sound card: it reads
        // "recordings" from one WAV file and appends what it plays to another.
        const QString capture = Work("capture.wav");
        uint8_t header[44];
        cMemoryMap::BuildWavHeader(800, header);
        QFile file(capture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(header), 44);
        file.write(QByteArray(800, char(0xFF)));
        file.close();
        m_playback = Work("played.wav");
        qputenv("SONVOX_CAPTURE_FILE", QFile::encodeName(capture));
        qputenv("SONVOX_PLAYBACK_FILE", QFile::encodeName(m_playback));
    }

    void previewPathsRoundAndRound()
    {
        PutThreeMessages();
        OpenPanel();
        const int rounds = Rounds();
        for (int round = 0; round < rounds; ++round) {
            // Row 1 of three messages, stopped at once and then after a while.
            StartPreview(0);
            Stop();
            CheckPlayed(false);
            StartPreview(0);
            QTest::qWait(100);
            Stop();
            CheckPlayed(false);

            // Another row while one plays: Stop first, then the other row.
            StartPreview(2);
            Stop();
            CheckPlayed(false);
            StartPreview(1);

            // Runs to its end: the panel's timer stops it.
            QTRY_COMPARE_WITH_TIMEOUT(CaptionState(), QString("Preview idle"), 10000);
            CheckPlayed(true);

            // Delete while previewing: the preview stops, the row goes.
            StartPreview(2);
            QTest::qWait(20);
            m_panel->SelectRow(2);
            Button("Delete")->click();
            QCOMPARE(CaptionState(), QString("Preview idle"));
            QCOMPARE(Map().GetLength(2), 0u);
            CheckPlayed(false);
            PutMessage(2, kMessages[2]);
            m_panel->RefreshList();

            // Close while previewing, then open the panel again: the library
            // was let go and starts anew.
            StartPreview(0);
            QTest::qWait(20);
            Button("Close")->click();
            QCOMPARE(CaptionState(), QString("Preview idle"));
            QVERIFY(m_panel->isHidden());
            QCOMPARE(int(m_report.questions.size()), 1);  // the deletion changed the image
            CheckPlayed(false);
            // Letting the library go ended every thread it had started.
            // A joined thread can still be listed for a moment while the
            // system takes it down; one that stays was left running.
            QTRY_COMPARE_WITH_TIMEOUT(LibraryThreads().join(", "), QString(), 100);
            m_panel.reset();
            OpenPanel();
        }
        m_panel.reset();
        QFile audioLog(Work("Audio.log"));
        QVERIFY(audioLog.open(QIODevice::ReadOnly));
        const QByteArray logText = audioLog.readAll();
        QVERIFY2(!logText.contains("did not end"), logText.constData());
        QVERIFY2(!logText.contains("Unable to open output device"), logText.constData());
    }

    // The same paths through PortAudio, on ALSA's null device behind a
    // sample-rate converter that ALSA loads as a module for every stream it
    // opens and unloads at every close, as sound-server plugins are on a
    // desktop. Only the panel's states can be checked here.
    void previewPathsThroughPortAudio()
    {
        const QString home = Work("home");
        QVERIFY(QDir().mkpath(home));
        QFile rc(home + "/.asoundrc");
        QVERIFY(rc.open(QIODevice::WriteOnly));
        rc.write("pcm.!default { type plug slave { pcm \"null\" rate 48000 } rate_converter \"samplerate\" }\n"
                 "ctl.!default { type hw card 0 }\n");
        rc.close();
        const QByteArray savedHome = qgetenv("HOME");
        const QByteArray capture = qgetenv("SONVOX_CAPTURE_FILE");
        qputenv("HOME", QFile::encodeName(home));
        qunsetenv("SONVOX_CAPTURE_FILE");
        qunsetenv("SONVOX_PLAYBACK_FILE");
        struct Restore {
            QByteArray home, capture, playback;
            ~Restore()
            {
                qputenv("HOME", home);
                qputenv("SONVOX_CAPTURE_FILE", capture);
                qputenv("SONVOX_PLAYBACK_FILE", playback);
            }
        } restore{savedHome, capture, QFile::encodeName(m_playback)};

        // The library silences the sound system's complaints on standard
        // error for a moment now and then; the process must get it back.
        struct stat stderrBefore { };
        QCOMPARE(fstat(2, &stderrBefore), 0);

        PutThreeMessages();
        m_report.Clear();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, &m_report, nullptr));
        m_panel->OnInitDialog();
        if (App().m_audioAvailable != 1) {
            m_panel.reset();
            QSKIP("PortAudio finds no usable device on ALSA's null device here");
        }
        const int rounds = Rounds();
        for (int round = 0; round < rounds; ++round) {
            StartPreview(0);
            Stop();
            StartPreview(2);
            QTest::qWait(50);
            Stop();
            StartPreview(1);
            QTRY_COMPARE_WITH_TIMEOUT(CaptionState(), QString("Preview idle"), 10000);
            StartPreview(2);
            m_panel->SelectRow(2);
            Button("Delete")->click();
            QCOMPARE(CaptionState(), QString("Preview idle"));
            PutMessage(2, kMessages[2]);
            m_panel->RefreshList();
            StartPreview(0);
            Button("Close")->click();
            QCOMPARE(CaptionState(), QString("Preview idle"));
            // A joined thread can still be listed for a moment while the
            // system takes it down; one that stays was left running.
            QTRY_COMPARE_WITH_TIMEOUT(LibraryThreads().join(", "), QString(), 100);
            m_panel.reset();
            m_report.Clear();
            m_panel = std::make_unique<CTXDoruvevAzadDlg>(App(), QuickServices(&m_dialogs, &m_report, nullptr));
            m_panel->OnInitDialog();
            QCOMPARE(App().m_audioAvailable, 1);
        }
        m_panel.reset();
        QFile audioLog(Work("Audio.log"));
        QVERIFY(audioLog.open(QIODevice::ReadOnly));
        const QByteArray logText = audioLog.readAll();
        QVERIFY2(!logText.contains("did not end"), logText.constData());
        QVERIFY2(!logText.contains("Unable to open output device"), logText.constData());
        struct stat stderrAfter { };
        QCOMPARE(fstat(2, &stderrAfter), 0);
        QVERIFY(stderrAfter.st_dev == stderrBefore.st_dev && stderrAfter.st_ino == stderrBefore.st_ino);
    }

    // The program ends with a preview running: the panel's teardown lets
    // the library go before the process exits.
    void teardownWhilePreviewing()
    {
        PutThreeMessages();
        OpenPanel();
        StartPreview(1);
        m_panel.reset();
        QCOMPARE(LibraryThreads(), QStringList());
        App().m_audioState = AudioIdle;
        OpenPanel();
        StartPreview(0);
        Stop();
        m_panel.reset();
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<PreviewLoopTest>(argc, argv);
}

#include "PreviewLoopTest.moc"
