#include "CTXDoruvevAzadDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QDir>
#include <QKeySequence>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <cstring>

#include "CAppState.h"
#include "CBackgroundStep.h"
#include "CDialogUnits.h"
#include "CFileDropTarget.h"
#include "CImageCommands.h"
#include "CImageDocument.h"
#include "CLogFile.h"
#include "CQtFileDialogs.h"
#include "CQtOperatorReport.h"
#include "CSonvoxApi.h"
#include "CSettingsStore.h"
#include "ProgramSettings.h"
#include "CSoundDeviceList.h"
#include "CSoundDevicesDlg.h"
#include "CTabStopDelegate.h"
#include "SlotRow.h"
#include "TXCommDlg.h"
#include "TickCount.h"

namespace {

const char* const kImageFilter = "TX Image files (*.txi)";
const char* const kWaveFilter = "Wave files (*.wav)";

// The folder part of a chosen path, with its closing '/'; the whole path
// when it has none.
QString FolderOf(const QString& path)
{
    const int cut = path.lastIndexOf('/');
    return cut < 0 ? path : path.left(cut + 1);
}

std::string Native(const QString& path)
{
    return path.toStdString();
}

}  // namespace

CTXDoruvevAzadDlg::CTXDoruvevAzadDlg(CAppState& state, const CPanelServices& services, QWidget* parent)
    : QDialog(parent), m_state(state)
{
    if (services.fileDialogs) {
        m_fileDialogs = services.fileDialogs;
    } else {
        m_ownFileDialogs = std::make_unique<CQtFileDialogs>();
        m_fileDialogs = m_ownFileDialogs.get();
    }
    if (services.report) {
        m_report = services.report;
    } else {
        m_ownReport = std::make_unique<CQtOperatorReport>(this);
        m_report = m_ownReport.get();
    }
    if (services.sonvox) {
        m_sonvox = services.sonvox;
    } else {
        m_ownSonvox = std::make_unique<CSonvoxApi>();
        m_sonvox = m_ownSonvox.get();
    }
    m_document = std::make_unique<CImageDocument>(m_state.m_memoryMap, *m_report);
    m_soundDevices = [](bool input) {
        std::vector<std::string> names;
        for (const SSoundDeviceEntry& e :
             CSoundDeviceList::List(input ? SoundDirection::Input : SoundDirection::Output))
            names.push_back(e.name);
        return names;
    };

    m_history.Reset(m_state.m_memoryMap, false);
    m_previewTimer.setInterval(50);
    connect(&m_previewTimer, &QTimer::timeout, this, &CTXDoruvevAzadDlg::OnPreviewTimer);
    m_pendingTimer.setInterval(250);
    connect(&m_pendingTimer, &QTimer::timeout, this, &CTXDoruvevAzadDlg::OpenPendingWhenFree);
    BuildWindow();
}

void CTXDoruvevAzadDlg::SetChanged(bool changed)
{
    m_document->SetChanged(changed);
    UpdateTitle();
}

bool CTXDoruvevAzadDlg::IsChanged() const
{
    return m_document->Changed();
}

CTXDoruvevAzadDlg::~CTXDoruvevAzadDlg()
{
    // A panel torn down without its closing steps still lets go of audio.
    if (m_audioStarted) {
        m_previewTimer.stop();
        m_sonvox->PreviewCancel();
        m_sonvox->Release();
        m_audioStarted = false;
    }
}

