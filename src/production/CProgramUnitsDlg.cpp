#include "CProgramUnitsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "CAtomicFile.h"
#include "CDailyReport.h"
#include "CGangProgress.h"
#include "CQtOperatorReport.h"
#include "CReportCsv.h"
#include "CSettingsStore.h"
#include "CUnitRecord.h"
#include "CWritePlan.h"
#include "ProgramSettings.h"
#include "SerialPortList.h"
#include "RememberedNetworkPorts.h"

namespace {

const char* const kBaudEntries[] = {"115200", "57600"};
// Remembered between runs with the program's other settings.
const char* const kPortsKey = "Program units ports";
const char* const kBaudKey = "Program units baud";
const char* const kVerifyKey = "Program units verify";

const char* const kImageFilter = "Image files (*.txi);;All files (*)";
const char* const kNoImageText = "No image: choose one with Image...";

enum Column { PortColumn, StateColumn, ProgressColumn, ElapsedColumn, ColumnCount };

QString Elapsed(double seconds)
{
    const int whole = int(seconds);
    return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

}  // namespace

const char* const CProgramUnitsDlg::kCloseQuestion =
    "Units are being programmed.\nStop every transfer and close the window?";

CProgramUnitsDlg::CProgramUnitsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Program Units");
    BuildWindow();
    FillPorts();
    FillDays();
    ShowImage();
    ShowRows();
    connect(&m_poll, &QTimer::timeout, this, &CProgramUnitsDlg::Poll);
}

CProgramUnitsDlg::~CProgramUnitsDlg()
{
    // Never leave the worker running into a destroyed window.
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
        EndRun();
    }
}

IOperatorReport& CProgramUnitsDlg::Report()
{
    if (m_report)
        return *m_report;
    if (!m_ownReport)
        m_ownReport = std::make_unique<CQtOperatorReport>(this);
    return *m_ownReport;
}

