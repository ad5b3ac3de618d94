#include "TXCommDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

#include "CLabelledComboAccessible.h"
#include "CLogFile.h"
#include "CModemLamp.h"
#include "CSettingsStore.h"
#include "CWritePlan.h"
#include "IOperatorReport.h"
#include "NetworkAddress.h"
#include "ProgramSettings.h"
#include "SerialPortList.h"

namespace {

const char* const kCaption = "ORMID";
// The baud list in the order it shows; position 1 is the slow rate.
const char* const kBaudEntries[] = {"115200", "57600"};
// Remembered with the other settings of the program.
const char* const kVerifyKey = "Verify after writing";
// The port by its path: list positions move as ports come and go.
const char* const kPortPathKey = "Comm port path";

}  // namespace

TXCommDlg::TXCommDlg(cMemoryMap& image, const CCommShared& shared, QWidget* parent)
    : QDialog(parent), m_image(image), m_shared(shared), m_link(m_port), m_view(*this), m_portDefaults(this)
{
    // Ports opened while the dialog lives start from their stored default.
    m_previousDefaults = GetPortDefaultsProvider();
    SetPortDefaultsProvider(&m_portDefaults);

    // The read buffer lives as long as the dialog.
    m_transfer = std::make_unique<CUnitTransfer>(m_image, m_link, m_view);

    m_timer.setObjectName(QString("timer %1").arg(kTimerId));
    connect(&m_timer, &QTimer::timeout, this, &TXCommDlg::OnTimer);

    CLabelledComboAccessible::Install();
    BuildWindow();
    SetStatusText("Ready");
    FillLists();

    // Nothing runs yet: request and display cleared, lamps unlit, controls on.
    m_transfer->Finish();
    m_port.SetOwner(&m_view);
    m_link.SetEventSink(&m_view);
    if (m_shared.unitReadDone && *m_shared.unitReadDone)
        m_closeButton->setFocus();
    else
        m_readButton->setFocus();

    TheLog().Write("%s", GetOsDescription().c_str());
}

TXCommDlg::~TXCommDlg()
{
    // The worker must stop calling into the view before the view goes; the
    // finish step closes the port, which ends the worker.
    m_port.SetOwner(nullptr);
    m_link.SetEventSink(nullptr);
    m_transfer->Finish();
    m_transfer.reset();
    SetPortDefaultsProvider(m_previousDefaults);
}

int TXCommDlg::DoModal()
{
    return exec();
}

