#include "CTXEditDlg.h"

#include <QFile>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>

#include "CDialogUnits.h"
#include "CLabelledComboAccessible.h"
#include "CMeter.h"
#include "CProcessingSettings.h"
#include "CQtFileDialogs.h"
#include "CRecSettingsDlg.h"
#include "CTXMakeSilence.h"
#include "CWaveformView.h"

namespace {

// The play-count list: the position is the count, 0 being continuous.
const char* const kPlayCounts[] = {"Continuous", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
const int kListedCounts = 10;

// Each button and field keeps its Alt key whatever its caption says: the
// caption's first letter of the ones given is marked ("Stop" of Play is
// "Sto&p", as Play is "&Play").
const char* const kNameKeys = "n";
const char* const kRecordKeys = "rt";
const char* const kPlayKeys = "p";
const char* const kAppendKeys = "a";

QString WithMnemonic(const QString& caption, const char* keys)
{
    QString marked = caption;
    marked.replace('&', "&&");
    for (const char* key = keys; *key; ++key) {
        const int at = marked.indexOf(QChar(*key), 0, Qt::CaseInsensitive);
        if (at >= 0)
            return marked.insert(at, '&');
    }
    return marked;
}

}  // namespace

CTXEditDlg::CTXEditDlg(IAudioLibrary& sonvox, IOperatorReport& report, cMemoryMap& map, IFileDialogs* fileDialogs,
                       QWidget* parent)
    : QDialog(parent), m_sonvox(sonvox), m_report(report), m_map(map), m_fileDialogs(fileDialogs)
{
    if (!m_fileDialogs) {
        m_ownFileDialogs = std::make_unique<CQtFileDialogs>();
        m_fileDialogs = m_ownFileDialogs.get();
    }
    CLabelledComboAccessible::Install();
    BuildWindow();
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_session)
            m_session->OnTimer();
        if (m_session)
            m_waveform->SetPlayPosition(m_session->PlayPosition());
    });
}

CTXEditDlg::~CTXEditDlg()
{
    // A dialog destroyed while something runs leaves the library quiet: a
    // recording being processed is waited for, anything still running ends
    // here and now.
    m_runInline = true;
    EndAside();
    if (m_session)
        m_session->StopActivity();
}

void CTXEditDlg::BuildWindow()
{
    setWindowTitle("Edit Message");
    setWindowIcon(QApplication::windowIcon());
    const CDialogUnits du(font());
    setFixedSize(du.Size(192, 230));

    auto label = [&](const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, this);
        l->setGeometry(du.Rect(x, y, w, 8));
        return l;
    };
    auto button = [&](const QString& caption, int x, int y, int w, void (CEditSession::*step)()) {
        auto* b = new QPushButton(caption, this);
        b->setGeometry(du.Rect(x, y, w, 14));
        // Enter presses the button that has the focus, else OK.
        b->setAutoDefault(true);
        connect(b, &QPushButton::clicked, this, [this, step] {
            if (m_session)
                ((*m_session).*step)();
        });
        return b;
    };

    m_nameLabel = label(QString(), 13, 15, 70);
    m_nameBox = new QLineEdit(this);
    m_nameBox->setGeometry(du.Rect(85, 12, 70, 12));
    m_nameBox->setMaxLength(kMaxNameLength);
    // The unit keeps 8-bit names: printable Latin-1 only, so what is typed is
    // what the unit and the listing show.
    m_nameBox->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x{20}-\\x{7E}\\x{A0}-\\x{FF}]*")), m_nameBox));

    m_nameLabel->setBuddy(m_nameBox);

    QLabel* playCountLabel = label("Pla&y Count", 13, 41, 70);
    m_playCountBox = new QComboBox(this);
    m_playCountBox->setGeometry(du.Rect(85, 38, 70, 12));
    playCountLabel->setBuddy(m_playCountBox);

    m_meter = new CMeter(this);
    m_meter->setGeometry(du.Rect(50, 68, 105, 11));

    label("Total seconds remaining =", 44, 90, 88);
    m_remaining = label("000.00", 133, 90, 40);

    m_record = button(WithMnemonic("Record", kRecordKeys), 15, 110, 50, &CEditSession::OnRecord);
    m_play = button(WithMnemonic("Play", kPlayKeys), 70, 110, 50, &CEditSession::OnPlay);
    m_makeSilence = button("&Make Silence", 125, 110, 50, &CEditSession::OnMakeSilence);
    m_appendFile = button("Append &File", 15, 126, 50, &CEditSession::OnAppendFile);
    m_appendRecording =
        button(WithMnemonic("Append Recording", kAppendKeys), 70, 126, 105, &CEditSession::OnAppendRecording);

    auto* ok = new QPushButton("&OK", this);
    ok->setGeometry(du.Rect(15, 143, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CTXEditDlg::accept);
    auto* cancel = new QPushButton("Canc&el", this);
    cancel->setGeometry(du.Rect(70, 143, 50, 14));
    cancel->setAutoDefault(true);
    connect(cancel, &QPushButton::clicked, this, &CTXEditDlg::reject);
    m_settings = button("&Settings", 125, 143, 50, &CEditSession::OnSettings);

    m_waveform = new CWaveformView(this);
    m_waveform->setGeometry(du.Rect(8, 162, 176, 44));

    // The selection's commands, under the waveform. Their keys: Cancel keeps
    // Escape and gives up C to Crop; Play Count gives up U to Cut.
    auto edit = [&](const QString& caption, int x, int w, void (CTXEditDlg::*step)()) {
        auto* b = new QPushButton(caption, this);
        b->setGeometry(du.Rect(x, 211, w, 14));
        b->setAutoDefault(true);
        connect(b, &QPushButton::clicked, this, step);
        return b;
    };
    m_playSelection = edit("Play Se&lection", 15, 60, &CTXEditDlg::OnPlaySelection);
    m_cut = edit("C&ut", 80, 45, &CTXEditDlg::OnCut);
    m_crop = edit("&Crop", 130, 45, &CTXEditDlg::OnCrop);
    connect(m_waveform, &CWaveformView::cutRequested, this, &CTXEditDlg::OnCut);
    connect(m_waveform, &CWaveformView::selectionChanged, this, [this] {
        const CWaveSelection& selection = m_waveform->Selection();
        if (m_session)
            m_session->SetPlayStart(selection.HasSelection() ? selection.Start() : selection.Cursor());
    });
    auto* undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, this, &CTXEditDlg::OnUndo);
}