void CTXDoruvevAzadDlg::BuildWindow()
{
    setWindowTitle("ORMID");
    setWindowIcon(QIcon(":/ormid/ormid.svg"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    m_menuBar = new QMenuBar(this);
    BuildMenus();
    BuildUndoActions();

    const CDialogUnits du(font());
    const int top = m_menuBar->sizeHint().height();
    auto place = [&](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(du.X(x), top + du.Y(y), du.X(cx), du.Y(cy));
    };

    m_group = new QGroupBox(" Messages ", this);
    place(m_group, 8, 11, 235, 145);

    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(false);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_delegate = new CTabStopDelegate({qreal(du.X(20)), qreal(du.X(95)), qreal(du.X(140))}, m_list);
    m_list->setItemDelegate(m_delegate);
    place(m_list, 17, 25, 158, 123);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { OnEdit(); });
    // Files dropped on a row go into that slot; an image file anywhere.
    new CFileDropTarget(this, m_list, [this](const QString& path, int row) { DropFile(path, row); });
    // Enter on a row edits it, as a double-click does (and not Close).
    m_list->installEventFilter(this);

    auto button = [&](const char* caption, int x, int y, int cx, int cy, void (CTXDoruvevAzadDlg::*slot)()) {
        auto* b = new QPushButton(caption, this);
        place(b, x, y, cx, cy);
        // Enter presses the button that has the focus; with the focus
        // elsewhere it presses the default button, Close.
        b->setAutoDefault(true);
        // Space presses the focused button, ahead of Space for Preview.
        b->installEventFilter(this);
        connect(b, &QPushButton::clicked, this, [this, slot] { (this->*slot)(); });
        return b;
    };
    // Mnemonics: none on F, E, T or H, which open the menus.
    m_previewButton = button("&Preview", 182, 25, 50, 14, &CTXDoruvevAzadDlg::OnPreview);
    button("Ed&it", 182, 48, 50, 14, &CTXDoruvevAzadDlg::OnEdit);
    button("&Delete", 182, 71, 50, 14, &CTXDoruvevAzadDlg::OnDelete);
    button("I&mport WAV", 182, 94, 50, 14, &CTXDoruvevAzadDlg::OnImportWav);
    button("E&xport WAV", 182, 117, 50, 14, &CTXDoruvevAzadDlg::OnExportWav);
    button("&Load Image File", 249, 13, 71, 20, &CTXDoruvevAzadDlg::OnLoadImage);
    auto* save = new QPushButton("&Save Image File", this);
    place(save, 249, 38, 71, 20);
    save->setAutoDefault(true);
    save->installEventFilter(this);
    connect(save, &QPushButton::clicked, this, [this] { OnSaveImage(); });
    m_readWriteButton = button("&Read / Write Unit", 249, 63, 71, 20, &CTXDoruvevAzadDlg::OnReadWriteUnit);
    button("Print Im&age Data", 249, 88, 71, 20, &CTXDoruvevAzadDlg::OnPrintListing);
    button("Print La&bels", 249, 113, 71, 20, &CTXDoruvevAzadDlg::OnPrintLabels);
    m_closeButton = button("&Close", 249, 138, 71, 20, &CTXDoruvevAzadDlg::OnClose);
    m_closeButton->setDefault(true);

    m_menuBar->setGeometry(0, 0, du.X(330), top);
    setFixedSize(du.X(330), top + du.Y(169));
}

void CTXDoruvevAzadDlg::BuildMenus()
{
    auto item = [this](QMenu* menu, const char* text, void (CTXDoruvevAzadDlg::*slot)(),
                       const QKeySequence& keys = {}) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
        return action;
    };

    QMenu* file = m_menuBar->addMenu("&File");
    item(file, "&Open", &CTXDoruvevAzadDlg::OnLoadImage, QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* save = file->addAction("&Save");
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, [this] { OnSaveImage(); });
    m_recentMenu = file->addMenu("&Recent Images");
    file->addSeparator();
    item(file, "&Import", &CTXDoruvevAzadDlg::OnImportWav, QKeySequence(Qt::CTRL | Qt::Key_I));
    item(file, "&Export", &CTXDoruvevAzadDlg::OnExportWav, QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addSeparator();
    item(file, "Sound &Devices...", &CTXDoruvevAzadDlg::OnSoundDevices);
    file->addSeparator();
    item(file, "&Print Listing", &CTXDoruvevAzadDlg::OnPrintListing, QKeySequence(Qt::CTRL | Qt::Key_P));
    item(file, "Print &Labels", &CTXDoruvevAzadDlg::OnPrintLabels);
    file->addSeparator();
    item(file, "E&xit", &CTXDoruvevAzadDlg::OnClose, QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* edit = m_menuBar->addMenu("&Edit");
    item(edit, "&Preview", &CTXDoruvevAzadDlg::OnPreview, QKeySequence(Qt::Key_Space));
    edit->addSeparator();
    item(edit, "&Record", &CTXDoruvevAzadDlg::OnEdit);
    item(edit, "Re&name", &CTXDoruvevAzadDlg::OnEdit, QKeySequence(Qt::Key_F2));
    item(edit, "Repe&titions", &CTXDoruvevAzadDlg::OnEdit);
    edit->addSeparator();
    item(edit, "&Delete", &CTXDoruvevAzadDlg::OnDelete, QKeySequence(QKeySequence::Delete));

    QMenu* transfer = m_menuBar->addMenu("&Transfer");
    item(transfer, "&Begin", &CTXDoruvevAzadDlg::OnReadWriteUnit);

    QMenu* help = m_menuBar->addMenu("&Help");
    item(help, "&Help", &CTXDoruvevAzadDlg::OnHelp, QKeySequence(Qt::Key_F1));
    item(help, "&Codec Information", &CTXDoruvevAzadDlg::OnCodecInfo);
    help->addSeparator();
    item(help, "&About", &CTXDoruvevAzadDlg::OnAbout);

    FillRecentMenu();
}

void CTXDoruvevAzadDlg::FillRecentMenu()
{
    m_recentMenu->clear();
    const QStringList files = m_recent.Files();
    for (int i = 0; i < files.size(); ++i) {
        QString shown = QDir::toNativeSeparators(files[i]);
        const QString home = QDir::homePath();
        if (!home.isEmpty() && home != "/" && shown.startsWith(home + '/'))
            shown = '~' + shown.mid(home.size());
        shown.replace('&', "&&");
        QAction* action = m_recentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(shown));
        const QString path = files[i];
        connect(action, &QAction::triggered, this, [this, path] { OpenRecentImage(path); });
    }
    m_recentMenu->setEnabled(!files.isEmpty());
}

void CTXDoruvevAzadDlg::SetImageFile(const QString& path)
{
    m_imageFile = path;
    m_recent.Add(path);
    FillRecentMenu();
    UpdateTitle();
}

void CTXDoruvevAzadDlg::UpdateTitle()
{
    // "ORMID" until a file is named; then the file and the modified mark.
    if (m_imageFile.isEmpty())
        setWindowTitle("ORMID");
    else
        // A "[*]" in the name itself is doubled so that Qt shows it as written.
        setWindowTitle(QFileInfo(m_imageFile).fileName().replace("[*]", "[*][*]") +
                       QString::fromUtf8("[*] \u2014 ORMID"));
    // Without a placeholder Qt shows nothing, but the state is still kept.
    setAttribute(Qt::WA_WindowModified, IsChanged());
    if (!m_imageFile.isEmpty())
        setWindowModified(IsChanged());
}

bool CTXDoruvevAzadDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == m_list) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            OnEdit();
            return true;
        }
    }
    // A focused button takes Space itself, as buttons do, before the
    // window's Space (Preview) can.
    if (event->type() == QEvent::ShortcutOverride && qobject_cast<QPushButton*>(watched)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            key->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTXDoruvevAzadDlg::BuildUndoActions()
{
    // Undo and Redo head the Edit menu, as in every desktop editor.
    QMenu* edit = nullptr;
    for (QAction* action : m_menuBar->actions())
        if (action->menu() && action->text().remove('&') == "Edit")
            edit = action->menu();
    if (!edit)
        return;
    QAction* first = edit->actions().value(0);
    m_undoAction = new QAction("&Undo", this);
    m_undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redoAction = new QAction("Re&do", this);
    m_redoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->insertAction(first, m_undoAction);
    edit->insertAction(first, m_redoAction);
    edit->insertSeparator(first);
    // The keys work with the menu closed too.
    addAction(m_undoAction);
    addAction(m_redoAction);
    connect(m_undoAction, &QAction::triggered, this, [this] { OnUndo(); });
    connect(m_redoAction, &QAction::triggered, this, [this] { OnRedo(); });
    UpdateUndoActions();
}

void CTXDoruvevAzadDlg::UpdateUndoActions()
{
    if (m_undoAction)
        m_undoAction->setEnabled(m_history.CanUndo());
    if (m_redoAction)
        m_redoAction->setEnabled(m_history.CanRedo());
}

void CTXDoruvevAzadDlg::RecordStep(const CImageChange& change, bool changedBefore)
{
    m_history.Record(m_state.m_memoryMap, change, changedBefore, IsChanged());
    UpdateUndoActions();
}

int CTXDoruvevAzadDlg::DoModal()
{
    OnInitDialog();
    // "ormid FILE": loaded once the panel runs, so that its messages have
    // a window to stand over.
    if (!m_state.m_startFile.isEmpty())
        QTimer::singleShot(0, this, [this] { OpenFromOutside(m_state.m_startFile); });
    if (m_state.m_autoCloseMs >= 0) {
        QTimer::singleShot(m_state.m_autoCloseMs, this, [this] {
            if (!m_state.m_grabPath.isEmpty())
                grab().save(m_state.m_grabPath);
            OnClose();
        });
    }
    return exec();
}

void CTXDoruvevAzadDlg::OnInitDialog()
{
    TheLog().Open("ORMID.log");
    setWindowIcon(QIcon(":/ormid/ormid.svg"));

    m_state.m_tempWavPath = m_state.WorkingFolder() + "TXTemp.wav";
    RefreshList();
    m_state.m_unitReadDone = 0;
    m_state.m_imageFilePath.clear();

    m_audioLog = Native(m_state.WorkingFolder() + "Audio.log");
    LoadDeviceChoice();
    StartAudio();
    if (m_sonvoxAvailable)
        Settle();
    // A remembered device that is not connected: said once, when the panel
    // shows; the library uses the system default meanwhile.
    if (!m_devices.input.empty() || !m_devices.output.empty()) {
        const std::string missing = m_devices.MissingText(m_soundDevices(true), m_soundDevices(false));
        if (!missing.empty())
            QTimer::singleShot(0, this, [this, missing] { m_report->ShowMessage(missing); });
    }

    m_state.m_audioState = AudioIdle;
    SetChanged(false);
    m_history.Reset(m_state.m_memoryMap, false);
    UpdateUndoActions();
    m_readWriteButton->setFocus();
}

void CTXDoruvevAzadDlg::Settle()
{
    if (m_settleMs > 0)
        QThread::msleep(m_settleMs);
}

QString CTXDoruvevAzadDlg::FormatRow(int slot) const
{
    // Names are single-byte text.
    return QString::fromLatin1(FormatSlotRow(m_state.m_memoryMap, uint8_t(slot)).c_str());
}

void CTXDoruvevAzadDlg::RefreshList()
{
    m_list->clear();
    const QFontMetrics metrics(m_list->font());
    for (int slot = 0; slot < 8; ++slot) {
        m_list->addItem(FormatRow(slot));
        // A name too wide for its column is shown cut short: whole in the tip.
        const char* stored = m_state.m_memoryMap.GetName(uint8_t(slot));
        const QString name = stored ? QString::fromLatin1(stored, int(strnlen(stored, 16))) : QString();
        if (metrics.horizontalAdvance(name) > m_delegate->ColumnWidth(1))
            m_list->item(slot)->setToolTip(name);
    }
    SelectRow(0);
}

void CTXDoruvevAzadDlg::SelectRow(int slot)
{
    if (slot >= 0 && slot < m_list->count())
        m_list->setCurrentRow(slot);
}

int CTXDoruvevAzadDlg::SelectedSlot() const
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return -1;
    const int row = m_list->row(selected.first());
    return row >= 0 && row < 8 ? row : -1;
}