void CProgramUnitsDlg::BuildWindow()
{
    auto* imageGroup = new QGroupBox("Image", this);
    auto* imageGrid = new QGridLayout(imageGroup);
    m_imageLine = new QLabel(imageGroup);
    m_crcLine = new QLabel(imageGroup);
    m_planLine = new QLabel(imageGroup);
    m_timeLine = new QLabel(imageGroup);
    m_imageButton = new QPushButton("&Image...", imageGroup);
    m_imageButton->setAutoDefault(false);
    m_imageButton->setAccessibleName("Choose image file");
    const char* captions[] = {"File:", "CRC-32:", "A write sends:", "Each unit takes:"};
    QLabel* values[] = {m_imageLine, m_crcLine, m_planLine, m_timeLine};
    for (int i = 0; i < 4; ++i) {
        imageGrid->addWidget(new QLabel(captions[i], imageGroup), i, 0);
        // Selectable for a copy with the mouse; the keys go to the controls.
        values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values[i]->setFocusPolicy(Qt::NoFocus);
        values[i]->setAccessibleName(QString(captions[i]).remove(':'));
        imageGrid->addWidget(values[i], i, 1);
    }
    imageGrid->setColumnStretch(1, 1);
    imageGrid->addWidget(m_imageButton, 0, 2);

    auto* portLabel = new QLabel("&Ports:", this);
    m_ports = new QListWidget(this);
    m_ports->setAccessibleName("Ports");
    m_ports->setMaximumHeight(110);
    portLabel->setBuddy(m_ports);
    auto* baudLabel = new QLabel("&Baud rate:", this);
    m_baudBox = new QComboBox(this);
    m_baudBox->setAccessibleName("Baud rate");
    baudLabel->setBuddy(m_baudBox);
    for (const char* entry : kBaudEntries)
        m_baudBox->addItem(entry);
    m_verifyBox = new QCheckBox("&Verify after writing", this);
    m_verifyBox->setAccessibleName("Verify after writing");

    m_startButton = new QPushButton("&Start", this);
    m_stopButton = new QPushButton("S&top", this);
    m_retryButton = new QPushButton("&Retry Failed", this);
    m_nextButton = new QPushButton("&Next Batch", this);
    m_closeButton = new QPushButton("&Close", this);
    for (QPushButton* button : {m_startButton, m_stopButton, m_retryButton, m_nextButton, m_closeButton}) {
        button->setAutoDefault(false);
        button->setAccessibleName(QString(button->text()).remove('&'));
    }

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setHorizontalHeaderLabels({"Port", "State", "Progress", "Elapsed"});
    m_table->setAccessibleName("Units");
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->horizontalHeader()->setSectionResizeMode(StateColumn, QHeaderView::Stretch);
    m_table->setColumnWidth(PortColumn, 180);
    m_table->setColumnWidth(ProgressColumn, 140);
    m_summary = new QLabel(this);
    m_summary->setAccessibleName("Summary");

    auto* reportGroup = new QGroupBox("Report of the day", this);
    auto* reportGrid = new QGridLayout(reportGroup);
    m_reportPath = new QLabel(reportGroup);
    m_reportPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_reportPath->setFocusPolicy(Qt::NoFocus);
    m_reportPath->setAccessibleName("Report file");
    auto* dayLabel = new QLabel("&Day:", reportGroup);
    m_dayBox = new QComboBox(reportGroup);
    m_dayBox->setAccessibleName("Day to export");
    dayLabel->setBuddy(m_dayBox);
    m_exportButton = new QPushButton("&Export CSV...", reportGroup);
    m_exportButton->setAutoDefault(false);
    m_exportButton->setAccessibleName("Export CSV");
    reportGrid->addWidget(m_reportPath, 0, 0, 1, 3);
    reportGrid->addWidget(dayLabel, 1, 0);
    reportGrid->addWidget(m_dayBox, 1, 1);
    reportGrid->addWidget(m_exportButton, 1, 2);
    reportGrid->setColumnStretch(1, 1);

    auto* settings = new QGridLayout;
    settings->addWidget(portLabel, 0, 0, Qt::AlignTop);
    settings->addWidget(m_ports, 0, 1, 1, 3);
    settings->addWidget(baudLabel, 1, 0);
    settings->addWidget(m_baudBox, 1, 1);
    settings->addWidget(m_verifyBox, 1, 2);
    settings->setColumnStretch(3, 1);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_startButton, m_stopButton, m_retryButton, m_nextButton})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(imageGroup);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);
    layout->addWidget(reportGroup);
    resize(640, 600);

    connect(m_imageButton, &QPushButton::clicked, this, &CProgramUnitsDlg::OnChooseImage);
    connect(m_startButton, &QPushButton::clicked, this, &CProgramUnitsDlg::OnStart);
    connect(m_stopButton, &QPushButton::clicked, this, &CProgramUnitsDlg::OnStop);
    connect(m_retryButton, &QPushButton::clicked, this, &CProgramUnitsDlg::OnRetryFailed);
    connect(m_nextButton, &QPushButton::clicked, this, &CProgramUnitsDlg::OnNextBatch);
    connect(m_exportButton, &QPushButton::clicked, this, &CProgramUnitsDlg::OnExportCsv);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ports, &QListWidget::itemChanged, this, [this] { ShowButtons(); });
    connect(m_baudBox, &QComboBox::currentIndexChanged, this, [this] { ShowPlan(); });
    connect(m_verifyBox, &QCheckBox::toggled, this, [this] { ShowPlan(); });
}