void CTXEditDlg::OnPlaySelection()
{
    const CWaveSelection& selection = m_waveform->Selection();
    if (m_session && selection.HasSelection())
        m_session->OnPlaySelection(selection.Start(), selection.End());
}

void CTXEditDlg::OnCut()
{
    const CWaveSelection& selection = m_waveform->Selection();
    if (!m_session || !selection.HasSelection())
        return;
    const size_t from = selection.Start();
    if (m_session->OnCut(from, selection.End())) {
        m_waveform->Refresh(m_setup.scratchPath, true);
        m_waveform->Select(from, from);
    }
}

void CTXEditDlg::OnCrop()
{
    const CWaveSelection& selection = m_waveform->Selection();
    if (!m_session || !selection.HasSelection())
        return;
    if (m_session->OnCrop(selection.Start(), selection.End())) {
        m_waveform->Refresh(m_setup.scratchPath, true);
        m_waveform->Select(0, 0);
    }
}

void CTXEditDlg::OnUndo()
{
    if (m_session && m_session->OnUndo()) {
        m_waveform->Refresh(m_setup.scratchPath, true);
        m_waveform->Select(0, 0);
    }
}

void CTXEditDlg::RefreshWaveform()
{
    // Not while recording: the scratch file changes once the recording is saved.
    if (m_session && m_session->State() != AudioRecording && !m_busy)
        m_waveform->Refresh(m_setup.scratchPath);
}

void CTXEditDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_opened)
        OnInitDialog();
}

void CTXEditDlg::OnInitDialog()
{
    if (m_opened)
        return;
    m_opened = true;
    m_nameLabel->setText(WithMnemonic(m_label, kNameKeys));
    m_nameBox->setText(m_name.left(kMaxNameLength));

    m_playCountBox->clear();
    for (const char* entry : kPlayCounts)
        m_playCountBox->addItem(entry);
    // A count the list has no entry for (the image allows up to 255) is shown
    // as an entry of its own, so that OK without touching the list keeps it.
    if (m_playCount >= kListedCounts)
        m_playCountBox->addItem(QString::number(m_playCount));
    m_playCountBox->setCurrentIndex(m_playCount >= kListedCounts ? kListedCounts : std::max(m_playCount, 0));

    m_session = std::make_unique<CEditSession>(m_sonvox, *this, m_report, m_map, m_setup);
    m_session->Open();
    m_waveform->SetSlot(m_setup.slot);
    RefreshWaveform();
    m_nameBox->setFocus();
}

void CTXEditDlg::accept()
{
    Close(true);
}

void CTXEditDlg::reject()
{
    Close(false);
}

