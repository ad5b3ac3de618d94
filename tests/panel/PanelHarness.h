// The panel as the tests that import into it drive it: answered file dialogs,
// a recorded report, a silent audio library, the scratch folder, and the bytes
// the image holds (table and audio), which a refused or undone command must
// leave as they were.
#pragma once

#include <QApplication>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "CTXDoruvevAzadApp.h"
#include "CTXDoruvevAzadDlg.h"
#include "QuickPanel.h"
#include "PanelDoubles.h"

class CPanelHarness {
protected:
    explicit CPanelHarness(const QString& workDir) : m_work(workDir) { }

    cMemoryMap& Map() { return TheApp()->m_memoryMap; }
    QString Work(const QString& name) const { return m_work + '/' + name; }
    std::string WorkStd(const QString& name) const { return Work(name).toStdString(); }

    std::vector<uint8_t> Take()
    {
        std::vector<uint8_t> v(Map().GetTable(), Map().GetTable() + cMemoryMap::kTableSize);
        v.insert(v.end(), Map().GetImageBuffer() + cMemoryMap::kTableSize,
                 Map().GetImageBuffer() + cMemoryMap::kImageSize);
        return v;
    }

    // A new panel over the application's image, shown.
    void OpenPanel()
    {
        m_dialogs = CAnsweredFileDialogs();
        m_report.Clear();
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(*TheApp(), QuickServices(&m_dialogs, &m_report, &m_sonvox));
        m_panel->OnInitDialog();
        m_panel->show();
    }

    // Import WAV on a slot, the file dialog answered with path.
    void Import(int slot, const QString& path)
    {
        m_panel->SelectRow(slot);
        m_dialogs.answers = {path};
        m_panel->OnImportWav();
    }

    QString m_work;
    std::unique_ptr<CTXDoruvevAzadDlg> m_panel;
    CAnsweredFileDialogs m_dialogs;
    CRecordedReport m_report;
    CSilentSonvox m_sonvox;
};
