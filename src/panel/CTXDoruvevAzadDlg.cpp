#include "CTXDoruvevAzadDlg.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include <cstring>
#include <iterator>

#include "CAppState.h"
#include "CDialogUnits.h"
#include "CFileDropTarget.h"
#include "CLoudnessMeter.h"
#include "CMatchLoudnessDlg.h"
#include "CMessageCellDelegate.h"
#include "CMemoryMapBar.h"
#include "CQtFileDialogs.h"
#include "CQtOperatorReport.h"
#include "CReportRelay.h"
#include "CSonvoxLibrary.h"
#include "CSoundDevicesDlg.h"
#include "SlotRow.h"
#include "TXCommDlg.h"
#include "UnitProtocol.h"

CTXDoruvevAzadDlg::CTXDoruvevAzadDlg(CAppState& state, const CPanelServices& services, QWidget* parent)
    : QDialog(parent), m_state(state), m_longSteps(this)
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
    IAudioLibrary* audio = services.sonvox;
    if (!audio) {
        m_ownSonvox = std::make_unique<CSonvoxLibrary>();
        audio = m_ownSonvox.get();
    }
    m_previewTimer.setInterval(int(CPreviewPlayer::kTickMs));
    connect(&m_previewTimer, &QTimer::timeout, this, [this] { m_session->PreviewTick(); });
    m_pendingTimer.setInterval(250);
    connect(&m_pendingTimer, &QTimer::timeout, this, &CTXDoruvevAzadDlg::OpenPendingWhenFree);
    // A change on disk is looked at once the other program is done writing,
    // and not beneath another dialog (the save's own check still holds).
    m_fileChangedTimer.setSingleShot(true);
    m_fileChangedTimer.setInterval(300);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_fileChangedTimer.start(); });
    connect(&m_fileChangedTimer, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != this) {
            m_fileChangedTimer.start();
            return;
        }
        m_session->NoticeFileChange();
        WatchImageFile();
    });
    BuildWindow();
    IPanelView& view = *this;
    m_session = std::make_unique<CPanelSession>(m_state, *audio, *m_report, view, services.session);
    ShowState();
}

CTXDoruvevAzadDlg::~CTXDoruvevAzadDlg()
{
    m_session->Abandon();
}