void CTXEditDlg::Close(bool ok)
{
    // The first OK or Cancel pressed while a recording is processed is the
    // one that closes the dialog once it is saved.
    if (m_closePending || m_runInline)
        return;
    auto close = [this, ok] {
        m_closePending = false;
        if (m_runInline)
            return;
        if (ok) {
            m_name = m_nameBox->text().left(kMaxNameLength);
            const int index = m_playCountBox->currentIndex();
            if (index >= 0 && index < kListedCounts)
                m_playCount = index;
            // Otherwise the extra entry is selected: the count stays as it came in.
            m_audioChanged = m_session && m_session->AudioChanged();
            QDialog::accept();
        } else {
            m_audioChanged = false;
            QDialog::reject();
        }
    };
    if (!m_session) {
        close();
        return;
    }
    m_closePending = true;
    m_session->StopActivity(close);
}

// ---- the end of a recording, off the window's thread ---------------------

void CTXEditDlg::RunAside(std::function<void()> work, std::function<void()> done)
{
    EndAside();  // one at a time; the session never asks for two
    if (m_runInline) {
        work();
        done();
        return;
    }
    m_asideDone = std::move(done);
    m_aside = std::thread([this, work = std::move(work)] {
        work();
        QMetaObject::invokeMethod(
            this, [this] { EndAside(); }, Qt::QueuedConnection);
    });
}

void CTXEditDlg::EndAside()
{
    if (!m_aside.joinable())
        return;
    m_aside.join();
    std::function<void()> done = std::move(m_asideDone);
    m_asideDone = nullptr;
    if (done)
        done();
}

void CTXEditDlg::SetBusy(bool busy)
{
    if (busy && !m_busy)
        m_focusBeforeBusy = focusWidget();
    m_busy = busy;
    m_record->setEnabled(!busy && m_recordAllowed);
    for (QPushButton* b :
         {m_play, m_makeSilence, m_appendFile, m_appendRecording, m_settings, m_playSelection, m_cut, m_crop})
        b->setEnabled(!busy);
    // Greying the button that had the focus (Stop, mostly) moved it on.
    if (!busy && m_focusBeforeBusy && m_focusBeforeBusy->isEnabled())
        m_focusBeforeBusy->setFocus();
    RefreshWaveform();
}

// ---- what the session shows ------------------------------------------------

void CTXEditDlg::SetRemainingText(const std::string& text)
{
    m_remaining->setText(QString::fromStdString(text));
    RefreshWaveform();
}
void CTXEditDlg::SetRecordCaption(const char* text)
{
    m_record->setText(WithMnemonic(text, kRecordKeys));
    RefreshWaveform();
}
void CTXEditDlg::SetPlayCaption(const char* text)
{
    m_play->setText(WithMnemonic(text, kPlayKeys));
    // The cursor follows the timer while playing, and goes when it ends.
    if (std::string(text) == "Play")
        m_waveform->SetPlayPosition(-1);
}
void CTXEditDlg::SetAppendCaption(const char* text)
{
    m_appendRecording->setText(WithMnemonic(text, kAppendKeys));
}
void CTXEditDlg::EnableRecord(bool on)
{
    m_recordAllowed = on;
    m_record->setEnabled(on && !m_busy);
}
void CTXEditDlg::StartTimer(unsigned periodMs)
{
    m_timer.start(int(periodMs));
}
void CTXEditDlg::StopTimer()
{
    m_timer.stop();
}
void CTXEditDlg::MeterSetLevel(int level)
{
    m_meter->SetLevel(level);
}
void CTXEditDlg::MeterClear()
{
    m_meter->Clear();
}

bool CTXEditDlg::AskSilence(uint32_t roomLeft, uint32_t& ms)
{
    CTXMakeSilence dialog(this);
    dialog.m_roomLeft = roomLeft;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ms = dialog.m_amount;
    return true;
}

bool CTXEditDlg::AskAppendFile(std::string& path)
{
    // The same files as the panel's import.
    const QString chosen = m_fileDialogs->GetOpenPath(
        this, {"Import WAVE file", QString::fromStdString(m_setup.importFolder), QString(), kImportAudioFilter, "wav"});
    if (chosen.isEmpty())
        return false;
    path = QFile::encodeName(chosen).toStdString();
    return true;
}

bool CTXEditDlg::AskSettings(const RecordProcessingParams& current, RecordProcessingParams& chosen)
{
    CRecSettingsDlg dialog(this);
    dialog.m_params = CProcessingSettings::Load();
    dialog.m_params.gain = current.gain;
    dialog.m_params.clipCount = current.clipCount;
    dialog.m_params.snr = current.snr;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    CProcessingSettings::Store(dialog.m_params);
    chosen = dialog.m_params;
    return true;
}
