// The rules of the main panel without its window: the image as a document
// (open, save, the changed mark, Undo and Redo), the one "save first?"
// question before the image is replaced, a transfer or closing, the message
// preview, the message commands, the microphone and speaker choice, the
// recent images and the window's title. The panel turns clicks, keys and
// timer ticks into the calls below and shows what the session tells its
// view; tests drive it with their own view, audio library and clock.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CImageHistory.h"
#include "CPreviewPlayer.h"
#include "CRecentFiles.h"
#include "CSoundDeviceChoice.h"

struct CAppState;
struct CImageChange;
class cMemoryMap;
class CImageDocument;
class IAudioLibrary;
class IOperatorReport;
class IPanelView;

// What the session works with besides the state it is given. Null or empty
// members take the program's own.
struct CPanelSessionSetup {
    // The pauses after starting and before releasing the audio library.
    int settleMs = 1000;
    // The names of the microphones (true) or speakers (false) there are.
    std::function<std::vector<std::string>(bool input)> soundDevices;
    CPreviewPlayer::Clock clock;
};

class CPanelSession {
public:
    // Which replacement of the image asks to save first.
    enum class Before { Loading, Transfer, Quitting };

    static const char* const kLoadErrorText;  // "File load error - cannot play."
    static const char* const kImageFilter;    // "TX Image files (*.txi)"
    static const char* const kWaveFilter;     // "Wave files (*.wav)"

    CPanelSession(CAppState& state, IAudioLibrary& audio, IOperatorReport& report, IPanelView& view,
                  CPanelSessionSetup setup = {});
    ~CPanelSession();
    CPanelSession(const CPanelSession&) = delete;
    CPanelSession& operator=(const CPanelSession&) = delete;

    // The opening steps: log, scratch path, audio library, marks. Returns
    // the text of remembered sound devices that are not connected (empty
    // when all are), which the window shows once it is up.
    std::string Open();
    // The closing steps once the operator agreed: true when the panel may
    // close (the audio library is then released).
    bool Close();
    // Lets go of the audio library without asking (a window torn down).
    void Abandon();

    // ---- the image as a document
    bool Changed() const;
    void SetChanged(bool changed);
    const QString& ImageFile() const { return m_imageFile; }
    // "shop.txi[*] — ORMID"; "ORMID" until a file is named.
    QString Title() const { return TitleFor(m_imageFile); }
    static QString TitleFor(const QString& imageFile);
    // True when the operator may go on: nothing unsaved, saved, or "No".
    bool MayReplaceImage(Before before);
    // File, Open: the question, the dialog, the load.
    void AskAndLoad();
    // Loads path after the question; false when the operator backed out or
    // the load failed.
    bool OpenFile(const QString& path);
    // One of the recent images; one that is gone is taken off the list.
    void OpenRecent(const QString& path);
    // Save: to the image's own file without a question; an image without
    // one (new, or read from a unit) asks as Save As does. Save As always
    // asks, offering the file's name. True when the image was written.
    bool Save();
    bool SaveAs();
    // The image file changed on disk (the window watches it): when the
    // panel has no unsaved changes, it offers to load the file again.
    void NoticeFileChange();
    // Another program changed the image file since it was loaded or saved.
    bool ChangedOnDisk() const;
    void Undo();
    void Redo();
    bool CanUndo() const { return m_history.CanUndo(); }
    bool CanRedo() const { return m_history.CanRedo(); }
    const CImageHistory& History() const { return m_history; }
    // The recent images as the menu shows them ("&1 ~/shop.txi"), with
    // the path each stands for.
    struct RecentItem {
        QString text;
        QString path;
    };
    std::vector<RecentItem> RecentItems() const;
    static QString RecentItemText(int index, const QString& path, const QString& home);

    // ---- the messages
    void Preview();
    void PreviewTick() { m_player.Tick(m_report); }
    void StopPreviewIfPlaying() { m_player.Stop(); }
    bool Previewing() const { return m_player.Playing(); }
    bool AudioAvailable() const { return m_player.Available(); }
    void Edit();
    void Delete();
    // Match Loudness: every message (all) or the selected one brought to
    // target LUFS as one step of Undo; the result per message is shown.
    void MatchLoudness(double target, bool all);
    // The target last used (the default before any).
    static double MatchTarget();
    static void RememberMatchTarget(double target);
    bool Import(int slot, const QString& path);
    void AskAndImport();
    void AskAndExport();
    void ReadWriteUnit();
    // A file dropped on the window: an image file anywhere, an audio file
    // on a message row (row >= 0). False when refused.
    bool Drop(const QString& path, int row);
    // What a drop may be: an image file anywhere, an audio file on a row.
    static bool AcceptsDrop(const QString& path, int row);
    static bool IsImageFile(const QString& path);

    // ---- microphone and speaker
    const CSoundDeviceChoice& Devices() const { return m_devices; }
    SDeviceOffer DeviceOffer(bool input) const;
    // The operator's choice from the two offers: stored, and the audio
    // library started anew when it changed.
    void ChooseDevices(const SDeviceOffer& inputs, int inputIndex, const SDeviceOffer& outputs, int outputIndex);

private:
    bool LoadPath(const QString& path);
    bool SaveTo(const QString& path);
    // What tells one state of a file from another.
    struct FileStamp {
        bool exists = false;
        uint64_t device = 0, inode = 0;
        int64_t size = 0, modifiedNs = 0;
        bool operator!=(const FileStamp& o) const
        {
            return exists != o.exists || device != o.device || inode != o.inode || size != o.size ||
                   modifiedNs != o.modifiedNs;
        }
    };
    static FileStamp StampOf(const QString& path);
    size_t ImageHash() const;
    void SetImageFile(const QString& path);
    void StartAudio();
    void Settle() const;
    // Keeps what a command changed as one Undo step.
    void Changed(const CImageChange& change, bool changedBefore);
    void Step(bool (CImageHistory::*step)(cMemoryMap&, bool&));
    // The selected row again after the image was shown anew, or the first.
    void ShowKeepingRow();

    CAppState& m_state;
    IAudioLibrary& m_audio;
    IOperatorReport& m_report;
    IPanelView& m_view;
    CPanelSessionSetup m_setup;
    std::unique_ptr<CImageDocument> m_document;
    CImageHistory m_history;
    CRecentFiles m_recent;
    QString m_imageFile;
    FileStamp m_stamp;  // of m_imageFile when it was last loaded or saved
    CSoundDeviceChoice m_devices;
    CPreviewPlayer m_player;
    bool m_audioStarted = false;
    std::string m_audioLog;
};