void CProgramUnitsDlg::FillPorts()
{
    // The ports the program lists everywhere: serial ports, running
    // simulated units (marked), remembered network ports.
    const CSettingsStore store(ProgramSettings::kSection);
    const QStringList checked = store.value(kPortsKey).toStringList();
    const std::vector<std::string> simulated = ListSimulatedPorts();
    std::vector<std::pair<QString, QString>> entries;  // shown, path
    for (const std::string& port : ListSerialPorts()) {
        const QString path = QString::fromStdString(port);
        const bool isSimulated = std::find(simulated.begin(), simulated.end(), port) != simulated.end();
        entries.push_back({isSimulated ? path + " (simulated unit)" : path, path});
    }
    const RememberedNetworkPorts remembered(store.value(ProgramSettings::kNetworkPortsKey).toString().toStdString());
    for (const std::string& port : remembered.Ports())
        entries.push_back({QString::fromStdString(port) + " (network)", QString::fromStdString(port)});
    const QSignalBlocker quiet(m_ports);
    for (const auto& entry : entries) {
        auto* item = new QListWidgetItem(entry.first, m_ports);
        item->setData(Qt::UserRole, entry.second);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.contains(entry.second) ? Qt::Checked : Qt::Unchecked);
    }
    const int baud = m_baudBox->findText(store.value(kBaudKey, kBaudEntries[0]).toString());
    m_baudBox->setCurrentIndex(baud >= 0 ? baud : 0);
    m_verifyBox->setChecked(store.value(kVerifyKey, true).toBool());
}

void CProgramUnitsDlg::FillDays()
{
    const QString today = QString::fromStdString(CDailyReport::Day(time(nullptr)));
    m_reportPath->setText("Every unit's result goes to " +
                          QString::fromStdString(CDailyReport::PathOf(today.toStdString())));
    const QString chosen = m_dayBox->currentText();
    m_dayBox->clear();
    QStringList days;
    for (const std::string& day : CDailyReport::Days())
        days << QString::fromStdString(day);
    if (!days.contains(today))
        days.prepend(today);
    m_dayBox->addItems(days);
    m_dayBox->setCurrentIndex(std::max(0, int(days.indexOf(chosen.isEmpty() ? today : chosen))));
}

bool CProgramUnitsDlg::LoadImage(const QString& path)
{
    cMemoryMap image;
    if (!image.HasBuffer()) {
        Report().ShowMessage(cMemoryMap::kAllocationFailedText);
        return false;
    }
    // A file read rebuilds the needed sectors: a write sends every sector
    // the messages use.
    if (!image.ReadImageFile(QFile::encodeName(path).constData(), Report()))
        return false;
    image.StoreTableInImage();
    UseImage(image, QFileInfo(path).absoluteFilePath());
    return true;
}

void CProgramUnitsDlg::UseImage(const cMemoryMap& image, const QString& name)
{
    if (!m_image.HasBuffer() || !image.HasBuffer())
        return;
    memcpy(m_image.GetImageBuffer(), image.GetImageBuffer(), cMemoryMap::kImageSize);
    m_image.LoadTableFromImage();
    // Every unit of a batch gets the whole image, whatever an earlier write
    // of the program's image left marked.
    m_image.RebuildNeededSectors();
    m_imageName = name;
    m_crc32 = CUnitRecord::ImageCrc32(m_image);
    m_haveImage = true;
    ShowImage();
}

void CProgramUnitsDlg::ShowImage()
{
    if (!m_haveImage) {
        m_imageLine->setText(kNoImageText);
        m_crcLine->clear();
        m_planLine->clear();
        m_timeLine->clear();
    } else {
        m_imageLine->setText(QFileInfo(m_imageName).fileName());
        m_imageLine->setToolTip(m_imageName);
        m_crcLine->setText(QString::asprintf("%08x", m_crc32));
        ShowPlan();
    }
    ShowButtons();
}

void CProgramUnitsDlg::ShowPlan()
{
    if (!m_haveImage)
        return;
    const int baud = m_baudBox->currentText().toInt();
    const CWritePlan write = CWritePlan::ForWrite(m_image, baud);
    m_planLine->setText(QString::fromStdString(write.Describe()));
    QString time = QString::fromStdString("about " + CWritePlan::Duration(write.Seconds()));
    if (m_verifyBox->isChecked()) {
        const CWritePlan verify = CWritePlan::ForVerify(m_image, baud);
        time += QString::fromStdString(", about " + CWritePlan::Duration(write.Seconds() + verify.Seconds()) +
                                       " with the read-back");
    }
    m_timeLine->setText(time);
}

