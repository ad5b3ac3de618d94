// Starting a printed document, shared by the listing and the labels.
#pragma once

class QPainter;
class QPrinter;
class IPrintReport;

enum PrintResult : int {
    kPrintDone = 0,
    kPrintNotStarted = 1,   // the printer (or the PDF file) could not be opened
    kPrintNoFont = 2,       // no usable font for the listing
    kPrintNotFinished = 3,  // the document could not be completed
};

// Caption of the program's own message boxes.
extern const char* const kPrintCaption;

// Portrait orientation, one copy, the document name, and the painter begun on
// the printer. False (after telling the operator) when the document cannot
// be started; nothing has been printed then.
bool StartDocument(QPrinter& printer, QPainter& painter, const char* name, IPrintReport& report);

// Ends the document; false (after telling the operator) when the printer or
// the file did not take it all.
bool EndDocument(QPrinter& printer, QPainter& painter, IPrintReport& report);