void TXCommDlg::BuildWindow()
{
    setWindowTitle("Unit Communications");

    m_portBox = new QComboBox(this);
    m_portBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_portBox->setMinimumContentsLength(14);
    // A port on the network is typed in (rfc2217://HOST:PORT or tcp://HOST:PORT);
    // it joins the list once it has opened, not as it is typed.
    m_portBox->setEditable(true);
    m_portBox->setInsertPolicy(QComboBox::NoInsert);
    m_baudBox = new QComboBox(this);
    auto* portLabel = new QLabel("Comm &Port", this);
    portLabel->setBuddy(m_portBox);
    // The box a network port is typed into is read as the list's own field.
    m_portBox->lineEdit()->setAccessibleName(portLabel->text().remove('&'));
    auto* baudLabel = new QLabel("&Baud Rate", this);
    baudLabel->setBuddy(m_baudBox);

    m_readButton = new QPushButton("&Read Unit", this);
    m_writeButton = new QPushButton("&Write Unit", this);
    // What "Write Unit" would send and about how long it takes.
    m_planLabel = new QLabel(this);
    m_planLabel->setObjectName("write plan");
    // It takes the width the buttons give it, wrapping when it needs more, so
    // that it never widens the column of the check boxes.
    m_planLabel->setWordWrap(true);
    m_planLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_recoverButton = new QPushButton("R&ecover unit", this);
    m_recoverButton->setToolTip("Write the unit after completing a sector that an interrupted write left open "
                                "(for a unit that does not answer)");
    m_oneSectorBox = new QCheckBox("Write &one sector at a time", this);
    m_noTimeoutsBox = new QCheckBox("&Disable timeouts", this);
    m_verifyBox = new QCheckBox("&Verify after writing", this);
    m_verifyBox->setChecked(CSettingsStore(ProgramSettings::kSection).value(kVerifyKey, false).toBool());
    connect(m_verifyBox, &QCheckBox::toggled, this,
            [](bool on) { CSettingsStore(ProgramSettings::kSection).setValue(kVerifyKey, on); });
    // Shaped like a check box but a command: it never keeps a check mark.
    m_defaultsButton = new QCheckBox("Change system default &setting", this);

    auto* sectorsGroup = new QGroupBox("Sec&tors", this);
    m_sectors = new QListWidget(sectorsGroup);
    m_sectors->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sectors->setAccessibleName(sectorsGroup->title().remove('&'));
    auto* sectorsLayout = new QVBoxLayout(sectorsGroup);
    sectorsLayout->addWidget(m_sectors);

    m_progress = new QProgressBar(this);
    m_progress->setOrientation(Qt::Vertical);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setAccessibleName("Transfer progress");

    auto* modemGroup = new QGroupBox("Modem Status", this);
    auto* modemLayout = new QHBoxLayout(modemGroup);
    const char* const lampNames[] = {"CTS", "DSR", "CD"};
    for (int i = 0; i < 3; i++) {
        m_lamps[i] = new CModemLamp(lampNames[i], modemGroup);
        modemLayout->addWidget(m_lamps[i]);
        modemLayout->addWidget(new QLabel(lampNames[i], modemGroup));
        modemLayout->addSpacing(8);
    }
    modemLayout->addStretch(1);

    m_closeButton = new QPushButton("&Close", this);
    m_closeButton->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(portLabel, 0, 0);
    grid->addWidget(m_portBox, 0, 1);
    grid->addWidget(baudLabel, 1, 0);
    grid->addWidget(m_baudBox, 1, 1, Qt::AlignLeft);
    auto* transferButtons = new QHBoxLayout;
    transferButtons->addWidget(m_readButton);
    transferButtons->addWidget(m_writeButton);
    transferButtons->addWidget(m_recoverButton);
    auto* transferColumn = new QVBoxLayout;
    transferColumn->addWidget(m_planLabel);
    transferColumn->addLayout(transferButtons);
    grid->addLayout(transferColumn, 2, 0, 1, 2);
    grid->addWidget(m_oneSectorBox, 3, 0, 1, 2);
    grid->addWidget(m_noTimeoutsBox, 4, 0, 1, 2);
    grid->addWidget(m_verifyBox, 5, 0, 1, 2);
    grid->addWidget(m_defaultsButton, 6, 0, 1, 2);
    grid->addWidget(modemGroup, 7, 0, 1, 2);
    grid->addWidget(sectorsGroup, 0, 2, 7, 1);
    grid->addWidget(m_progress, 0, 3, 7, 1);
    grid->addWidget(m_closeButton, 7, 2, 1, 2, Qt::AlignRight | Qt::AlignBottom);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(6, 1);

    auto* statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    m_status = new QLabel(statusBar);
    // A long status (a verify naming many sectors, a port's long path) is
    // shortened to the pane, whole in its tool tip; it never widens the dialog.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->installEventFilter(this);
    statusBar->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(statusBar);
    layout->setContentsMargins(layout->contentsMargins().left(), layout->contentsMargins().top(),
                               layout->contentsMargins().right(), 0);

    connect(m_readButton, &QPushButton::clicked, this, &TXCommDlg::OnReadUnit);
    connect(m_writeButton, &QPushButton::clicked, this, &TXCommDlg::OnWriteUnit);
    connect(m_recoverButton, &QPushButton::clicked, this, &TXCommDlg::OnRecoverUnit);
    connect(m_defaultsButton, &QCheckBox::clicked, this, [this] {
        m_defaultsButton->setChecked(false);
        OnChangeDefaults();
    });
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_baudBox, &QComboBox::currentIndexChanged, this, &TXCommDlg::ShowWritePlan);
    connect(m_portBox, &QComboBox::currentTextChanged, this, [this] {
        // A raw stream leaves the line to the server; say so before a transfer.
        NetworkAddress address;
        if (ParseNetworkAddress(PortPath(), address, nullptr) && address.kind == NetworkAddress::Kind::Tcp)
            SetStatusText(
                QString::fromStdString(address.HostPort() + ": raw TCP - the line settings are the server's"));
    });
}

