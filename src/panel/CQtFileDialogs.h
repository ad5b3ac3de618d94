// The file dialogs of the desktop.
#pragma once

#include "IFileDialogs.h"

class CQtFileDialogs : public IFileDialogs {
public:
    QString GetOpenPath(QWidget* parent, const CFileDialogRequest& request) override;
    QString GetSavePath(QWidget* parent, const CFileDialogRequest& request) override;
};
