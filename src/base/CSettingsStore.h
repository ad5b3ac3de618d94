// The program's per-user settings store (~/.config/Tarlex/ORMID.conf) under
// the names of ProgramSettings.h: the whole store, or opened on one group.
#pragma once

#include <QSettings>

class CSettingsStore : public QSettings {
public:
    CSettingsStore();
    // Keys are then read and written inside group, e.g. ProgramSettings::kSection.
    explicit CSettingsStore(const char* group);
};
