#include "CPanelSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>
#include <thread>

#include <sys/stat.h>

#include "AudioState.h"
#include "CAppState.h"
#include "CImageChange.h"
#include "CImageCommands.h"
#include "CImageDocument.h"
#include "CLogFile.h"
#include "CSettingsStore.h"
#include "CSoundDeviceList.h"
#include "IAudioLibrary.h"
#include "IOperatorReport.h"
#include "IPanelView.h"
#include "ProgramSettings.h"
#include "cMemoryMap.h"

const char* const CPanelSession::kLoadErrorText = "File load error - cannot play.";
const char* const CPanelSession::kImageFilter = "TX Image files (*.txi)";
const char* const CPanelSession::kWaveFilter = "Wave files (*.wav)";

namespace {

// The folder part of a chosen path, with its closing '/'; the whole path
// when it has none.
QString FolderOf(const QString& path)
{
    const int cut = path.lastIndexOf('/');
    return cut < 0 ? path : path.left(cut + 1);
}

// The one way a path of the window reaches the file layer.
std::string Native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

const char* SaveQuestion(CPanelSession::Before before)
{
    switch (before) {
    case CPanelSession::Before::Loading:
        return "The image data has changed.\nWould you like to save it before loading another image file?";
    case CPanelSession::Before::Transfer:
        return "The image data has been changed.\nWould you like to save it to a file before\nreading or writing the "
               "unit?";
    case CPanelSession::Before::Quitting:
        break;
    }
    return "The image data has changed.\nWould you like to save it before quitting?";
}

std::vector<std::string> SystemSoundDevices(bool input)
{
    std::vector<std::string> names;
    for (const SSoundDeviceEntry& e : CSoundDeviceList::List(input ? SoundDirection::Input : SoundDirection::Output))
        names.push_back(e.name);
    return names;
}

}  // namespace

CPanelSession::CPanelSession(CAppState& state, IAudioLibrary& audio, IOperatorReport& report, IPanelView& view,
                             CPanelSessionSetup setup)
    : m_state(state), m_audio(audio), m_report(report), m_view(view), m_setup(std::move(setup)),
      m_document(std::make_unique<CImageDocument>(state.m_memoryMap, report)),
      m_player(audio, view, state.m_audioState, m_setup.clock)
{
    if (!m_setup.soundDevices)
        m_setup.soundDevices = SystemSoundDevices;
    m_player.SetAvailable(false);
    m_history.Reset(m_state.m_memoryMap, false);
}

CPanelSession::~CPanelSession()
{
    Abandon();
}

void CPanelSession::Abandon()
{
    // A panel torn down without its closing steps still lets go of audio.
    if (!m_audioStarted)
        return;
    m_view.StopTimer();
    m_audio.PreviewCancel();
    m_audio.Release();
    m_audioStarted = false;
}

// ---- opening and closing ---------------------------------------------------

std::string CPanelSession::Open()
{
    TheLog().Open("ORMID.log");
    m_state.m_tempWavPath = m_state.WorkingFolder() + "TXTemp.wav";
    m_view.ShowImage(0);
    m_state.m_unitReadDone = 0;
    m_state.m_imageFilePath.clear();

    m_audioLog = Native(m_state.WorkingFolder() + "Audio.log");
    CSettingsStore settings(ProgramSettings::kSection);
    m_devices.input = settings.value(CSoundDeviceList::kInputSetting).toString().toStdString();
    m_devices.output = settings.value(CSoundDeviceList::kOutputSetting).toString().toStdString();
    StartAudio();
    if (m_player.Available())
        Settle();
    // A remembered device that is not connected is said once; the library
    // uses the system default meanwhile.
    std::string missing;
    if (!m_devices.input.empty() || !m_devices.output.empty())
        missing = m_devices.MissingText(m_setup.soundDevices(true), m_setup.soundDevices(false));

    m_state.m_audioState = AudioIdle;
    m_document->SetChanged(false);
    m_history.Reset(m_state.m_memoryMap, false);
    m_view.ShowState();
    return missing;
}

bool CPanelSession::Close()
{
    StopPreviewIfPlaying();
    if (!MayReplaceImage(Before::Quitting))
        return false;
    if (m_audioStarted) {
        Settle();
        m_audio.Release();
        m_audioStarted = false;
    }
    return true;
}

void CPanelSession::StartAudio()
{
    m_devices.HandToLibrary();
    m_player.SetAvailable(m_audio.Init(m_audioLog.c_str()) != 0);
    m_audioStarted = true;
    m_state.m_audioAvailable = m_player.Available() ? 1 : 0;
}

void CPanelSession::Settle() const
{
    if (m_setup.settleMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_setup.settleMs));
}

// ---- the image as a document -----------------------------------------------

