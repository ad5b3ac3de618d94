#include "CListingPrinter.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include <cstdio>
#include <cstring>

#include "CLoudnessMeter.h"
#include "IPrintReport.h"
#include "cMemoryMap.h"

namespace {

const char* const kHeadings[5] = {"Message #", "Name", "Length (bytes)", "Duration (sec)", "Play Count"};
const char* const kLoudnessHeading = "Loudness";

// Text whose top edge lies at y, as printers place text.
void TextAt(QPainter& painter, int x, int y, const QString& text)
{
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()), text);
}

void TextAt(QPainter& painter, int x, int y, const char* text)
{
    TextAt(painter, x, y, QString::fromLatin1(text));
}

}  // namespace

CListingLayout CListingLayout::Compute(const CPageMetrics& page, int fontHeight, int charWidth)
{
    CListingLayout l;
    const int minTop = page.physicalHeight * 5 / 100;
    const int minLeft = page.physicalWidth * 5 / 100;
    l.top = page.offsetY < minTop ? minTop : page.offsetY;
    l.left = page.offsetX < minLeft ? minLeft : page.offsetX;
    l.height = page.physicalHeight - 2 * l.top;
    l.width = page.physicalWidth - 2 * l.left;
    l.fontHeight = fontHeight;
    l.charWidth = charWidth;
    l.lineHeight = int(fontHeight * 1.1);
    const int columnChars[5] = {0, 12, 30, 48, 66};
    for (int c = 0; c < 5; ++c)
        l.column[c] = l.left + columnChars[c] * charWidth;
    constexpr int kLoudnessChars = 80, kLoudnessWidth = 10;
    if ((kLoudnessChars + kLoudnessWidth) * charWidth <= l.width)
        l.loudnessColumn = l.left + kLoudnessChars * charWidth;
    return l;
}

CListingPrinter::CListingPrinter(const cMemoryMap& map, std::string imageFolder, bool changed)
    : m_map(map), m_folder(std::move(imageFolder)), m_changed(changed), m_time(std::time(nullptr))
{
}

QFont CListingPrinter::ListingFont()
{
    QFont font(QString::fromLatin1(kFontFace));
    font.setPointSizeF(10.0);
    font.setWeight(QFont::Medium);  // 500
    // Letters one by one, as printers set text: no ligatures, no kerning.
    font.setStyleHint(QFont::SansSerif, QFont::StyleStrategy(QFont::PreferQuality | QFont::PreferNoShaping));
    return font;
}

bool CListingPrinter::FontUsable(const QFontMetrics& metrics)
{
    return !QFontDatabase::families().isEmpty() && metrics.height() > 0 && metrics.averageCharWidth() > 0;
}

std::string CListingPrinter::HeaderText() const
{
    std::string text = "Image data for: ";
    text += m_folder.empty() ? "Unsaved file" : m_folder;
    if (m_changed)
        text += "*";
    return text;
}

std::string CListingPrinter::DateText() const
{
    std::tm local{};
    char text[64] = "";
    if (localtime_r(&m_time, &local) && std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S", &local) > 0)
        return text;
    return std::string();
}

bool CListingPrinter::Listed(int slot) const
{
    return m_map.GetLength(uint8_t(slot)) > 1;
}

int CListingPrinter::Draw(QPainter& painter, const CPageMetrics& page, const std::function<bool()>& newPage) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const CListingLayout l = CListingLayout::Compute(page, metrics.height(), metrics.averageCharWidth());
    const QString header = QString::fromStdString(HeaderText());
    const QString date = QString::fromStdString(DateText());

    int pageNumber = 1;
    int slot = 0;
    for (;;) {
        TextAt(painter, l.left, l.top, header);
        TextAt(painter, l.left, l.top + l.lineHeight, date);
        for (int c = 0; c < 5; ++c)
            TextAt(painter, l.column[c], l.top + 3 * l.lineHeight, kHeadings[c]);
        if (l.loudnessColumn)
            TextAt(painter, l.loudnessColumn, l.top + 3 * l.lineHeight, kLoudnessHeading);

        int y = l.top + 5 * l.lineHeight;
        while (slot < cMemoryMap::kSlotCount) {
            const int s = slot++;
            if (!Listed(s))
                continue;
            const uint8_t id = uint8_t(s);
            const uint32_t length = m_map.GetLength(id);
            const char* stored = m_map.GetName(id);
            char number[16], bytes[16], seconds[32], count[16];
            std::snprintf(number, sizeof number, "%3d", s + 1);
            std::snprintf(bytes, sizeof bytes, "%9u", unsigned(length));
            std::snprintf(seconds, sizeof seconds, "%8.2f", length / double(cMemoryMap::kBytesPerSecond));
            if (m_map.GetPlayCount(id) == 0)
                std::snprintf(count, sizeof count, "Continuous");
            else
                std::snprintf(count, sizeof count, "   %3d", int(m_map.GetPlayCount(id)));
            TextAt(painter, l.column[0], y, number);
            TextAt(painter, l.column[1], y, QString::fromLatin1(stored, int(strnlen(stored, cMemoryMap::kNameSize))));
            TextAt(painter, l.column[2], y, bytes);
            TextAt(painter, l.column[3], y, seconds);
            TextAt(painter, l.column[4], y, count);
            if (l.loudnessColumn) {
                const std::string loudness = CLoudnessMeter::LoudnessText(CLoudnessMeter::MeasureSlot(m_map, id));
                TextAt(painter, l.loudnessColumn, y, loudness.c_str());
            }
            y += l.lineHeight;
            if (y > l.PageFullAt())
                break;
        }
        // Slots that are passed over do not earn a page of their own.
        while (slot < cMemoryMap::kSlotCount && !Listed(slot))
            ++slot;

        char footer[32];
        std::snprintf(footer, sizeof footer, "Page %d", pageNumber);
        TextAt(painter, l.FooterX(), l.FooterY(), footer);
        if (slot >= cMemoryMap::kSlotCount || !newPage())
            return pageNumber;
        ++pageNumber;
    }
}

PrintResult CListingPrinter::Print(QPrinter& printer, IPrintReport& report) const
{
    // The font is checked before the document starts, so a failure leaves
    // no half-made printout behind.
    const QFont font = ListingFont();
    if (!FontUsable(QFontMetrics(font, &printer))) {
        report.ShowMessage("Windoze error", std::string("Printer font (name:") + kFontFace + ") creation failed", true);
        return kPrintNoFont;
    }
    QPainter painter;
    if (!StartDocument(printer, painter, kDocumentName, report))
        return kPrintNotStarted;
    painter.setFont(font);
    Draw(painter, CPageMetrics::Of(printer), [&printer] { return printer.newPage(); });
    return EndDocument(printer, painter, report) ? kPrintDone : kPrintNotFinished;
}