void TXCommDlg::FillLists()
{
    // Each entry shows its path, marked when a simulated unit sits behind
    // it, and holds the path as its data.
    const std::vector<std::string> simulated = ListSimulatedPorts();
    for (const std::string& port : ListSerialPorts()) {
        const QString path = QString::fromStdString(port);
        const bool isSimulated = std::find(simulated.begin(), simulated.end(), port) != simulated.end();
        m_portBox->addItem(isSimulated ? path + " (simulated unit)" : path, path);
    }
    const RememberedNetworkPorts remembered = RememberedPorts();
    for (const std::string& port : remembered.Ports())
        m_portBox->addItem(QString::fromStdString(port), QString::fromStdString(port));
    const int storedPort = m_shared.commPortSel ? *m_shared.commPortSel : 0;
    const int byPath = m_portBox->findData(CSettingsStore(ProgramSettings::kSection).value(kPortPathKey).toString());
    if (byPath >= 0)
        m_portBox->setCurrentIndex(byPath);
    else if (m_portBox->count() > 0)
        m_portBox->setCurrentIndex(storedPort >= 0 && storedPort < m_portBox->count() ? storedPort : 0);

    for (const char* entry : kBaudEntries)
        m_baudBox->addItem(entry);
    // A position the list does not have (a damaged settings store) would
    // leave nothing selected; take the first rate instead.
    const int storedBaud = m_shared.baudRateSel ? *m_shared.baudRateSel : 0;
    m_baudBox->setCurrentIndex(storedBaud >= 0 && storedBaud < m_baudBox->count() ? storedBaud : 0);
    ShowWritePlan();
}

void TXCommDlg::ShowWritePlan()
{
    const int baud = m_baudBox->currentIndex() == 1 ? 57600 : 115200;
    m_planLabel->setText(QString::fromStdString(CWritePlan::ForWrite(m_image, baud).Describe()));
}

std::string TXCommDlg::PortPath() const
{
    // A listed entry stands for its path; anything else is what was typed.
    const QString text = m_portBox->currentText().trimmed();
    const int index = m_portBox->findText(text, Qt::MatchExactly);
    if (index >= 0)
        return m_portBox->itemData(index).toString().toStdString();
    return text.toStdString();
}

RememberedNetworkPorts TXCommDlg::RememberedPorts()
{
    return RememberedNetworkPorts(
        CSettingsStore(ProgramSettings::kSection).value(ProgramSettings::kNetworkPortsKey).toString().toStdString());
}

void TXCommDlg::RememberNetworkPort(const std::string& port)
{
    RememberedNetworkPorts remembered = RememberedPorts();
    remembered.Remember(port);
    CSettingsStore(ProgramSettings::kSection)
        .setValue(ProgramSettings::kNetworkPortsKey, QString::fromStdString(remembered.Stored()));
    const QString canonical = QString::fromStdString(CanonicalPortName(port));
    if (m_portBox->findData(canonical) < 0) {
        // Listed now for this dialog too, shown as it is stored.
        const QSignalBlocker quiet(m_portBox);
        m_portBox->addItem(canonical, canonical);
        m_portBox->setCurrentIndex(m_portBox->count() - 1);
    }
}

TransferSettings TXCommDlg::TakeSettings() const
{
    TransferSettings settings;
    settings.portName = PortPath();
    settings.portPosition = m_portBox->currentIndex() < 0 ? 0 : m_portBox->currentIndex();
    settings.baudPosition = m_baudBox->currentIndex() < 0 ? 0 : m_baudBox->currentIndex();
    settings.writeOneSectorAtATime = m_oneSectorBox->isChecked();
    settings.disableTimeouts = m_noTimeoutsBox->isChecked();
    settings.verifyAfterWrite = m_verifyBox->isChecked();
    return settings;
}

void TXCommDlg::OnReadUnit()
{
    m_transfer->StartRead(TakeSettings());
    m_transfer->StepNow();
    ExplainOpenFailure();
}

void TXCommDlg::OnWriteUnit()
{
    m_transfer->StartWrite(TakeSettings());
    m_transfer->StepNow();
    ExplainOpenFailure();
}

void TXCommDlg::OnRecoverUnit()
{
    // Recover sends filler bytes before it asks the unit anything: only with
    // the operator's yes (without a port it sends nothing and fails as a write).
    const std::string port = PortPath();
    if (!port.empty() && !AskYesNo(QString("Recover sends filler bytes to the unit on %1 to complete a sector that an "
                                           "interrupted write left open, then writes the image's changed sectors.\n"
                                           "Use it only for a unit that does not answer.\n\nRecover the unit now?")
                                       .arg(QString::fromStdString(port))))
        return;
    TransferSettings settings = TakeSettings();
    settings.recover = true;
    m_transfer->StartWrite(settings);
    m_transfer->StepNow();
    ExplainOpenFailure();
}