// ---- preview ---------------------------------------------------------------

void CTXDoruvevAzadDlg::OnPreview()
{
    if (!m_sonvoxAvailable) {
        m_report->ShowMessage("Sonvox not available - cannot play");
        return;
    }
    if (m_state.m_audioState == AudioPlaying) {
        StopPreview();
        return;
    }
    if (m_state.m_audioState == AudioRecording)
        return;
    const int slot = SelectedSlot();
    if (slot < 0)
        return;
    const std::string path = Native(m_state.m_tempWavPath);
    if (!m_state.m_memoryMap.ExportSlotWav(uint8_t(slot), path.c_str(), *m_report))
        return;
    m_sonvox->PreviewCancel();
    if (!m_sonvox->LoadPlay(path.c_str())) {
        m_report->ShowMessage("File load error - cannot play.");
        return;
    }
    const unsigned duration = m_sonvox->GetDuration();
    TheLog().Write("Duration of file is %d ms\n", int(duration));
    if (duration == 0)
        return;
    m_state.m_audioState = AudioPlaying;
    m_previewButton->setText("Sto&p");
    m_previewStart = GetTickCountMs();
    m_previewDuration = duration;
    m_previewTimer.start();
    m_sonvox->Preview();
}

void CTXDoruvevAzadDlg::OnPreviewTimer()
{
    if (uint32_t(GetTickCountMs() - m_previewStart) > m_previewDuration)
        StopPreview();
}

