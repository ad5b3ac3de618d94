#include "CRecentFiles.h"

#include "CSettingsStore.h"
#include "ProgramSettings.h"

const char* const CRecentFiles::kSettingKey = "Recent files";

QStringList CRecentFiles::Files() const
{
    QStringList files = CSettingsStore(ProgramSettings::kSection).value(kSettingKey).toStringList();
    // A store edited by hand may hold blanks, doubles or more than eight.
    files.removeAll(QString());
    files.removeDuplicates();
    return files.mid(0, kMaxFiles);
}

QStringList CRecentFiles::Added(QStringList files, const QString& path)
{
    files.removeAll(path);
    files.prepend(path);
    return files.mid(0, kMaxFiles);
}

void CRecentFiles::Add(const QString& path)
{
    if (!path.isEmpty())
        Store(Added(Files(), path));
}

void CRecentFiles::Remove(const QString& path)
{
    QStringList files = Files();
    if (files.removeAll(path) > 0)
        Store(files);
}

void CRecentFiles::Store(const QStringList& files)
{
    CSettingsStore settings(ProgramSettings::kSection);
    settings.setValue(kSettingKey, files);
}