void CTXDoruvevAzadDlg::BuildWindow()
{
    setWindowTitle("ORMID");
    setWindowIcon(QIcon(":/ormid/ormid.svg"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    m_menuBar = new QMenuBar(this);
    QMenu* edit = nullptr;
    BuildMenus(edit);
    BuildUndoActions(edit);

    const CDialogUnits du(font());
    const int top = m_menuBar->sizeHint().height();
    // The loudness column widens the list; what stands right of it moves along.
    constexpr int kLoudnessDu = 34;
    auto place = [&](QWidget* w, int x, int y, int cx, int cy) {
        if (x >= 182)
            x += kLoudnessDu;
        w->setGeometry(du.X(x), top + du.Y(y), du.X(cx), du.Y(cy));
    };

    m_group = new QGroupBox(" Messages ", this);
    place(m_group, 8, 11, 235 + kLoudnessDu, 145);

    // A table of one row per slot, so that a screen reader reads each cell
    // on its own and names its column; it looks as the rows always did.
    m_list = new QTreeWidget(this);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAccessibleName(m_group->title().trimmed());
    m_list->setSortingEnabled(false);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setExpandsOnDoubleClick(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setItemDelegate(new CMessageCellDelegate(m_list));
    m_list->setHeaderLabels({"No.", "Name", "Length", "Plays", "Loudness"});
    QHeaderView* header = m_list->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(1);
    header->setStretchLastSection(true);
    // The columns start where the rows' tab stops always stood.
    const int stops[] = {0, du.X(20), du.X(95), du.X(140), du.X(155)};
    for (int column = 0; column + 1 < int(std::size(stops)); ++column) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        m_list->setColumnWidth(column, stops[column + 1] - stops[column]);
    }
    place(m_list, 17, 25, 158 + kLoudnessDu, 123);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { OnEdit(); });
    // Files dropped on a row go into that slot; an image file anywhere.
    new CFileDropTarget(this, m_list, [this](const QString& path, int row) { DropFile(path, row); });
    // Enter on a row edits it, as a double-click does (and not Close).
    m_list->installEventFilter(this);

    auto button = [&](const char* caption, int x, int y, int cx, int cy, const std::function<void()>& command) {
        auto* b = new QPushButton(caption, this);
        place(b, x, y, cx, cy);
        // Enter presses the button that has the focus; with the focus
        // elsewhere it presses the default button, Close.
        b->setAutoDefault(true);
        // Space presses the focused button, ahead of Space for Preview.
        b->installEventFilter(this);
        connect(b, &QPushButton::clicked, this, command);
        return b;
    };
    // Mnemonics: none on F, E, T or H, which open the menus.
    m_previewButton = button("&Preview", 182, 25, 50, 14, [this] { OnPreview(); });
    button("Ed&it", 182, 48, 50, 14, [this] { OnEdit(); });
    button("&Delete", 182, 71, 50, 14, [this] { OnDelete(); });
    button("I&mport WAV", 182, 94, 50, 14, [this] { OnImportWav(); });
    button("E&xport WAV", 182, 117, 50, 14, [this] { OnExportWav(); });
    button("&Load Image File", 249, 13, 71, 20, [this] { OnLoadImage(); });
    button("&Save Image File", 249, 38, 71, 20, [this] { OnSaveImage(); });
    m_readWriteButton = button("&Read / Write Unit", 249, 63, 71, 20, [this] { OnReadWriteUnit(); });
    button("Print Im&age Data", 249, 88, 71, 20, [this] { OnPrintListing(); });
    button("Print La&bels", 249, 113, 71, 20, [this] { OnPrintLabels(); });
    m_closeButton = button("&Close", 249, 138, 71, 20, [this] { OnClose(); });
    m_closeButton->setDefault(true);

    m_memoryMap = new CMemoryMapBar(m_state.m_memoryMap, this);
    place(m_memoryMap, 8, 161, 312 + kLoudnessDu, 22);

    m_menuBar->setGeometry(0, 0, du.X(330 + kLoudnessDu), top);
    setFixedSize(du.X(330 + kLoudnessDu), top + du.Y(187));
}

void CTXDoruvevAzadDlg::BuildMenus(QMenu*& edit)
{
    auto item = [this](QMenu* menu, const char* text, const std::function<void()>& command,
                       const QKeySequence& keys = {}) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, command);
        return action;
    };

    QMenu* file = m_menuBar->addMenu("&File");
    item(
        file, "&Open", [this] { OnLoadImage(); }, QKeySequence(Qt::CTRL | Qt::Key_O));
    item(
        file, "&Save", [this] { OnSaveImage(); }, QKeySequence(Qt::CTRL | Qt::Key_S));
    item(
        file, "Save &As...", [this] { OnSaveImageAs(); }, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_recentMenu = file->addMenu("&Recent Images");
    file->addSeparator();
    item(
        file, "&Import", [this] { OnImportWav(); }, QKeySequence(Qt::CTRL | Qt::Key_I));
    item(
        file, "&Export", [this] { OnExportWav(); }, QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addSeparator();
    item(file, "Sound &Devices...", [this] { OnSoundDevices(); });
    file->addSeparator();
    item(
        file, "&Print Listing", [this] { OnPrintListing(); }, QKeySequence(Qt::CTRL | Qt::Key_P));
    item(file, "Print &Labels", [this] { OnPrintLabels(); });
    file->addSeparator();
    item(
        file, "E&xit", [this] { OnClose(); }, QKeySequence(Qt::CTRL | Qt::Key_Q));

    edit = m_menuBar->addMenu("&Edit");
    item(
        edit, "&Preview", [this] { OnPreview(); }, QKeySequence(Qt::Key_Space));
    edit->addSeparator();
    item(edit, "&Record", [this] { OnEdit(); });
    item(
        edit, "Re&name", [this] { OnEdit(); }, QKeySequence(Qt::Key_F2));
    item(edit, "Repe&titions", [this] { OnEdit(); });
    edit->addSeparator();
    item(
        edit, "&Delete", [this] { OnDelete(); }, QKeySequence(QKeySequence::Delete));
    edit->addSeparator();
    item(edit, "Match &Loudness...", [this] { OnMatchLoudness(); });

    QMenu* transfer = m_menuBar->addMenu("&Transfer");
    item(transfer, "&Begin", [this] { OnReadWriteUnit(); });
    item(transfer, "&Program Units...", [this] { OnProgramUnits(); });

    QMenu* help = m_menuBar->addMenu("&Help");
    item(
        help, "&Help", [this] { OnHelp(); }, QKeySequence(Qt::Key_F1));
    item(help, "&Codec Information", [this] { OnCodecInfo(); });
    help->addSeparator();
    item(help, "&About", [this] { OnAbout(); });
}

void CTXDoruvevAzadDlg::BuildUndoActions(QMenu* edit)
{
    // Undo and Redo head the Edit menu, as in every desktop editor.
    QAction* first = edit->actions().value(0);
    m_undoAction = new QAction("&Undo", this);
    m_undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redoAction = new QAction("Red&o", this);
    m_redoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->insertAction(first, m_undoAction);
    edit->insertAction(first, m_redoAction);
    edit->insertSeparator(first);
    // The keys work with the menu closed too.
    addAction(m_undoAction);
    addAction(m_redoAction);
    connect(m_undoAction, &QAction::triggered, this, [this] { OnUndo(); });
    connect(m_redoAction, &QAction::triggered, this, [this] { OnRedo(); });
}

void CTXDoruvevAzadDlg::FillRecentMenu()
{
    m_recentMenu->clear();
    const std::vector<CPanelSession::RecentItem> items = m_session->RecentItems();
    for (const CPanelSession::RecentItem& item : items) {
        const QString path = item.path;
        connect(m_recentMenu->addAction(item.text), &QAction::triggered, this,
                [this, path] { m_session->OpenRecent(path); });
    }
    m_recentMenu->setEnabled(!items.empty());
}

void CTXDoruvevAzadDlg::ShowState()
{
    // The session calls this while it is being made: nothing to show yet.
    if (!m_session)
        return;
    setWindowTitle(m_session->Title());
    // Without a placeholder Qt shows nothing, but the state is still kept.
    setAttribute(Qt::WA_WindowModified, IsChanged());
    if (!ImageFile().isEmpty())
        setWindowModified(IsChanged());
    m_undoAction->setEnabled(m_session->CanUndo());
    m_redoAction->setEnabled(m_session->CanRedo());
    // A transfer or a save changes what the next write sends.
    RefreshMemoryMap();
    FillRecentMenu();
    WatchImageFile();
}

void CTXDoruvevAzadDlg::WatchImageFile()
{
    // A replace renames a new file over the old one: watched anew each time.
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!ImageFile().isEmpty() && QFileInfo::exists(ImageFile()))
        m_watcher.addPath(ImageFile());
}