void CTXDoruvevAzadDlg::StopPreview()
{
    m_sonvox->PreviewCancel();
    m_state.m_audioState = AudioIdle;
    m_previewButton->setText("&Preview");
    m_previewTimer.stop();
}

void CTXDoruvevAzadDlg::StopPreviewIfPlaying()
{
    if (m_state.m_audioState == AudioPlaying)
        StopPreview();
}

// ---- message commands ------------------------------------------------------

void CTXDoruvevAzadDlg::OnEdit()
{
    const int slot = SelectedSlot();
    if (slot < 0)
        return;
    StopPreviewIfPlaying();
    m_state.m_audioState = AudioIdle;
    uint8_t table[cMemoryMap::kTableSize];
    std::memcpy(table, m_state.m_memoryMap.GetTable(), sizeof table);
    const bool changedBefore = IsChanged();
    if (m_state.m_panelCommands.editMessage && m_state.m_panelCommands.editMessage(*this, slot)) {
        SetChanged(true);
        RecordStep(CImageChange::Between(table, m_state.m_memoryMap, slot), changedBefore);
        RefreshList();
        SelectRow(slot);
    }
}

void CTXDoruvevAzadDlg::OnDelete()
{
    StopPreviewIfPlaying();
    const int slot = SelectedSlot();
    if (slot < 0)
        return;
    const bool changedBefore = IsChanged();
    const CCommandResult result = CImageCommands(m_state.m_memoryMap, *m_report).Delete(uint8_t(slot));
    // A deletion changes the image like any edit: closing must not drop it.
    SetChanged(true);
    RecordStep(result.change, changedBefore);
    RefreshList();
    SelectRow(slot);
}

