// The desktop's viewers, through the freedesktop tools.
#pragma once

#include "IDesktopOpener.h"

class CDesktopOpener : public IDesktopOpener {
public:
    bool HasPdfViewer() override;
    bool OpenDocument(const QString& path, const QString& workingFolder) override;
};