std::vector<std::string> CProgramUnitsDlg::CheckedPorts() const
{
    std::vector<std::string> ports;
    for (int i = 0; i < m_ports->count(); ++i)
        if (m_ports->item(i)->checkState() == Qt::Checked)
            ports.push_back(m_ports->item(i)->data(Qt::UserRole).toString().toStdString());
    return ports;
}

void CProgramUnitsDlg::RememberChoices() const
{
    QStringList checked;
    for (const std::string& port : CheckedPorts())
        checked << QString::fromStdString(port);
    CSettingsStore store(ProgramSettings::kSection);
    store.setValue(kPortsKey, checked);
    store.setValue(kBaudKey, m_baudBox->currentText());
    store.setValue(kVerifyKey, m_verifyBox->isChecked());
}

void CProgramUnitsDlg::OnChooseImage()
{
    if (IsRunning())
        return;
    const QString path = QFileDialog::getOpenFileName(this, "Image to program", m_imageName, kImageFilter);
    if (!path.isEmpty())
        LoadImage(path);
}

void CProgramUnitsDlg::OnStart()
{
    if (!m_haveImage || IsRunning() || !m_run.Start(CheckedPorts()))
        return;
    RememberChoices();
    Launch();
}

void CProgramUnitsDlg::OnRetryFailed()
{
    if (m_haveImage && !IsRunning() && m_run.Retry())
        Launch();
}

void CProgramUnitsDlg::OnNextBatch()
{
    if (m_haveImage && !IsRunning() && m_run.NextBatch())
        Launch();
}

void CProgramUnitsDlg::OnStop()
{
    if (!IsRunning())
        return;
    m_run.Stop();
    m_stop = true;
    ShowButtons();
}

void CProgramUnitsDlg::Launch()
{
    TransferSettings settings;
    settings.baudPosition = std::max(0, m_baudBox->currentIndex());
    settings.verifyAfterWrite = m_verifyBox->isChecked();
    m_gang = std::make_unique<CGangTransfer>(m_image, m_run.RunPorts(), settings);
    m_progress = std::make_unique<CGangProgress>(*m_gang);
    m_gang->SetObserver(m_progress.get());
    m_stop = false;
    m_ended = false;
    // The protocol steps run off the window's thread: the window only reads
    // the progress copy.
    m_thread = std::thread([this] {
        m_gang->Run(CGangTransfer::Kind::Write, &m_stop);
        m_ended = true;
    });
    m_poll.start(100);
    ShowRows();
}

void CProgramUnitsDlg::Poll()
{
    if (m_ended) {
        EndRun();
        return;
    }
    if (!m_progress)
        return;
    const std::vector<CGangProgress::Unit> units = m_progress->Units();
    for (size_t i = 0; i < units.size(); ++i) {
        const CGangProgress::Unit& unit = units[i];
        if (unit.ended)
            CGangProgress::Finish(m_run, i, unit.outcome);
        else
            m_run.Update(i, unit.state, unit.sector, unit.percent, unit.seconds);
    }
    ShowRows();
}

void CProgramUnitsDlg::EndRun()
{
    m_poll.stop();
    if (m_thread.joinable())
        m_thread.join();
    if (!m_gang)
        return;
    std::vector<std::string> lines;
    for (size_t i = 0; i < m_gang->Count(); ++i) {
        CGangProgress::Finish(m_run, i, m_gang->GetOutcome(i));
        lines.push_back(CUnitRecord::Of(*m_gang, i, m_imageName.toStdString(), m_crc32).Json(true));
    }
    m_run.Finish();
    m_gang->SetObserver(nullptr);
    m_progress.reset();
    m_gang.reset();
    std::string why;
    if (!CDailyReport::Append(lines, why))
        Report().ShowMessage(std::string(CDailyReport::kNotAddedText) + "\n" + why);
    FillDays();
    ShowRows();
}

