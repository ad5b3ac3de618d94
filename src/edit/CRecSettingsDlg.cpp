#include "CRecSettingsDlg.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include "CDialogUnits.h"
#include "CFieldCheck.h"

namespace {
const int kBoxX = 131;
const int kBoxWidth = 50;
const int kBoxHeight = 14;
const int kLabelX = 21;
const int kLabelWidth = 108;

struct Range {
    double min, max;
};
const Range kTimeConstantRange{0.5, 1.0};
const Range kClipAmountRange{0.0, 1.0};
const Range kThresholdFactorRange{0.0, 5.0};
const uint32_t kMostInitialTrim = 2000;

QString Shown(double value)
{
    return QString::fromStdString(CFieldCheck::FormatNumber(value));
}
// A result is read, not typed: rounded.
QString ShownResult(double value)
{
    return QString::fromStdString(CFieldCheck::FormatResult(value));
}
}  // namespace

CRecSettingsDlg::CRecSettingsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Settings");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const CDialogUnits du(font());
    setFixedSize(du.Size(205, 199));

    // The frames go first so that the labels and boxes lie above them.
    auto* processing = new QGroupBox("Post-record processing", this);
    processing->setGeometry(du.Rect(13, 8, 177, 86));
    auto* results = new QGroupBox("Processing results (most recent)", this);
    results->setGeometry(du.Rect(13, 98, 177, 68));

    auto addBox = [this, &du](const char* label, int y, bool enabled) {
        auto* text = new QLabel(label, this);
        text->setGeometry(du.Rect(kLabelX, y + 3, kLabelWidth, 8));
        auto* box = new QLineEdit(this);
        box->setGeometry(du.Rect(kBoxX, y, kBoxWidth, kBoxHeight));
        box->setEnabled(enabled);
        text->setBuddy(box);
        return box;
    };
    m_timeConstant = addBox("&Time Constant (0.5 - 1.0)", 18, true);
    m_clipAmount = addBox("Clip &Amount (0.0 - 1.0)", 36, true);
    m_thresholdFactor = addBox("T&hreshold Factor (0.0 - 5.0)", 55, true);
    m_initialTrim = addBox("&Initial Trim (Samples at 8kHz)", 74, true);
    // The results cannot take the focus: their labels have no key.
    m_gain = addBox("Gain (db)", 108, false);
    m_clipCount = addBox("Number of samples clipping", 127, false);
    m_snr = addBox("Computed Signal-to-Noise ratio", 146, false);

    m_ok = new QPushButton("&OK", this);
    m_ok->setGeometry(du.Rect(15, 173, 48, 14));
    m_ok->setDefault(true);
    m_cancel = new QPushButton("&Cancel", this);
    m_cancel->setGeometry(du.Rect(66, 173, 48, 14));
    m_restoreDefaults = new QPushButton("&Restore Defaults", this);
    m_restoreDefaults->setGeometry(du.Rect(121, 173, 64, 14));

    connect(m_ok, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_restoreDefaults, &QPushButton::clicked, this, [this] { OnRestoreDefaults(); });
}

void CRecSettingsDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Each opening by the program (not the window system's restore of a
    // minimised window) starts from the members.
    if (event->spontaneous())
        return;
    FillBoxes(m_params);
    m_timeConstant->setFocus();
    // A stored value out of range brings its message as the dialog opens.
    RecordProcessingParams read = m_params;
    ReadBoxes(read);
}

void CRecSettingsDlg::closeEvent(QCloseEvent* event)
{
    // The title bar's close checks the boxes as OK does, then cancels
    // whatever the check found.
    if (!m_finishing && isVisible()) {
        RecordProcessingParams read = m_params;
        ReadBoxes(read);
    }
    QDialog::closeEvent(event);
}

void CRecSettingsDlg::done(int result)
{
    m_finishing = true;
    QDialog::done(result);
    m_finishing = false;
}

void CRecSettingsDlg::FillBoxes(const RecordProcessingParams& params)
{
    m_timeConstant->setText(Shown(params.timeConstant));
    m_clipAmount->setText(Shown(params.clipAmount));
    m_thresholdFactor->setText(Shown(params.thresholdFactor));
    m_initialTrim->setText(QString::number(params.initialTrim));
    m_gain->setText(ShownResult(params.gain));
    m_clipCount->setText(ShownResult(params.clipCount));
    m_snr->setText(ShownResult(params.snr));
}

bool CRecSettingsDlg::ReadBoxes(RecordProcessingParams& read)
{
    std::string message;
    QLineEdit* failed = nullptr;
    auto readDouble = [&](QLineEdit* box, const Range& range, double& value) {
        if (failed || CFieldCheck::ReadDouble(box->text().toStdString(), range.min, range.max, value, message))
            return;
        failed = box;
    };
    readDouble(m_timeConstant, kTimeConstantRange, read.timeConstant);
    readDouble(m_clipAmount, kClipAmountRange, read.clipAmount);
    readDouble(m_thresholdFactor, kThresholdFactorRange, read.thresholdFactor);
    if (!failed) {
        uint32_t trim = 0;
        if (CFieldCheck::ReadUInt(m_initialTrim->text().toStdString(), 0, kMostInitialTrim, trim, message))
            read.initialTrim = int32_t(trim);
        else
            failed = m_initialTrim;
    }
    if (!failed)
        return true;
    Report(QString::fromStdString(message));
    failed->setFocus();
    failed->selectAll();
    return false;
}

void CRecSettingsDlg::Report(const QString& text)
{
    if (m_report) {
        m_report(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, "ORMID", text, QMessageBox::Ok, this);
    box.exec();
}

void CRecSettingsDlg::OnOk()
{
    RecordProcessingParams read = m_params;
    if (!ReadBoxes(read))
        return;
    m_params = read;
    accept();
}

void CRecSettingsDlg::OnRestoreDefaults()
{
    RecordProcessingParams defaults = m_params;
    defaults.RestoreDefaults();
    m_timeConstant->setText(Shown(defaults.timeConstant));
    m_clipAmount->setText(Shown(defaults.clipAmount));
    m_thresholdFactor->setText(Shown(defaults.thresholdFactor));
    m_initialTrim->setText(QString::number(defaults.initialTrim));
}
