// A printed page as the printing code sees it, in the printer's device units
// (pixels, y growing downwards). Drawing coordinates start at the top left of
// the printable area, as they do on a printer.
#pragma once

class QPrinter;

struct CPageMetrics {
    int physicalWidth = 0;  // whole sheet
    int physicalHeight = 0;
    int offsetX = 0;  // unprintable strip at the left
    int offsetY = 0;  // unprintable strip at the top
    int dpiX = 0;     // device units per inch
    int dpiY = 0;

    // The metrics of a printer as it is set up now (paper, orientation,
    // margins, resolution).
    static CPageMetrics Of(const QPrinter& printer);
};
