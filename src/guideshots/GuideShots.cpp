// Build step: the pictures of the user guide, taken from the program's own
// windows on the offscreen platform. Usage: ormid-guideshots FOLDER
//
// Every window is built over one demo image made in memory (five named
// messages of tones), brought into the state the guide describes and
// grabbed into FOLDER as a PNG file. No sound device, serial port, printer
// or user setting of the build machine is used, so every build takes the
// same pictures.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <string>

#include "CAboutDlg.h"
#include "CAppState.h"
#include "CDemoSonvox.h"
#include "CMeter.h"
#include "CQtPrintReport.h"
#include "CRecSettingsDlg.h"
#include "CSerialPort.h"
#include "CSerialTransferLink.h"
#include "CTXDoruvevAzadDlg.h"
#include "CTXEditDlg.h"
#include "CTXMakeSilence.h"
#include "CTransferSession.h"
#include "CWindowGrabber.h"
#include "IOperatorReport.h"
#include "MuLawTable.h"
#include "PrintCommands.h"
#include "ProgramSettings.h"
#include "TXCommDlg.h"
#include "TransferTexts.h"

namespace {

// The demo image: what a shop might announce.
struct DemoMessage {
    uint8_t slot;
    const char* name;
    uint32_t samples;   // 8000 a second
    uint8_t playCount;  // 0 continuous
    double hz;
};
const DemoMessage kMessages[] = {
    {0, "Welcome", 33600, 1, 440.0},     {1, "Closing time", 54000, 2, 523.3},  {2, "Fire alarm", 20000, 0, 880.0},
    {3, "Lunch break", 24800, 1, 587.3}, {4, "Special offer", 64000, 3, 659.3},
};

void FillDemoImage(cMemoryMap& image)
{
    const double kTwoPi = 6.283185307179586;
    for (uint8_t s = 0; s < cMemoryMap::kSlotCount; s++)
        image.ClearSlot(s);
    for (const DemoMessage& m : kMessages) {
        uint8_t* at = image.AllocateAtEnd(m.slot);
        for (uint32_t k = 0; k < m.samples; k++)
            at[k] = MuLawTable::EncodeG711(int(8000.0 * std::sin(kTwoPi * m.hz * k / 8000.0)));
        image.SetLength(m.slot, m.samples);
        image.SetName(m.slot, m.name);
        image.SetPlayCount(m.slot, m.playCount);
        image.UpdateChecksum(m.slot);
    }
    image.StoreTableInImage();
    image.RebuildNeededSectors();
}

// Messages a window raises go to the build's output; none is expected.
class CBuildReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "ormid-guideshots: %s\n", text.c_str()); }
    bool AskYesNo(const std::string& text) override
    {
        ShowMessage(text);
        return false;
    }
};