void CTXDoruvevAzadDlg::OnImportWav()
{
    const int slot = SelectedSlot();
    if (slot < 0)
        return;
    const QString path = m_fileDialogs->GetOpenPath(
        this, {"Import g.711 file", m_state.m_importFilePath, QString(), kImportAudioFilter, "wav"});
    if (path.isEmpty())
        return;
    ImportFile(slot, path);
}

bool CTXDoruvevAzadDlg::ImportFile(int slot, const QString& path)
{
    // A file in the unit's format is imported as it is; another kind is
    // converted once the operator agrees. Decoding runs off this thread. The
    // slot is named after the file.
    CBackgroundLongStep steps(this);
    CImageCommands commands(m_state.m_memoryMap, *m_report, &steps);
    commands.m_onConverted = [](const CAudioConverter& converter) {
        TheLog().Write("%s", converter.LogText().c_str());
    };
    CAudioFileRequest request;
    request.slot = uint8_t(slot);
    request.path = Native(path);
    const bool changedBefore = IsChanged();
    const CCommandResult result = commands.Import(request);
    if (!result.done)
        return false;
    m_state.m_importFilePath = FolderOf(path);
    RefreshList();
    SelectRow(slot);
    SetChanged(true);
    RecordStep(result.change, changedBefore);
    return true;
}

