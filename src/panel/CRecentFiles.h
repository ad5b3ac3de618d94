// The image files last loaded or saved, newest first, at most eight. Kept in
// the settings store ("Recent files" in the program's section) and read anew
// on every use, so that what one run adds the next one offers.
#pragma once

#include <QString>
#include <QStringList>

class CRecentFiles {
public:
    static constexpr int kMaxFiles = 8;
    static const char* const kSettingKey;  // "Recent files"

    QStringList Files() const;
    // Puts path first; an entry already there moves up, the ninth drops off.
    void Add(const QString& path);
    void Remove(const QString& path);

    // The same rule on a list, for callers that keep their own.
    static QStringList Added(QStringList files, const QString& path);

private:
    static void Store(const QStringList& files);
};
