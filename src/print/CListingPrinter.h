// The message listing ("Print Image Data"): a header with the image file's
// folder and the date, column headings, one row per message and a page
// number at the foot of each page.
#pragma once

#include <QFont>

#include <ctime>
#include <functional>
#include <string>

#include "CPageMetrics.h"
#include "PrintDocument.h"

class QFontMetrics;
class QPainter;
class QPrinter;
class cMemoryMap;
class IPrintReport;

// Where everything of the listing goes, in device units.
struct CListingLayout {
    int top = 0;     // T: unprintable offset, at least 5 % of the sheet
    int left = 0;    // L
    int height = 0;  // H: sheet height - 2 T
    int width = 0;   // W: sheet width - 2 L
    int fontHeight = 0;
    int charWidth = 0;   // a: average character width
    int lineHeight = 0;  // h: font height x 1.1, truncated
    int column[5] = {};  // L, L+12a, L+30a, L+48a, L+66a
    // The loudness, last, at L+80a: only when its ten characters fit the
    // page's width (0 when they do not).
    int loudnessColumn = 0;

    static CListingLayout Compute(const CPageMetrics& page, int fontHeight, int charWidth);
    // Rows stop for a page once y passes this.
    int PageFullAt() const { return top + height - 3 * fontHeight; }
    int FooterX() const { return left + width / 2 - 6 * charWidth; }
    int FooterY() const { return top + height - fontHeight; }
};

class CListingPrinter {
public:
    static constexpr const char* kDocumentName = "Bitmap Printing Test";
    static constexpr const char* kFontFace = "Verdana";

    // imageFolder: the folder of the image file, empty before the image was
    // loaded or saved; changed: the panel's changed mark.
    CListingPrinter(const cMemoryMap& map, std::string imageFolder, bool changed);

    // The listing font: 10 pt, weight 500. The desktop's font matching
    // stands in a similar face where this one is not installed.
    static QFont ListingFont();
    // False when no font can lay out text on the device at all (no font
    // installed, or the match has no height or width).
    static bool FontUsable(const QFontMetrics& metrics);

    // The time printed in the header (default: now).
    void SetTime(std::time_t when) { m_time = when; }
    // "Image data for: ..." with the folder or "Unsaved file", and "*" for a change.
    std::string HeaderText() const;
    // "%m/%d/%y %H:%M:%S" in local time; empty when it cannot be converted.
    std::string DateText() const;

    // Draws every page with the painter's font; newPage moves to the next
    // sheet and is false when it could not. Returns the number of pages.
    int Draw(QPainter& painter, const CPageMetrics& page, const std::function<bool()>& newPage) const;

    // The whole print job on a chosen printer.
    PrintResult Print(QPrinter& printer, IPrintReport& report) const;

private:
    // A slot of length 0 or 1 holds no message worth listing.
    bool Listed(int slot) const;

    const cMemoryMap& m_map;
    std::string m_folder;
    bool m_changed;
    std::time_t m_time;
};