void CTXDoruvevAzadDlg::OnExportWav()
{
    const int slot = SelectedSlot();
    if (slot < 0)
        return;
    const QString path =
        m_fileDialogs->GetSavePath(this, {"Export g.711 file", m_state.m_exportFilePath, "Export", kWaveFilter, "wav"});
    if (path.isEmpty())
        return;
    if (CImageCommands(m_state.m_memoryMap, *m_report).Export(uint8_t(slot), Native(path)))
        m_state.m_exportFilePath = FolderOf(path);
}

// ---- image files -----------------------------------------------------------

bool CTXDoruvevAzadDlg::KeepUnsavedWork()
{
    // Loading replaces the whole image: offer to keep unsaved work first. If
    // the operator backs out, or that save does not happen after all, nothing
    // is loaded.
    if (!IsChanged())
        return true;
    const IOperatorReport::Answer answer =
        m_report->AskYesNoOrCancel("The image data has changed.\nWould you like to save it before "
                                   "loading another image file?");
    return !(answer == IOperatorReport::Answer::Cancel || (answer == IOperatorReport::Answer::Yes && !OnSaveImage()));
}

void CTXDoruvevAzadDlg::OnLoadImage()
{
    if (!KeepUnsavedWork())
        return;
    const QString path = m_fileDialogs->GetOpenPath(
        this, {"Load ORMID Image file", m_state.m_imageFilePath, "Unknown", kImageFilter, "txi"});
    if (path.isEmpty())
        return;
    LoadImagePath(path);
}

bool CTXDoruvevAzadDlg::OpenImageFile(const QString& path)
{
    return KeepUnsavedWork() && LoadImagePath(path);
}

bool CTXDoruvevAzadDlg::LoadImagePath(const QString& path)
{
    // Not while ormid-cli is half way through changing the file. A failed
    // load leaves the image as it was, and so its changed mark and its
    // history; a new image starts a new history, as in any editor.
    const bool loaded = m_document->Load(Native(path));
    m_state.m_imageFilePath = FolderOf(path);
    if (loaded) {
        m_history.Reset(m_state.m_memoryMap, false);
        SetImageFile(path);
    }
    UpdateUndoActions();
    RefreshList();
    return loaded;
}

void CTXDoruvevAzadDlg::OpenRecentImage(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        m_recent.Remove(path);
        FillRecentMenu();
        m_report->ShowMessage(
            QString("The image file %1 no longer exists; it is taken off the recent images.").arg(path).toStdString());
        return;
    }
    OpenImageFile(path);
}

void CTXDoruvevAzadDlg::OpenFromOutside(const QString& path)
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    if (path.isEmpty())
        return;
    m_pendingOpen = path;
    OpenPendingWhenFree();
}

