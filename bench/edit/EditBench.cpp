// The "Edit Message" dialog while it records through the real audio library
// (file-backed capture), measured on the GUI thread:
//  1. one recording tick: everything the event loop does for the dialog
//     between two ticks of its 15 ms timer (MeterGetPeak, SetLevel, the
//     countdown, and the repaint of the meter and the figure that follow);
//     aim under 1 ms;
//  2. the longest stall of the GUI thread across Stop and the save of the
//     recording: the largest gap between the ticks of a 5 ms probe timer, and
//     the wall time of the Stop click itself; aim under 50 ms.
// For comparison it also runs the meter alone (SetLevel and a forced
// repaint), as bench-meter does.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QWindow>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CSonvoxLibrary.h"
#include "CMeter.h"
#include "CTXEditDlg.h"
#include "IFileDialogs.h"
#include "IOperatorReport.h"
#include "cMemoryMap.h"
#include "sonvox.h"

namespace {

constexpr double kTickAimUs = 1000.0;
constexpr double kStallAimMs = 50.0;

class QuietReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override
    {
        messages.push_back(text);
        return false;
    }
    std::vector<std::string> messages;
};

// Times everything the event loop hands to the dialog (and its timer)
// between two ticks of the dialog's timer, nested deliveries counted once.
class TimedApp : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_longestOn && m_depth == 0 && !m_dialog) {
            // Every delivery on the GUI thread: the longest is our own work,
            // the rest of a probe gap is the scheduler.
            ++m_depth;
            QElapsedTimer clock;
            clock.start();
            const bool result = QApplication::notify(receiver, event);
            m_longestNs = std::max(m_longestNs, clock.nsecsElapsed());
            --m_depth;
            return result;
        }
        if (!m_dialog || m_depth > 0 || !Watched(receiver))
            return QApplication::notify(receiver, event);
        const bool tick = receiver == m_timer && event->type() == QEvent::Timer;
        if (tick && m_inTick)
            m_ticks.push_back({m_tickWorkNs / 1000.0, m_paintNs / 1000.0});
        if (tick) {
            m_inTick = true;
            m_tickWorkNs = m_paintNs = 0;
        }
        ++m_depth;
        QElapsedTimer clock;
        clock.start();
        const bool result = QApplication::notify(receiver, event);
        const qint64 ns = clock.nsecsElapsed();
        --m_depth;
        if (m_inTick)
            (tick ? m_tickWorkNs : m_paintNs) += ns;
        return result;
    }

    void Watch(QWidget* dialog, const QObject* timer)
    {
        m_dialog = dialog;
        m_timer = timer;
        m_inTick = false;
        m_ticks.clear();
    }
    void Unwatch() { m_dialog = nullptr; }
    // The longest single event delivery from now on.
    void TimeLongest(bool on)
    {
        m_longestOn = on;
        if (on)
            m_longestNs = 0;
    }
    double LongestMs() const { return m_longestNs / 1e6; }

    struct Tick {
        double workUs;   // the timer's slot: peak, level, countdown
        double paintUs;  // the repaints that follow it
    };
    const std::vector<Tick>& Ticks() const { return m_ticks; }

private:
    bool Watched(QObject* receiver) const
    {
        if (receiver == m_timer)
            return true;
        for (QObject* o = receiver; o; o = o->parent())
            if (o == m_dialog)
                return true;
        auto* window = qobject_cast<QWindow*>(receiver);
        return window && window == m_dialog->windowHandle();
    }

    QWidget* m_dialog = nullptr;
    const QObject* m_timer = nullptr;
    int m_depth = 0;
    bool m_inTick = false;
    bool m_longestOn = false;
    qint64 m_longestNs = 0;
    qint64 m_tickWorkNs = 0, m_paintNs = 0;
    std::vector<Tick> m_ticks;
};

class NoFileDialogs : public IFileDialogs {
public:
    QString GetOpenPath(QWidget*, const CFileDialogRequest&) override { return QString(); }
    QString GetSavePath(QWidget*, const CFileDialogRequest&) override { return QString(); }
};