bool CPanelSession::Changed() const
{
    return m_document->Changed();
}

void CPanelSession::SetChanged(bool changed)
{
    m_document->SetChanged(changed);
    m_view.ShowState();
}

QString CPanelSession::TitleFor(const QString& imageFile)
{
    if (imageFile.isEmpty())
        return "ORMID";
    // A "[*]" in the name itself is doubled so that Qt shows it as written.
    return QFileInfo(imageFile).fileName().replace("[*]", "[*][*]") + QString::fromUtf8("[*] \u2014 ORMID");
}

bool CPanelSession::MayReplaceImage(Before before)
{
    if (!Changed())
        return true;
    const IOperatorReport::Answer answer = m_report.AskYesNoOrCancel(SaveQuestion(before));
    if (answer == IOperatorReport::Answer::Cancel)
        return false;
    if (answer == IOperatorReport::Answer::No)
        return true;
    // Before a transfer, going on without the save is the operator's choice;
    // a load or closing would lose the changes, so they wait for it.
    return Save() || before == Before::Transfer;
}

void CPanelSession::AskAndLoad()
{
    if (!MayReplaceImage(Before::Loading))
        return;
    const QString path =
        m_view.AskOpenPath({"Load ORMID Image file", m_state.m_imageFilePath, "Unknown", kImageFilter, "txi"});
    if (!path.isEmpty())
        LoadPath(path);
}

bool CPanelSession::OpenFile(const QString& path)
{
    return MayReplaceImage(Before::Loading) && LoadPath(path);
}

bool CPanelSession::LoadPath(const QString& path)
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
    m_view.ShowState();
    m_view.ShowImage(0);
    return loaded;
}

void CPanelSession::OpenRecent(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        m_recent.Remove(path);
        m_view.ShowState();
        m_report.ShowMessage(
            QString("The image file %1 no longer exists; it is taken off the recent images.").arg(path).toStdString());
        return;
    }
    OpenFile(path);
}

bool CPanelSession::Save()
{
    // An image with a file of its own goes back there; a new one, or one read
    // from a unit, is named first.
    return m_imageFile.isEmpty() ? SaveAs() : SaveTo(m_imageFile);
}

bool CPanelSession::SaveAs()
{
    const QString name = m_imageFile.isEmpty() ? QString("Unknown") : QFileInfo(m_imageFile).fileName();
    const QString path =
        m_view.AskSavePath({"Save TX Image file as", m_state.m_imageFilePath, name, kImageFilter, "txi"});
    return !path.isEmpty() && SaveTo(path);
}