void TXCommDlg::ExplainOpenFailure()
{
    // The status line only says the port could not be opened; when the
    // device itself refused, the operator also needs to know why (no
    // permission, in use, unplugged).
    const int32_t code = m_transfer->LastOpenError();
    if (m_port.IsOpen()) {
        WarnOfRefusedDefaults();
        return;
    }
    if (code == 0)
        return;
    const std::string port = PortPath();
    ShowMessage(port.empty() ? QString("No serial port is available.")
                             : QString::fromStdString(CSerial::OpenFailureText(port, code)),
                false);
}

void TXCommDlg::WarnOfRefusedDefaults()
{
    // The stored default of a port that the device cannot carry is left out
    // at every opening; say so once while the dialog is open, not silently.
    const std::string& refused = m_port.RefusedDefaults();
    const std::string what = m_port.PortName() + ": " + refused;
    if (refused.empty() || what == m_warnedDefaults)
        return;
    m_warnedDefaults = what;
    ShowMessage(QString("The default settings stored for %1 (%2) cannot be used on this device; "
                        "the port was opened without them.")
                    .arg(QString::fromStdString(m_port.PortName()), QString::fromStdString(refused)),
                true);
}

void TXCommDlg::OnChangeDefaults()
{
    if (m_transfer->ProtocolState() != CUnitTransfer::kIdle)
        return;  // the port belongs to the running transfer
    const std::string port = PortPath();
    PortDefaults config;
    if (!m_port.ShowConfigDialog(port.c_str(), &m_portDefaults, config) && m_port.GetLastError() != 0)
        SetStatusText(QString::fromStdString(CSerial::OpenFailureText(port, m_port.GetLastError())));
}

void TXCommDlg::OnTimer()
{
    m_transfer->Step();
}

void TXCommDlg::OnTransferEvent()
{
    m_transfer->StepNow();
}

void TXCommDlg::done(int result)
{
    m_transfer->Finish();
    QDialog::done(result);
}

void TXCommDlg::SetStatusText(const QString& text)
{
    // Some transfer texts end with a line break that the one-line pane
    // cannot show.
    QString shown = text;
    while (shown.endsWith('\n') || shown.endsWith('\r'))
        shown.chop(1);
    shown.replace('\n', ' ');
    m_statusText = shown;
    ShowStatusText();
    emit statusChanged(shown);
}

void TXCommDlg::ShowStatusText()
{
    const int room = m_status->contentsRect().width();
    const QString fitted = m_status->fontMetrics().elidedText(m_statusText, Qt::ElideRight, room);
    m_status->setText(fitted);
    m_status->setToolTip(fitted == m_statusText ? QString() : m_statusText);
}

bool TXCommDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_status && event->type() == QEvent::Resize)
        ShowStatusText();
    return QDialog::eventFilter(watched, event);
}

QString TXCommDlg::StatusText() const
{
    return m_statusText;
}

void TXCommDlg::SetSectorLines(const QStringList& lines)
{
    m_sectors->clear();
    m_sectors->addItems(lines);
}

void TXCommDlg::ShowMessage(const QString& text, bool information)
{
    if (m_report) {
        m_report->ShowMessage(text.toStdString());
        return;
    }
    QMessageBox box(information ? QMessageBox::Information : QMessageBox::Warning, kCaption, text, QMessageBox::Ok,
                    this);
    box.exec();
}

bool TXCommDlg::AskYesNo(const QString& text)
{
    if (m_report)
        return m_report->AskYesNo(text.toStdString());
    QMessageBox box(QMessageBox::Question, kCaption, text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TXCommDlg::EnableTransferControls(bool enable)
{
    QWidget* const controls[] = {m_readButton,   m_writeButton, m_recoverButton, m_portBox, m_baudBox,
                                 m_oneSectorBox, m_verifyBox,   m_noTimeoutsBox, m_sectors, m_defaultsButton};
    for (QWidget* control : controls)
        control->setEnabled(enable);
    // A transfer that ended changed what a write would send.
    if (enable)
        ShowWritePlan();
    // "Close" stays usable throughout; keep the keyboard there while the rest is off.
    if (!enable)
        m_closeButton->setFocus();
}

void TXCommDlg::SetUnitReadDone()
{
    if (m_shared.unitReadDone)
        *m_shared.unitReadDone = 1;
}

void TXCommDlg::StorePortSelection(int portPosition, int baudPosition)
{
    if (m_shared.commPortSel)
        *m_shared.commPortSel = portPosition;
    if (IsNetworkPortName(PortPath()))
        RememberNetworkPort(PortPath());
    CSettingsStore(ProgramSettings::kSection).setValue(kPortPathKey, QString::fromStdString(PortPath()));
    if (m_shared.baudRateSel)
        *m_shared.baudRateSel = baudPosition;
}