struct Stats {
    double mean = 0, median = 0, p99 = 0, max = 0;
    size_t count = 0, overAim = 0;
};

Stats Summarise(std::vector<double> v, double aim)
{
    Stats s;
    if (v.empty())
        return s;
    double sum = 0;
    for (double x : v)
        sum += x;
    s.count = v.size();
    s.mean = sum / v.size();
    s.overAim = size_t(std::count_if(v.begin(), v.end(), [aim](double x) { return x > aim; }));
    std::sort(v.begin(), v.end());
    s.max = v.back();
    s.median = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    return s;
}

void PrintTick(const char* what, const Stats& s)
{
    std::printf("  %-30s mean %7.1f us  median %7.1f us  p99 %7.1f us  max %8.1f us  mean/aim %.4f  max/aim %.4f  over "
                "aim %zu/%zu\n",
                what, s.mean, s.median, s.p99, s.max, s.mean / kTickAimUs, s.max / kTickAimUs, s.overAim, s.count);
}

bool Run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Speech with room noise under it, at least `seconds` long, 16 kHz 16-bit.
bool MakeCapture(const QString& dir, int seconds, QString& capture)
{
    const QString raw = dir + "/raw.wav", speech = dir + "/speech.wav", longer = dir + "/long.wav",
                  noise = dir + "/noise.wav";
    capture = dir + "/capture.wav";
    const QString text =
        "Attention please. The north exit is closed for cleaning. Please leave the building by the south "
        "doors and follow the signs to the car park. Thank you for your patience.";
    if (!Run("espeak-ng", {"-w", raw, text}) ||
        !Run("sox", {raw, "-r", "16000", "-b", "16", "-c", "1", speech, "pad", "0", "0.8"}))
        return false;
    QProcess info;
    info.start("soxi", {"-D", speech});
    info.waitForFinished(-1);
    const double each = QString::fromLocal8Bit(info.readAllStandardOutput()).trimmed().toDouble();
    const int total = seconds + 5;
    const int repeats = each > 0 ? int(std::ceil(total / each)) : 1;
    const QString length = QString::number(total);
    return Run("sox", {speech, longer, "repeat", QString::number(repeats), "trim", "0", length}) &&
           Run("sox",
               {"-n", "-r", "16000", "-b", "16", "-c", "1", noise, "synth", length, "whitenoise", "vol", "0.02"}) &&
           Run("sox", {"-m", longer, noise, capture});
}