bool CPanelSession::SaveTo(const QString& path)
{
    // ormid-cli (or anything else) may have changed the file since the panel
    // read or wrote it: replacing that work is the operator's decision.
    if (path == m_imageFile && ChangedOnDisk() &&
        !m_report.AskYesNo(QString("The image file %1 was changed by another program since it was loaded. "
                                   "Replace it with the image shown here?")
                               .arg(path)
                               .toStdString()))
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

void CPanelSession::SetImageFile(const QString& path)
{
    m_imageFile = path;
    m_stamp = StampOf(path);
    m_recent.Add(path);
    m_view.ShowState();
}

std::vector<CPanelSession::RecentItem> CPanelSession::RecentItems() const
{
    std::vector<RecentItem> items;
    const QStringList files = m_recent.Files();
    for (int i = 0; i < files.size(); ++i)
        items.push_back({RecentItemText(i, files[i], QDir::homePath()), files[i]});
    return items;
}

QString CPanelSession::RecentItemText(int index, const QString& path, const QString& home)
{
    QString shown = QDir::toNativeSeparators(path);
    if (!home.isEmpty() && home != "/" && shown.startsWith(home + '/'))
        shown = '~' + shown.mid(home.size());
    // An '&' in a name is shown as written, not taken for a mnemonic.
    shown.replace('&', "&&");
    return QString("&%1 %2").arg(index + 1).arg(shown);
}

void CPanelSession::Undo()
{
    Step(&CImageHistory::Undo);
}

void CPanelSession::Redo()
{
    Step(&CImageHistory::Redo);
}

void CPanelSession::Step(bool (CImageHistory::*step)(cMemoryMap&, bool&))
{
    StopPreviewIfPlaying();
    bool changed = Changed();
    if (!(m_history.*step)(m_state.m_memoryMap, changed))
        return;
    m_document->SetChanged(changed);
    ShowKeepingRow();
    m_view.ShowState();
}

void CPanelSession::Changed(const CImageChange& change, bool changedBefore)
{
    m_history.Record(m_state.m_memoryMap, change, changedBefore, Changed());
    m_view.ShowState();
}

void CPanelSession::ShowKeepingRow()
{
    const int slot = m_view.SelectedSlot();
    m_view.ShowImage(slot < 0 ? 0 : slot);
}

// ---- the messages ----------------------------------------------------------

void CPanelSession::Preview()
{
    if (!m_player.Usable(m_report))
        return;
    if (m_player.Playing()) {
        m_player.Stop();
        return;
    }
    if (m_state.m_audioState == AudioRecording)
        return;
    const int slot = m_view.SelectedSlot();
    if (slot < 0)
        return;
    const std::string path = Native(m_state.m_tempWavPath);
    if (!m_state.m_memoryMap.ExportSlotWav(uint8_t(slot), path.c_str(), m_report))
        return;
    if (m_player.Play(path) == CPreviewPlayer::Start::LoadFailed)
        m_report.ShowMessage(kLoadErrorText);
}

void CPanelSession::Edit()
{
    const int slot = m_view.SelectedSlot();
    if (slot < 0)
        return;
    StopPreviewIfPlaying();
    m_state.m_audioState = AudioIdle;
    std::array<uint8_t, cMemoryMap::kTableSize> table;
    std::copy_n(m_state.m_memoryMap.GetTable(), table.size(), table.begin());
    const bool changedBefore = Changed();
    if (m_state.m_panelCommands.editMessage && m_state.m_panelCommands.editMessage(m_view.Context(), slot)) {
        m_document->SetChanged(true);
        Changed(CImageChange::Between(table.data(), m_state.m_memoryMap, slot), changedBefore);
        m_view.ShowImage(slot);
    }
}

void CPanelSession::Delete()
{
    StopPreviewIfPlaying();
    const int slot = m_view.SelectedSlot();
    if (slot < 0)
        return;
    const bool changedBefore = Changed();
    const CCommandResult result = CImageCommands(m_state.m_memoryMap, m_report).Delete(uint8_t(slot));
    // A deletion changes the image like any edit: closing must not drop it.
    m_document->SetChanged(true);
    Changed(result.change, changedBefore);
    m_view.ShowImage(slot);
}

void CPanelSession::MatchLoudness(double target, bool all)
{
    StopPreviewIfPlaying();
    const int slot = m_view.SelectedSlot();
    if (!all && slot < 0)
        return;
    const uint8_t mask = all ? uint8_t(0xFF) : uint8_t(1u << slot);
    const bool changedBefore = Changed();
    std::vector<SMatchOutcome> outcomes;
    const CCommandResult result = CImageCommands(m_state.m_memoryMap, m_report).MatchLoudness(target, mask, outcomes);
    if (result.change.Any()) {
        m_document->SetChanged(true);
        Changed(result.change, changedBefore);
        ShowKeepingRow();
    }
    std::string lines;
    for (const SMatchOutcome& outcome : outcomes) {
        // Empty slots go unmentioned, unless the one asked for is empty.
        if (outcome.kind != SMatchOutcome::Kind::kEmpty || !all)
            lines += (lines.empty() ? "" : "\n") + CLoudnessMatch::Describe(outcome);
    }
    if (!lines.empty())
        m_report.ShowMessage(lines);
}

namespace {
constexpr const char* kMatchTargetSetting = "Match loudness target";
}

double CPanelSession::MatchTarget()
{
    bool ok = false;
    const double target = CSettingsStore(ProgramSettings::kSection)
                              .value(kMatchTargetSetting, CLoudnessMatch::kDefaultTarget)
                              .toDouble(&ok);
    if (!ok || target < CLoudnessMatch::kMinTarget || target > CLoudnessMatch::kMaxTarget)
        return CLoudnessMatch::kDefaultTarget;
    return target;
}

void CPanelSession::RememberMatchTarget(double target)
{
    CSettingsStore(ProgramSettings::kSection).setValue(kMatchTargetSetting, target);
}

void CPanelSession::AskAndImport()
{
    const int slot = m_view.SelectedSlot();
    if (slot < 0)
        return;
    const QString path =
        m_view.AskOpenPath({"Import g.711 file", m_state.m_importFilePath, QString(), kImportAudioFilter, "wav"});
    if (!path.isEmpty())
        Import(slot, path);
}

bool CPanelSession::Import(int slot, const QString& path)
{
    // A file in the unit's format is imported as it is; another kind is
    // converted once the operator agrees. Decoding runs off this thread. The
    // slot is named after the file.
    CImageCommands commands(m_state.m_memoryMap, m_report, &m_view.LongSteps());
    commands.m_onConverted = [](const CAudioConverter& converter) {
        TheLog().Write("%s", converter.LogText().c_str());
    };
    CAudioFileRequest request;
    request.slot = uint8_t(slot);
    request.path = Native(path);
    const bool changedBefore = Changed();
    const CCommandResult result = commands.Import(request);
    if (!result.done)
        return false;
    m_state.m_importFilePath = FolderOf(path);
    m_view.ShowImage(slot);
    m_document->SetChanged(true);
    Changed(result.change, changedBefore);
    return true;
}

void CPanelSession::AskAndExport()
{
    const int slot = m_view.SelectedSlot();
    if (slot < 0)
        return;
    const QString path =
        m_view.AskSavePath({"Export g.711 file", m_state.m_exportFilePath, "Export", kWaveFilter, "wav"});
    if (path.isEmpty())
        return;
    if (CImageCommands(m_state.m_memoryMap, m_report).Export(uint8_t(slot), Native(path)))
        m_state.m_exportFilePath = FolderOf(path);
}

bool CPanelSession::IsImageFile(const QString& path)
{
    return path.endsWith(".txi", Qt::CaseInsensitive);
}

bool CPanelSession::AcceptsDrop(const QString& path, int row)
{
    return !path.isEmpty() && (IsImageFile(path) || (row >= 0 && row < cMemoryMap::kSlotCount));
}

bool CPanelSession::Drop(const QString& path, int row)
{
    if (!AcceptsDrop(path, row))
        return false;
    if (IsImageFile(path))
        return OpenFile(path);
    StopPreviewIfPlaying();
    m_view.ShowImage(row);
    return Import(row, path);
}

void CPanelSession::ReadWriteUnit()
{
    if (!MayReplaceImage(Before::Transfer))
        return;
    StopPreviewIfPlaying();
    m_state.m_memoryMap.StoreTableInImage();
    m_history.Adopt(m_state.m_memoryMap, 0, cMemoryMap::kTableSize);
    const bool changedBefore = Changed();
    const size_t before = ImageHash();
    m_view.ShowUnitCommunications();
    // A read from the unit replaces what it read: one Undo step. The image
    // is then the unit's, no longer the file's: Save asks for a name.
    Changed(CImageChange::Whole(), changedBefore);
    if (ImageHash() != before) {
        m_imageFile.clear();
        m_view.ShowState();
    }
    ShowKeepingRow();
}

size_t CPanelSession::ImageHash() const
{
    const cMemoryMap& map = m_state.m_memoryMap;
    return std::hash<std::string_view>()(
               std::string_view(reinterpret_cast<const char*>(map.GetImageBuffer()), cMemoryMap::kImageSize)) ^
           std::hash<std::string_view>()(
               std::string_view(reinterpret_cast<const char*>(map.GetTable()), cMemoryMap::kTableSize));
}

CPanelSession::FileStamp CPanelSession::StampOf(const QString& path)
{
    FileStamp stamp;
    struct stat st { };
    if (path.isEmpty() || ::stat(Native(path).c_str(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = uint64_t(st.st_dev);
    stamp.inode = uint64_t(st.st_ino);
    stamp.size = int64_t(st.st_size);
    stamp.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool CPanelSession::ChangedOnDisk() const
{
    return !m_imageFile.isEmpty() && StampOf(m_imageFile) != m_stamp;
}

void CPanelSession::NoticeFileChange()
{
    // Unsaved changes of the panel's own are kept: the next save asks.
    if (!ChangedOnDisk() || Changed())
        return;
    const FileStamp now = StampOf(m_imageFile);
    if (!now.exists)
        return;
    // Asked once for each change the other program made.
    m_stamp = now;
    if (m_report.AskYesNo(QString("The image file %1 was changed by another program.\nLoad it again?")
                              .arg(m_imageFile)
                              .toStdString()))
        LoadPath(m_imageFile);
}

// ---- microphone and speaker ------------------------------------------------

SDeviceOffer CPanelSession::DeviceOffer(bool input) const
{
    return CSoundDeviceChoice::Offer(m_setup.soundDevices(input), input ? m_devices.input : m_devices.output);
}

void CPanelSession::ChooseDevices(const SDeviceOffer& inputs, int inputIndex, const SDeviceOffer& outputs,
                                  int outputIndex)
{
    CSoundDeviceChoice chosen;
    chosen.input = CSoundDeviceChoice::NameAt(inputs, inputIndex, m_devices.input);
    chosen.output = CSoundDeviceChoice::NameAt(outputs, outputIndex, m_devices.output);
    if (chosen == m_devices)
        return;
    m_devices = chosen;
    CSettingsStore settings(ProgramSettings::kSection);
    settings.setValue(CSoundDeviceList::kInputSetting, QString::fromStdString(m_devices.input));
    settings.setValue(CSoundDeviceList::kOutputSetting, QString::fromStdString(m_devices.output));
    // The library takes the devices when it starts: started anew, after a
    // running preview is stopped.
    if (m_audioStarted) {
        StopPreviewIfPlaying();
        m_audio.Release();
        StartAudio();
    }
}