void CTXDoruvevAzadDlg::OpenPendingWhenFree()
{
    // Not under an open dialog (an edit, a transfer, a question): the image
    // it works on must not change beneath it. Tried again until it closes.
    QWidget* modal = QApplication::activeModalWidget();
    if ((modal && modal != this) || !isVisible()) {
        m_pendingTimer.start();
        return;
    }
    m_pendingTimer.stop();
    const QString path = m_pendingOpen;
    m_pendingOpen.clear();
    if (!path.isEmpty())
        OpenImageFile(path);
}

bool CTXDoruvevAzadDlg::OnSaveImage()
{
    const QString path = m_fileDialogs->GetSavePath(
        this, {"Save TX Image file as", m_state.m_imageFilePath, "Unknown", kImageFilter, "txi"});
    if (path.isEmpty())
        return false;
    // Another program changing the same file waits until the save is done.
    if (!m_document->Save(Native(path)))
        return false;  // the changes are still unsaved
    // The history stays: undoing past the save makes the image changed again.
    m_history.Saved();
    SetImageFile(path);
    m_state.m_imageFilePath = FolderOf(path);
    return true;
}

// ---- undo ------------------------------------------------------------------

void CTXDoruvevAzadDlg::OnUndo()
{
    TakeHistoryStep(&CImageHistory::Undo);
}

void CTXDoruvevAzadDlg::OnRedo()
{
    TakeHistoryStep(&CImageHistory::Redo);
}

void CTXDoruvevAzadDlg::TakeHistoryStep(bool (CImageHistory::*step)(cMemoryMap&, bool&))
{
    StopPreviewIfPlaying();
    bool changed = IsChanged();
    if (!(m_history.*step)(m_state.m_memoryMap, changed))
        return;
    SetChanged(changed);
    const int slot = SelectedSlot();
    RefreshList();
    SelectRow(slot < 0 ? 0 : slot);
    UpdateUndoActions();
}

// ---- drag and drop ---------------------------------------------------------

bool CTXDoruvevAzadDlg::DropFile(const QString& path, int row)
{
    if (!CFileDropTarget::Accepts(path, row))
        return false;
    if (CFileDropTarget::IsImageFile(path))
        return OpenImageFile(path);
    StopPreviewIfPlaying();
    SelectRow(row);
    return ImportFile(row, path);
}

// ---- commands carried out by other modules ---------------------------------

void CTXDoruvevAzadDlg::OnReadWriteUnit()
{
    if (IsChanged()) {
        const IOperatorReport::Answer answer =
            m_report->AskYesNoOrCancel("The image data has been changed.\nWould you like to save it to a "
                                       "file before\nreading or writing the unit?");
        if (answer == IOperatorReport::Answer::Cancel)
            return;
        if (answer == IOperatorReport::Answer::Yes)
            OnSaveImage();  // going on without a save is the operator's choice
    }
    StopPreviewIfPlaying();
    m_state.m_memoryMap.StoreTableInImage();
    m_history.Adopt(m_state.m_memoryMap, 0, cMemoryMap::kTableSize);
    const bool changedBefore = IsChanged();
    if (m_state.m_panelCommands.unitCommunications) {
        m_state.m_panelCommands.unitCommunications(*this);
    } else {
        TXCommDlg dialog(m_state.m_memoryMap, {&m_state.m_commPortSel, &m_state.m_baudRateSel, &m_state.m_unitReadDone},
                         this);
        dialog.DoModal();
    }
    // A read from the unit replaces what it read: one Undo step.
    RecordStep(CImageChange::Whole(), changedBefore);
    const int slot = SelectedSlot();
    RefreshList();
    SelectRow(slot < 0 ? 0 : slot);
}

void CTXDoruvevAzadDlg::OnPrintListing()
{
    StopPreviewIfPlaying();
    if (m_state.m_panelCommands.printListing)
        m_state.m_panelCommands.printListing(*this);
}

