#include "CSettingsStore.h"

#include "ProgramSettings.h"

CSettingsStore::CSettingsStore() : QSettings(ProgramSettings::kCompany, ProgramSettings::kProgram) { }

CSettingsStore::CSettingsStore(const char* group) : CSettingsStore()
{
    beginGroup(group);
}