// Runs the event loop for ms milliseconds.
void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The meter alone, as bench-meter measures it.
Stats MeterAlone(int ticks)
{
    CMeter meter;
    meter.resize(meter.sizeHint());
    meter.show();
    QCoreApplication::processEvents();
    std::vector<double> us;
    unsigned seed = 12345;
    QElapsedTimer clock;
    for (int i = 0; i < ticks + 50; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int level = int(32767 * (0.5 + 0.5 * std::sin(i / 20.0)) * ((seed >> 16) % 1000) / 1000.0);
        clock.start();
        meter.SetLevel(level);
        meter.repaint();
        if (i >= 50)
            us.push_back(clock.nsecsElapsed() / 1000.0);
    }
    return Summarise(us, kTickAimUs);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench-edit: no temporary folder\n");
        return 1;
    }
    QString capture;
    if (!MakeCapture(dir.path(), seconds, capture)) {
        std::fprintf(stderr, "bench-edit: espeak-ng or sox failed to make the capture file\n");
        return 1;
    }
    qputenv("SONVOX_CAPTURE_FILE", capture.toLocal8Bit());
    qputenv("SONVOX_PLAYBACK_FILE", (dir.path() + "/played.wav").toLocal8Bit());

    TimedApp app(argc, argv);
    const std::string log = (dir.path() + "/Audio.log").toStdString();
    if (Audio_Init(0, log.c_str(), 1) != 1) {
        std::fprintf(stderr, "bench-edit: the audio library did not start (see %s)\n", log.c_str());
        return 1;
    }

    const Stats alone = MeterAlone(2000);

    cMemoryMap map;
    CSonvoxLibrary sonvox;
    QuietReport report;
    NoFileDialogs files;
    const std::string work = dir.path().toStdString() + '/';
    CTXEditDlg dialog(sonvox, report, map, &files);
    dialog.m_label = "Message 1 name";
    dialog.m_name = "Bench";
    dialog.m_playCount = 1;
    dialog.m_setup.slot = 0;
    dialog.m_setup.roomLeft = int32_t(map.GetRoomLeft());
    dialog.m_setup.scratchPath = work + "TXTemp.wav";
    dialog.m_setup.workingFolder = work;
    dialog.show();
    Spin(200);

    // The probe: a 5 ms timer whose largest gap is the longest stall.
    QElapsedTimer probeClock;
    qint64 lastProbe = -1, maxGapNs = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = probeClock.nsecsElapsed();
        if (lastProbe >= 0)
            maxGapNs = std::max(maxGapNs, now - lastProbe);
        lastProbe = now;
    });
    probeClock.start();
    probe.start(5);

    // Recording.
    app.Watch(&dialog, &dialog.Timer());
    dialog.RecordButton()->click();
    if (dialog.RecordButton()->text() != "Stop") {
        std::fprintf(stderr, "bench-edit: the recording did not start\n");
        return 1;
    }
    Spin(seconds * 1000);
    app.Unwatch();
    const qint64 recordingGapNs = maxGapNs;
    const std::vector<TimedApp::Tick> ticks = app.Ticks();

    // Stop and the save, until the dialog takes commands again.
    maxGapNs = 0;
    lastProbe = -1;
    Spin(20);
    app.TimeLongest(true);
    QElapsedTimer wall;
    wall.start();
    dialog.RecordButton()->click();
    const double clickMs = wall.nsecsElapsed() / 1e6;
    while (!dialog.RecordButton()->isEnabled() || dialog.Session()->State() != AudioIdle)
        Spin(5);
    const double readyMs = wall.nsecsElapsed() / 1e6;
    Spin(100);
    app.TimeLongest(false);
    const double stallMs = maxGapNs / 1e6;
    probe.stop();

    std::vector<double> total, work1, paint;
    for (const TimedApp::Tick& t : ticks) {
        total.push_back(t.workUs + t.paintUs);
        work1.push_back(t.workUs);
        paint.push_back(t.paintUs);
    }
    const int64_t savedBytes = QFileInfo(QString::fromStdString(dialog.m_setup.scratchPath)).size() - 44;

    std::printf("bench-edit: %d s recording through the file-backed capture, dialog timer %u ms\n", seconds,
                CEditSession::kRecordTickMs);
    std::printf("recording tick (aim %.0f us):\n", kTickAimUs);
    PrintTick("whole tick (slot + repaint)", Summarise(total, kTickAimUs));
    PrintTick("timer slot alone", Summarise(work1, kTickAimUs));
    PrintTick("repaint after it", Summarise(paint, kTickAimUs));
    PrintTick("baseline: meter alone", alone);
    std::printf("  largest probe gap while recording %.1f ms\n", recordingGapNs / 1e6);
    std::printf("Stop + save (aim %.0f ms):\n", kStallAimMs);
    std::printf("  longest GUI stall %8.1f ms  stall/aim %.2f\n", stallMs, stallMs / kStallAimMs);
    std::printf("  Stop click        %8.1f ms  click/aim %.2f\n", clickMs, clickMs / kStallAimMs);
    std::printf("  longest event     %8.1f ms  event/aim %.2f (the rest of a gap is the scheduler)\n", app.LongestMs(),
                app.LongestMs() / kStallAimMs);
    std::printf("  ready again after %8.1f ms (saved %.2f s of audio)\n", readyMs,
                savedBytes > 0 ? savedBytes / 8000.0 : 0.0);
    for (const std::string& m : report.messages)
        std::printf("  message: %s\n", m.c_str());

    dialog.reject();
    Audio_Release();
    return 0;
}
