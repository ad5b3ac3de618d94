// Printing into a PDF file without ever leaving a cut or half-replaced file:
// the document is drawn into a scratch file beside the target (the atomic
// replace's own temporary file), checked to be complete, and only then takes
// the target's place. Used by the panel's "Print to file" and by ormid-cli's
// --pdf alike.
#pragma once

#include <functional>
#include <string>

#include "PrintDocument.h"

class QPrinter;

// Told when the file could not be written: the message, the path and the
// system's reason (errno).
using PdfFileError = std::function<void(const std::string& text, const std::string& path, int error)>;

// Draws with print() on printer, which is set to write PDF into target; a
// failure at any step leaves the old target as it was.
PrintResult PrintToPdfFile(QPrinter& printer, const std::string& target, const PdfFileError& fileError,
                           const std::function<PrintResult(QPrinter&)>& print);