void CProgramUnitsDlg::ShowRows()
{
    const std::vector<CProgramRun::Row>& rows = m_run.Rows();
    if (m_table->rowCount() != int(rows.size())) {
        m_table->setRowCount(int(rows.size()));
        for (int r = 0; r < int(rows.size()); ++r) {
            for (int c : {PortColumn, StateColumn, ElapsedColumn})
                m_table->setItem(r, c, new QTableWidgetItem);
            auto* bar = new QProgressBar(m_table);
            bar->setRange(0, 100);
            m_table->setCellWidget(r, ProgressColumn, bar);
        }
    }
    for (int r = 0; r < int(rows.size()); ++r) {
        const CProgramRun::Row& row = rows[size_t(r)];
        m_table->item(r, PortColumn)->setText(QString::fromStdString(row.port));
        QTableWidgetItem* state = m_table->item(r, StateColumn);
        state->setText(QString::fromStdString(CProgramRun::StateText(row)));
        state->setToolTip(state->text());
        // Green and red as the operator watches the batch from a distance.
        if (row.state == CProgramRun::State::Done)
            state->setBackground(QColor(0xc8, 0xf0, 0xc8));
        else if (row.state == CProgramRun::State::Failed)
            state->setBackground(QColor(0xf8, 0xc8, 0xc8));
        else
            state->setBackground(QBrush());
        m_table->item(r, ElapsedColumn)->setText(Elapsed(row.seconds));
        auto* bar = static_cast<QProgressBar*>(m_table->cellWidget(r, ProgressColumn));
        bar->setValue(row.percent);
        bar->setAccessibleName(QString::fromStdString(row.port) + " progress");
    }
    m_summary->setText(rows.empty() ? QString() : QString::fromStdString(m_run.Summary()));
    ShowButtons();
}

void CProgramUnitsDlg::ShowButtons()
{
    const CProgramRun::Buttons enabled = m_run.Enabled(!CheckedPorts().empty(), m_haveImage);
    m_startButton->setEnabled(enabled.start);
    m_stopButton->setEnabled(enabled.stop);
    m_retryButton->setEnabled(enabled.retry);
    m_nextButton->setEnabled(enabled.nextBatch);
    for (QWidget* setting : std::initializer_list<QWidget*>{m_ports, m_baudBox, m_verifyBox, m_imageButton})
        setting->setEnabled(enabled.settings);
}

void CProgramUnitsDlg::OnExportCsv()
{
    const std::string day = m_dayBox->currentText().toStdString();
    std::string lines, why;
    if (!CDailyReport::Read(day, lines, why)) {
        Report().ShowMessage("There is no report of " + day + " to export.\n" + why);
        return;
    }
    size_t skipped = 0;
    const std::string csv = CReportCsv::FromJsonLines(lines, skipped);
    const QString suggested = QString::fromStdString("ormid-report-" + day + ".csv");
    const QString path =
        m_askSavePath ? m_askSavePath(suggested)
                      : QFileDialog::getSaveFileName(this, "Export CSV", suggested, "CSV files (*.csv);;All files (*)");
    if (path.isEmpty())
        return;
    // A document of the operator's: written whole or not at all.
    const std::string target = QFile::encodeName(path).toStdString();
    CAtomicFile file;
    if (!file.Open(target.c_str(), csv.size()) || !file.Write(csv.data(), csv.size()) || !file.Commit()) {
        const int error = file.Error();
        file.Abort();
        Report().ShowFileError("Cannot write " + target + ".", target, error);
        return;
    }
    if (skipped > 0)
        Report().ShowMessage(std::to_string(skipped) + " damaged lines of the report were left out.");
}

void CProgramUnitsDlg::done(int result)
{
    if (IsRunning()) {
        if (!Report().AskYesNo(kCloseQuestion))
            return;
        // Each transfer ends as a stopped one does: the port closed, a
        // write's journal kept for a later recovery.
        m_run.Stop();
        m_stop = true;
        m_thread.join();
        EndRun();
    }
    QDialog::done(result);
}
