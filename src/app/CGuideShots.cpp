#include "CGuideShots.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QComboBox>
#include <QProcess>
#include <QProgressBar>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "CTXDoruvevAzadDlg.h"
#include "IOperatorReport.h"
#include "cMemoryMap.h"

namespace {

// Time for a window to be laid out and painted before it is grabbed.
constexpr int kSettleMs = 300;
// Wider pictures are scaled down to fit the width of the guide's text.
constexpr int kMaxWidth = 480;
constexpr int kWatchdogMs = 120000;

QPushButton* ButtonOf(QWidget* window, const QString& caption)
{
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (QString(b->text()).remove('&') == caption)
            return b;
    return nullptr;
}

// Lets the program run until ready() holds, at most timeoutMs.
bool WaitFor(const std::function<bool()>& ready, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

class CQuietReport : public IOperatorReport {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
};

void Close(QWidget* window)
{
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else if (window)
        window->close();
}

}  // namespace

CGuideShots::CGuideShots(CTXDoruvevAzadDlg& panel, const QString& folder)
    : QObject(&panel), m_panel(panel), m_folder(folder)
{
}

const QStringList& CGuideShots::Names()
{
    static const QStringList names{"panel", "file-menu", "edit", "settings", "silence", "unit", "about"};
    return names;
}

void CGuideShots::FillSampleImage(cMemoryMap& map)
{
    struct Sample {
        const char* name;
        uint32_t bytes;
        uint8_t count;
    };
    const Sample samples[] = {{"Welcome", 25600, 1}, {"Store closing", 44000, 0}, {"Fire exit", 16000, 3}};
    uint8_t slot = 0;
    for (const Sample& s : samples) {
        uint8_t* at = map.AllocateAtEnd(slot);
        if (!at)
            return;
        // A soft tone in mu-law: the picture needs a length, not a sound.
        for (uint32_t i = 0; i < s.bytes; ++i)
            at[i] = uint8_t(0xF0 + (i % 16));
        map.SetLength(slot, s.bytes);
        map.SetName(slot, s.name);
        map.SetPlayCount(slot, s.count);
        map.MarkSectorsNeeded(slot);
        ++slot;
    }
    // A file that stands for the microphone (SONVOX_CAPTURE_FILE) says the
    // first message again, so that the Edit Message window can be shown
    // while it records.
    CQuietReport quiet;
    if (const char* capture = std::getenv("SONVOX_CAPTURE_FILE"))
        map.ExportSlotWav(0, capture, quiet);
}

void CGuideShots::Start()
{
    // A build step must never hang: should a window wait for an answer
    // after all, the program ends with a failure.
    QTimer::singleShot(kWatchdogMs, this, [] {
        std::fprintf(stderr, "ormid: the guide pictures were not done in time\n");
        std::_Exit(1);
    });
    QDir().mkpath(m_folder);
    QTimer::singleShot(kSettleMs, this, [this] { Run(); });
}

void CGuideShots::Save(QWidget* window, const QString& name)
{
    if (!window)
        return;
    QImage picture = window->grab().toImage();
    if (picture.width() > kMaxWidth)
        picture = picture.scaledToWidth(kMaxWidth, Qt::SmoothTransformation);
    picture.save(m_folder + '/' + name + ".png");
}

void CGuideShots::OnNextModal(const QString& name, std::function<void(QWidget*)> then)
{
    QTimer::singleShot(kSettleMs, this, [this, name, then] {
        QWidget* window = QApplication::activeModalWidget();
        if (window == &m_panel)
            window = nullptr;
        Save(window, name);
        then(window);
    });
}

void CGuideShots::Run()
{
    Save(&m_panel, "panel");

    // The File menu, open under its title, with its shortcuts.
    QAction* fileTitle = m_panel.MenuBar()->actions().value(0);
    if (QMenu* file = fileTitle ? fileTitle->menu() : nullptr) {
        file->popup(m_panel.MenuBar()->mapToGlobal(m_panel.MenuBar()->actionGeometry(fileTitle).bottomLeft()));
        QTimer::singleShot(kSettleMs, this, [this, file] {
            Save(file, "file-menu");
            file->hide();
            QTimer::singleShot(0, this, [this] { RunDialogs(); });
        });
        return;
    }
    RunDialogs();
}

void CGuideShots::ShowRecording(QWidget* edit)
{
    // Mid-recording where the sound system runs (the capture file stands for
    // the microphone); the window as it opened where it does not.
    QPushButton* record = ButtonOf(edit, "Record");
    const auto caption = [record] { return QString(record->text()).remove('&'); };
    if (!record || !m_panel.IsSonvoxAvailable()) {
        Save(edit, "edit");
        return;
    }
    record->click();
    if (!WaitFor([&] { return caption() == "Stop"; }, 10000)) {
        Save(edit, "edit");
        return;
    }
    // A second of countdown and meter.
    WaitFor([] { return false; }, 1200);
    Save(edit, "edit");
    // The processed recording may bring a remark (a tone sounds "noisy"),
    // in a box of its own: answered here, so that nothing waits for an operator.
    QTimer answer;
    answer.setInterval(100);
    connect(&answer, &QTimer::timeout, this, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
    });
    answer.start();
    record->click();
    WaitFor([&] { return caption() == "Record" && record->isEnabled(); }, 30000);
}

