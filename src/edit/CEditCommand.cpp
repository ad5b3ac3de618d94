#include "CEditCommand.h"

#include <QByteArray>
#include <QString>

#include "CAppState.h"
#include "CEditSonvox.h"
#include "CImageCommands.h"
#include "CLogFile.h"
#include "CPanelCommands.h"
#include "CQtOperatorReport.h"
#include "CTXDoruvevAzadDlg.h"
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

bool EditMessage(CTXDoruvevAzadDlg& panel, int slot, IEditSonvox& sonvox)
{
    CAppState& state = panel.State();
    cMemoryMap& map = state.m_memoryMap;
    const uint8_t s = uint8_t(slot);
    const std::string scratch = state.m_tempWavPath.toLocal8Bit().toStdString();

    // A failed export has told the operator; the dialog still opens, so that
    // the name and the play count can be changed.
    map.ExportSlotWav(s, scratch.c_str(), panel.Report());

    // The desktop's message boxes open over the edit dialog, not the panel.
    CQtOperatorReport boxes;
    IOperatorReport* report = &panel.Report();
    if (dynamic_cast<CQtOperatorReport*>(report))
        report = &boxes;
    CTXEditDlg dialog(sonvox, *report, map, &panel.FileDialogs(), &panel);
    boxes.SetParent(&dialog);
    dialog.m_label = QString("Message %1 name").arg(slot + 1);
    dialog.m_name = QString::fromLatin1(map.GetName(s));
    dialog.m_playCount = map.GetPlayCount(s);
    dialog.m_setup.slot = s;
    dialog.m_setup.roomLeft = int32_t(map.GetRoomLeft());
    dialog.m_setup.scratchPath = scratch;
    dialog.m_setup.workingFolder = state.WorkingFolder().toLocal8Bit().toStdString();
    dialog.m_setup.audioAvailable = panel.IsSonvoxAvailable();
    dialog.m_setup.audioState = &state.m_audioState;
    dialog.m_setup.importFolder = state.m_importFilePath.toLocal8Bit().toStdString();
    TheLog().Write("Message has %u samples\n", unsigned(map.GetLength(s)));

    panel.StopPreviewIfPlaying();
    state.m_audioState = AudioIdle;
    if (dialog.exec() != QDialog::Accepted)
        return false;

    CEditResult result;
    result.nameLatin1 = dialog.m_name.toLatin1().left(CTXEditDlg::kMaxNameLength).toStdString();
    result.playCount = dialog.m_playCount;
    result.audioChanged = dialog.m_audioChanged;
    return ApplyEditResult(map, s, result, scratch, panel.Report());
}

}  // namespace

void InstallEditCommand(CPanelCommands& commands, IEditSonvox* sonvox)
{
    static CEditSonvox library;
    IEditSonvox* used = sonvox ? sonvox : &library;
    commands.editMessage = [used](CTXDoruvevAzadDlg& panel, int slot) { return EditMessage(panel, slot, *used); };
}