void CTXDoruvevAzadDlg::OnPrintLabels()
{
    StopPreviewIfPlaying();
    if (m_state.m_panelCommands.printLabels)
        m_state.m_panelCommands.printLabels(*this);
}

void CTXDoruvevAzadDlg::OnHelp()
{
    if (m_state.m_panelCommands.showGuide)
        m_state.m_panelCommands.showGuide(*this);
}

void CTXDoruvevAzadDlg::OnAbout()
{
    if (m_state.m_panelCommands.showAbout)
        m_state.m_panelCommands.showAbout(*this);
}

void CTXDoruvevAzadDlg::OnCodecInfo()
{
    if (m_state.m_panelCommands.showCodecInfo)
        m_state.m_panelCommands.showCodecInfo(*this);
}

// ---- closing ---------------------------------------------------------------

void CTXDoruvevAzadDlg::OnClose()
{
    StopPreviewIfPlaying();
    if (IsChanged()) {
        const IOperatorReport::Answer answer =
            m_report->AskYesNoOrCancel("The image data has changed.\nWould you like to save it before quitting?");
        // Backed out, or the save did not happen: stay open, nothing is lost.
        if (answer == IOperatorReport::Answer::Cancel || (answer == IOperatorReport::Answer::Yes && !OnSaveImage()))
            return;
    }
    ReleaseAudio();
    done(QDialog::Accepted);
}

void CTXDoruvevAzadDlg::StartAudio()
{
    m_devices.HandToLibrary();
    m_sonvoxAvailable = m_sonvox->Init(m_audioLog.c_str()) != 0;
    m_audioStarted = true;
    m_state.m_audioAvailable = m_sonvoxAvailable ? 1 : 0;
}

void CTXDoruvevAzadDlg::LoadDeviceChoice()
{
    CSettingsStore settings(ProgramSettings::kSection);
    m_devices.input = settings.value(CSoundDeviceList::kInputSetting).toString().toStdString();
    m_devices.output = settings.value(CSoundDeviceList::kOutputSetting).toString().toStdString();
}

void CTXDoruvevAzadDlg::StoreDeviceChoice() const
{
    CSettingsStore settings(ProgramSettings::kSection);
    settings.setValue(CSoundDeviceList::kInputSetting, QString::fromStdString(m_devices.input));
    settings.setValue(CSoundDeviceList::kOutputSetting, QString::fromStdString(m_devices.output));
}

void CTXDoruvevAzadDlg::OnSoundDevices()
{
    const SDeviceOffer inputs = CSoundDeviceChoice::Offer(m_soundDevices(true), m_devices.input);
    const SDeviceOffer outputs = CSoundDeviceChoice::Offer(m_soundDevices(false), m_devices.output);
    CSoundDevicesDlg dialog(inputs, outputs, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    CSoundDeviceChoice chosen;
    chosen.input = CSoundDeviceChoice::NameAt(inputs, dialog.InputIndex(), m_devices.input);
    chosen.output = CSoundDeviceChoice::NameAt(outputs, dialog.OutputIndex(), m_devices.output);
    if (chosen == m_devices)
        return;
    m_devices = chosen;
    StoreDeviceChoice();
    // The library takes the devices when it starts: started anew, after a
    // running preview is stopped.
    if (m_audioStarted) {
        StopPreviewIfPlaying();
        m_sonvox->Release();
        StartAudio();
    }
}

void CTXDoruvevAzadDlg::ReleaseAudio()
{
    if (!m_audioStarted)
        return;
    Settle();
    m_sonvox->Release();
    m_audioStarted = false;
}

void CTXDoruvevAzadDlg::reject()
{
    OnClose();
}

void CTXDoruvevAzadDlg::closeEvent(QCloseEvent* event)
{
    // The close box takes the Close command's path; the command itself
    // hides the window when it may close.
    // Run outside the close event so that the command may hide the window.
    event->ignore();
    if (isVisible())
        QTimer::singleShot(0, this, [this] { OnClose(); });
}