void CTXDoruvevAzadDlg::SetPlaying(bool playing)
{
    m_previewButton->setText(playing ? "Sto&p" : "&Preview");
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
        // Copying a row copies the whole row, not the cell of its first column.
        if (key->matches(QKeySequence::Copy)) {
            const QString row = RowText(SelectedSlot());
            if (!row.isEmpty())
                QGuiApplication::clipboard()->setText(row);
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
    setWindowIcon(QIcon(":/ormid/ormid.svg"));
    const std::string missing = m_session->Open();
    if (!missing.empty())
        QTimer::singleShot(0, this, [this, missing] { m_report->ShowMessage(missing); });
    m_readWriteButton->setFocus();
}

void CTXDoruvevAzadDlg::RefreshList()
{
    m_list->clear();
    const QFontMetrics metrics(m_list->font());
    // A name wider than its cell's room is cut short.
    const int nameRoom = CMessageCellDelegate::TextRoom(m_list->columnWidth(1));
    for (int slot = 0; slot < 8; ++slot) {
        // Names are single-byte text.
        const QString row = QString::fromLatin1(FormatSlotRow(m_state.m_memoryMap, uint8_t(slot)).c_str());
        // Number, name, length and plays; a name may itself hold a tab.
        const int nameStart = row.indexOf('\t') + 1;
        const int lengthStart = row.lastIndexOf('\t', row.lastIndexOf('\t') - 1) + 1;
        const int playsStart = row.lastIndexOf('\t') + 1;
        const QString plays = row.mid(playsStart);
        const SLoudness loudness = m_loudness.Get(m_state.m_memoryMap, uint8_t(slot));
        auto* item = new QTreeWidgetItem(
            m_list, QStringList{row.left(nameStart - 1), row.mid(nameStart, lengthStart - 1 - nameStart),
                                row.mid(lengthStart, playsStart - 1 - lengthStart), plays,
                                QString::fromStdString(CLoudnessMeter::LoudnessText(loudness))});
        item->setData(0, kRowTextRole, row);
        // Read out as words: the number without its padding, "C" in full.
        item->setData(0, Qt::AccessibleTextRole, item->text(0).trimmed());
        if (m_state.m_memoryMap.GetPlayCount(uint8_t(slot)) == 0)
            item->setData(3, Qt::AccessibleTextRole, QStringLiteral("Continuous"));
        // A name too wide for its column is shown cut short: whole in the tip.
        const char* stored = m_state.m_memoryMap.GetName(uint8_t(slot));
        const QString name = stored ? QString::fromLatin1(stored, int(strnlen(stored, 16))) : QString();
        if (metrics.horizontalAdvance(name) > nameRoom)
            item->setToolTip(1, name);
    }
    RefreshMemoryMap();
    SelectRow(0);
}

void CTXDoruvevAzadDlg::RefreshMemoryMap()
{
    const int index = m_state.m_baudRateSel == 1 ? 1 : 0;
    m_memoryMap->Refresh(UnitProtocol::kLineSpeeds[index].baud);
}

void CTXDoruvevAzadDlg::ShowImage(int row)
{
    RefreshList();
    SelectRow(row);
}

void CTXDoruvevAzadDlg::SelectRow(int slot)
{
    if (slot >= 0 && slot < m_list->topLevelItemCount())
        m_list->setCurrentItem(m_list->topLevelItem(slot));
}

int CTXDoruvevAzadDlg::SelectedSlot() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return -1;
    const int row = m_list->indexOfTopLevelItem(selected.first());
    return row >= 0 && row < 8 ? row : -1;
}