QString CGuideShots::StartSimulatedUnit()
{
    // Paced like a real line, with a real unit's erase time: the write is
    // still under way when it is grabbed.
    m_unit = new QProcess(this);
    m_unit->start(QCoreApplication::applicationDirPath() + "/ormid-unitsim", {});
    QString port;
    WaitFor([&] {
        if (m_unit->state() == QProcess::NotRunning)
            return true;
        if (m_unit->canReadLine()) {
            const QString line = QString::fromUtf8(m_unit->readLine()).trimmed();
            if (line.startsWith("port: "))
                port = line.mid(6);
        }
        return !port.isEmpty();
    }, 10000);
    return port;
}

void CGuideShots::ShowWriting(QWidget* unit, const QString& port)
{
    QPushButton* write = ButtonOf(unit, "Write Unit");
    auto* progress = unit->findChild<QProgressBar*>();
    bool chosen = false;
    for (QComboBox* box : unit->findChildren<QComboBox*>()) {
        const int at = port.isEmpty() ? -1 : box->findData(port);
        if (at >= 0) {
            box->setCurrentIndex(at);
            chosen = true;
        }
    }
    if (chosen && write && progress) {
        write->click();
        WaitFor([&] { return progress->value() > progress->minimum() + 5; }, 30000);
    }
    Save(unit, "unit");
}

void CGuideShots::RunDialogs()
{
    // Edit Message for the first message, and the two windows it opens.
    // Each command below returns once its window has been saved and closed.
    m_panel.SelectRow(0);
    QTimer::singleShot(kSettleMs, this, [this] {
        QWidget* edit = QApplication::activeModalWidget();
        if (edit == &m_panel)
            return;
        ShowRecording(edit);
        for (const auto& [caption, name] : {std::pair{"Settings", "settings"}, std::pair{"Make Silence", "silence"}}) {
            QPushButton* button = ButtonOf(edit, caption);
            if (!button)
                continue;
            OnNextModal(name, Close);
            button->click();
        }
        Close(edit);
    });
    m_panel.OnEdit();

    // Unit Communications, writing to a simulated unit where one starts.
    const QString port = StartSimulatedUnit();
    QTimer::singleShot(kSettleMs, this, [this, port] {
        QWidget* unit = QApplication::activeModalWidget();
        if (unit == &m_panel)
            return;
        ShowWriting(unit, port);
        if (QPushButton* close = ButtonOf(unit, "Close"))
            close->click();
        else
            Close(unit);
    });
    m_panel.OnReadWriteUnit();
    if (m_unit) {
        m_unit->kill();
        m_unit->waitForFinished(5000);
    }
    OnNextModal("about", Close);
    m_panel.OnAbout();
    m_panel.OnClose();
}