// "Edit Message" 2.35 s into a new recording of slot 6, the microphone at
// about -6 dBFS: what the session shows at that tick, set on the window
// with the step timer stopped and the meter's clock held, so that no clock
// decides the picture.
bool TakeEditRecording(CWindowGrabber& shots, CAppState& state, const QString& work)
{
    CDemoSonvox microphone(16400);
    CBuildReport report;
    cMemoryMap& map = state.m_memoryMap;
    CTXEditDlg dialog(microphone, report, map, nullptr);
    dialog.m_label = "Message 6 name";
    dialog.m_name = "Fire exit";
    dialog.m_playCount = 1;
    dialog.m_setup.slot = 5;
    dialog.m_setup.roomLeft = int32_t(map.GetRoomLeft());
    dialog.m_setup.scratchPath = (work + "/TXTemp.wav").toStdString();
    dialog.m_setup.workingFolder = (work + '/').toStdString();
    dialog.show();
    dialog.RecordButton()->click();
    dialog.StopTimer();
    dialog.Meter()->SetClock([] { return 1000u; });
    int peak = 0;
    microphone.MeterGetPeak(&peak);
    dialog.MeterSetLevel(peak);
    const uint32_t elapsedMs = 2350;
    dialog.SetRemainingText(CEditSession::FormatRemaining(int32_t(map.GetRoomLeft() - 8 * elapsedMs)));
    shots.Take(dialog, "edit-recording");
    // Cancel ends the recording (which captured nothing) and closes once
    // the end of the recording has run aside.
    dialog.reject();
    QDeadlineTimer deadline(10000);
    while (dialog.isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return !dialog.isVisible();
}

void TakeSettings(CWindowGrabber& shots)
{
    CRecSettingsDlg dialog;
    dialog.m_params.gain = 7.4;
    dialog.m_params.clipCount = 3;
    dialog.m_params.snr = 41.2;
    shots.Take(dialog, "settings");
}

void TakeSilence(CWindowGrabber& shots, const cMemoryMap& map)
{
    CTXMakeSilence dialog;
    dialog.m_roomLeft = map.GetRoomLeft();
    dialog.m_amount = 500;
    shots.Take(dialog, "silence");
}

// "Unit Communications" in the middle of sector 3 of a write to a unit on
// the first USB serial adapter, sectors 0 to 2 done: the window's own view
// is told what the write stepper tells it at that point.
void TakeUnitWrite(CWindowGrabber& shots, CAppState& state)
{
    cMemoryMap& map = state.m_memoryMap;
    TXCommDlg dialog(map, CCommShared{&state.m_commPortSel, &state.m_baudRateSel, &state.m_unitReadDone});
    dialog.PortBox()->clear();
    dialog.PortBox()->addItem("/dev/ttyUSB0");
    dialog.BaudBox()->setCurrentIndex(0);
    dialog.VerifyBox()->setChecked(true);

    const uint8_t sector = 3;
    for (uint8_t s = 0; s < sector; s++)
        map.ClearSectorNeeded(s);
    CSerialPort idle;
    CSerialTransferLink link(idle);
    CTransferSession session(map, link, dialog.View());
    session.SetMode(CTransferSession::Mode::Write);
    dialog.View().EnableControls(false);
    dialog.View().SetLamps(true, true, false);
    dialog.View().SetSectorLines(WriteSectorLines(map));
    const uint32_t length = cMemoryMap::GetSectorEnd(sector) - cMemoryMap::GetSectorStart(sector);
    session.Status(FormatText("Transmitting sector %d", int(sector)));
    session.ShowProgress(session.Progress().Reset(length));
    session.ShowProgress(session.Progress().Update(length * 3 / 5));
    shots.Take(dialog, "unit-write");
    map.RebuildNeededSectors();
}

}  // namespace

int main(int argc, char** argv)
{
    // No display, no user settings, no sound: the same pictures everywhere.
    // The offscreen screen is as large as a desktop's, so that no window is
    // made smaller to fit on it.
    QTemporaryDir work;
    QFile screen(work.filePath("screen.json"));
    if (!screen.open(QIODevice::WriteOnly) ||
        screen.write(R"({"screens": [{"name": "shots", "x": 0, "y": 0, "width": 3840, "height": 2160,
                     "logicalDpi": 96, "logicalBaseDpi": 96}]})") < 0)
        return 1;
    screen.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screen.fileName().toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", QByteArray::number(CWindowGrabber::kScale));
    qputenv("XDG_CONFIG_HOME", work.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", work.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", work.path().toLocal8Bit());
    QApplication app(argc, argv);
    app.setApplicationName(ProgramSettings::kProgram);
    app.setOrganizationName(ProgramSettings::kCompany);
    app.setWindowIcon(QIcon(":/ormid/ormid.svg"));
    const QStringList args = app.arguments();
    if (args.size() != 2 || !work.isValid()) {
        std::fprintf(stderr, "usage: ormid-guideshots FOLDER\n");
        return 2;
    }
    QDir().mkpath(args[1]);
    CWindowGrabber shots(args[1]);

    CAppState state;
    FillDemoImage(state.m_memoryMap);
    CBuildReport report;
    {
        CTXDoruvevAzadDlg panel(state, CPanelServices{nullptr, &report, nullptr, {}});
        panel.RefreshList();
        panel.SelectRow(1);
        shots.Take(panel, "panel");

        if (!TakeEditRecording(shots, state, work.path())) {
            std::fprintf(stderr, "ormid-guideshots: Edit Message did not close\n");
            return 1;
        }
        TakeSettings(shots);
        TakeSilence(shots, state.m_memoryMap);
        TakeUnitWrite(shots, state);

        // The printer dialog of Print Image Data, as the panel's command
        // opens it; set to print to a PDF file, whatever printers the build
        // machine has.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFileName("/home/operator/listing.pdf");
        CQtPrintReport printReport(&panel);
        shots.TakeModal("print", [&] { PrintListingFromPanel(panel.Context(), printer, printReport); });
        panel.hide();
    }
    CAboutDlg about;
    shots.Take(about, "about");
    return shots.Failed() ? 1 : 0;
}