QString CTXDoruvevAzadDlg::RowText(int row) const
{
    const QTreeWidgetItem* item = row >= 0 ? m_list->topLevelItem(row) : nullptr;
    return item ? item->data(0, kRowTextRole).toString() : QString();
}

QString CTXDoruvevAzadDlg::AskOpenPath(const CFileDialogRequest& request)
{
    return m_fileDialogs->GetOpenPath(this, request);
}

QString CTXDoruvevAzadDlg::AskSavePath(const CFileDialogRequest& request)
{
    return m_fileDialogs->GetSavePath(this, request);
}

CPanelContext CTXDoruvevAzadDlg::Context()
{
    IOperatorReport* handedIn = m_ownReport ? nullptr : m_report;
    return {m_state,
            *m_report,
            *m_fileDialogs,
            this,
            IsSonvoxAvailable(),
            IsChanged(),
            [handedIn](QWidget* over) -> std::unique_ptr<IOperatorReport> {
                if (handedIn)
                    return std::make_unique<CReportRelay>(*handedIn);
                return std::make_unique<CQtOperatorReport>(over);
            },
            ImageFile()};
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

// ---- commands carried out by other modules ---------------------------------

void CTXDoruvevAzadDlg::RunCommand(const std::function<void(const CPanelContext&)>& command)
{
    if (command)
        command(Context());
}

void CTXDoruvevAzadDlg::ShowUnitCommunications()
{
    if (m_state.m_panelCommands.unitCommunications) {
        RunCommand(m_state.m_panelCommands.unitCommunications);
        return;
    }
    TXCommDlg dialog(m_state.m_memoryMap, {&m_state.m_commPortSel, &m_state.m_baudRateSel, &m_state.m_unitReadDone},
                     this);
    dialog.DoModal();
}

void CTXDoruvevAzadDlg::OnProgramUnits()
{
    StopPreviewIfPlaying();
    RunCommand(m_state.m_panelCommands.programUnits);
}

void CTXDoruvevAzadDlg::OnMatchLoudness()
{
    StopPreviewIfPlaying();
    CMatchLoudnessDlg dialog(CPanelSession::MatchTarget(), SelectedSlot() + 1, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    CPanelSession::RememberMatchTarget(dialog.Target());
    m_session->MatchLoudness(dialog.Target(), dialog.AllMessages());
}

void CTXDoruvevAzadDlg::OnPrintListing()
{
    StopPreviewIfPlaying();
    RunCommand(m_state.m_panelCommands.printListing);
}

void CTXDoruvevAzadDlg::OnPrintLabels()
{
    StopPreviewIfPlaying();
    RunCommand(m_state.m_panelCommands.printLabels);
}

void CTXDoruvevAzadDlg::OnHelp()
{
    RunCommand(m_state.m_panelCommands.showGuide);
}

void CTXDoruvevAzadDlg::OnAbout()
{
    RunCommand(m_state.m_panelCommands.showAbout);
}

void CTXDoruvevAzadDlg::OnCodecInfo()
{
    RunCommand(m_state.m_panelCommands.showCodecInfo);
}

void CTXDoruvevAzadDlg::OnSoundDevices()
{
    const SDeviceOffer inputs = m_session->DeviceOffer(true);
    const SDeviceOffer outputs = m_session->DeviceOffer(false);
    CSoundDevicesDlg dialog(inputs, outputs, this);
    if (dialog.exec() == QDialog::Accepted)
        m_session->ChooseDevices(inputs, dialog.InputIndex(), outputs, dialog.OutputIndex());
}

// ---- closing ---------------------------------------------------------------

void CTXDoruvevAzadDlg::OnClose()
{
    // Backed out, or the save did not happen: stay open, nothing is lost.
    if (m_session->Close())
        done(QDialog::Accepted);
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
