#include "CDesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

bool CDesktopOpener::HasPdfViewer()
{
    QProcess query;
    query.start("xdg-mime", {"query", "default", "application/pdf"});
    if (!query.waitForStarted(3000))
        return true;  // no desktop database to ask: let the opening decide
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

bool CDesktopOpener::OpenDocument(const QString& path, const QString& workingFolder)
{
    if (QProcess::startDetached("xdg-open", {path}, workingFolder))
        return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
