#include "CEditCommand.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

#include "CAppState.h"
#include "CPanelContext.h"
#include "CReportRelay.h"
#include "CSonvoxLibrary.h"
#include "CImageCommands.h"
#include "CLogFile.h"
#include "CPanelCommands.h"
#include "CTXEditDlg.h"
#include "cMemoryMap.h"

bool ApplyEditResult(cMemoryMap& map, uint8_t slot, const CEditResult& result, const std::string& scratchPath,
                     IOperatorReport& report)
{
    return CImageCommands(map, report)
        .ApplyEdit(slot, result.nameLatin1, result.playCount, result.audioChanged ? &scratchPath : nullptr)
        .done;
}

namespace {

std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool EditMessage(const CPanelContext& panel, int slot, IAudioLibrary& sonvox)
{
    CAppState& state = panel.state;
    cMemoryMap& map = state.m_memoryMap;
    const uint8_t s = uint8_t(slot);
    const std::string scratch = NativePath(state.m_tempWavPath);

    // A failed export has told the operator; the dialog still opens, so that
    // the name and the play count can be changed.
    map.ExportSlotWav(s, scratch.c_str(), panel.report);

    // The dialog's message boxes open over the edit dialog, not the panel;
    // the dialog is made first, so they are bound to it once it exists.
    CReportRelay report(panel.report);
    CTXEditDlg dialog(sonvox, report, map, &panel.fileDialogs, panel.window);
    const std::unique_ptr<IOperatorReport> over = panel.reportOver(&dialog);
    report.SetTarget(*over);
    dialog.m_label = QString("Message %1 name").arg(slot + 1);
    dialog.m_name = QString::fromLatin1(map.GetName(s));
    dialog.m_playCount = map.GetPlayCount(s);
    dialog.m_setup.slot = s;
    dialog.m_setup.roomLeft = int32_t(map.GetRoomLeft());
    dialog.m_setup.scratchPath = scratch;
    dialog.m_setup.workingFolder = NativePath(state.WorkingFolder());
    dialog.m_setup.audioAvailable = panel.audioAvailable;
    dialog.m_setup.audioState = &state.m_audioState;
    dialog.m_setup.importFolder = NativePath(state.m_importFilePath);
    TheLog().Write("Message has %u samples\n", unsigned(map.GetLength(s)));

    // The panel stopped its preview before the command.
    state.m_audioState = AudioIdle;
    if (dialog.exec() != QDialog::Accepted)
        return false;

    CEditResult result;
    result.nameLatin1 = dialog.m_name.toLatin1().left(CTXEditDlg::kMaxNameLength).toStdString();
    result.playCount = dialog.m_playCount;
    result.audioChanged = dialog.m_audioChanged;
    return ApplyEditResult(map, s, result, scratch, panel.report);
}

}  // namespace

void InstallEditCommand(CPanelCommands& commands, IAudioLibrary* sonvox)
{
    static CSonvoxLibrary library;
    IAudioLibrary* used = sonvox ? sonvox : &library;
    commands.editMessage = [used](const CPanelContext& panel, int slot) { return EditMessage(panel, slot, *used); };
}
