// Handing a document to the desktop's viewer, behind an interface so that
// tests can stand for a desktop with or without a PDF viewer.
#pragma once

#include <QString>

class IDesktopOpener {
public:
    virtual ~IDesktopOpener() = default;
    // Whether the desktop database names a default application for PDF files.
    virtual bool HasPdfViewer() = 0;
    // Opens the document in its viewer, started in the working folder.
    virtual bool OpenDocument(const QString& path, const QString& workingFolder) = 0;
};
