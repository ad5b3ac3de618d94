#include "CQtFileDialogs.h"

#include <QFileDialog>

namespace {

QString RunDialog(QWidget* parent, const CFileDialogRequest& request, bool save)
{
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Opening needs an existing file; saving asks before replacing one.
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.filter);
    // Folders and regular files only: named pipes, sockets and device nodes
    // (System on Unix) are no image or WAV file and are not offered.
    dialog.setFilter((dialog.filter() | QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot) & ~QDir::System);
    dialog.setDefaultSuffix(request.defaultExt);
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace

QString CQtFileDialogs::GetOpenPath(QWidget* parent, const CFileDialogRequest& request)
{
    return RunDialog(parent, request, false);
}

QString CQtFileDialogs::GetSavePath(QWidget* parent, const CFileDialogRequest& request)
{
    return RunDialog(parent, request, true);
}
