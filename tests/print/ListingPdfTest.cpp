// The message listing printed to PDF with a real QPrinter and read back with
// pdftotext: what is printed, where it lands, and how pages break.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPrinter>

#include <filesystem>

#include "CListingPrinter.h"
#include "PdfText.h"
#include "PrintTestSupport.h"
#include "TempFolder.h"

namespace {

class ListingPdfTest : public ::testing::Test {
protected:
    ListingPdfTest() { ClearAll(map); }

    // Prints the listing into listing.pdf on the given paper and reads it back.
    PdfText Print(const QPageSize& size = QPageSize(QPageSize::A4), const std::string& folder = "",
                  bool changed = false)
    {
        ToPdf(printer, pdf, size);
        CListingPrinter listing(map, folder, changed);
        EXPECT_EQ(listing.Print(printer, report), kPrintDone);
        EXPECT_TRUE(report.boxes.empty());
        return PdfText(pdf);
    }
    // The layout the printer had, from its metrics and the listing font's.
    CListingLayout Layout() const
    {
        const QFontMetrics font(CListingPrinter::ListingFont(), const_cast<QPrinter*>(&printer));
        return CListingLayout::Compute(CPageMetrics::Of(printer), font.height(), font.averageCharWidth());
    }
    // Width of leading blanks in the listing font, in device units.
    double Blanks(int n) const
    {
        return QFontMetricsF(CListingPrinter::ListingFont(), const_cast<QPrinter*>(&printer))
            .horizontalAdvance(QString(n, ' '));
    }
    double X(double x) const { return PointsX(printer, x); }
    double Y(double y) const { return PointsY(printer, y); }

    TempFolder folder;
    std::string pdf = folder.File("listing.pdf");
    cMemoryMap map;
    QPrinter printer{QPrinter::HighResolution};
    RecordedPrintReport report;
};

const std::vector<std::string> kHeadingWords = {"Message",  "#",     "Name", "Length", "(bytes)",
                                                "Duration", "(sec)", "Play", "Count",  "Loudness"};

}  // namespace

TEST_F(ListingPdfTest, EmptyImageIsOnePageWithHeaderHeadingsAndFooterOnly)
{
    const PdfText text = Print();
    ASSERT_EQ(text.pages, 1);
    const CListingLayout l = Layout();
    const double top = text.One("Image").yMin;
    EXPECT_EQ(text.Line(1, top), (std::vector<std::string>{"Image", "data", "for:", "Unsaved", "file"}));
    // The date line: "MM/DD/YY HH:MM:SS".
    const auto date = text.Line(1, top + (Y(l.lineHeight) - Y(0)));
    ASSERT_EQ(date.size(), 2u);
    EXPECT_TRUE(QRegularExpression(R"(^\d\d/\d\d/\d\d$)").match(QString::fromStdString(date[0])).hasMatch()) << date[0];
    EXPECT_TRUE(QRegularExpression(R"(^\d\d:\d\d:\d\d$)").match(QString::fromStdString(date[1])).hasMatch()) << date[1];
    EXPECT_EQ(text.Line(1, text.One("Message").yMin), kHeadingWords);
    EXPECT_EQ(text.One("Page").page, 1);
    EXPECT_EQ(text.Count("1"), 1);  // the page number, and no row
    EXPECT_EQ(text.words.size(), 5u + 2u + kHeadingWords.size() + 2u);
    // The document carries the listing's name.
    EXPECT_NE(RunCommand("pdfinfo '" + pdf + "'").find("Bitmap Printing Test"), std::string::npos);
}

TEST_F(ListingPdfTest, RowsShowSlotNumberNameLengthDurationAndCount)
{
    Put(map, 0, 1, "OneByte");         // passed over
    Put(map, 1, 2, "TwoBytes", 7);     // listed, 0.00
    Put(map, 3, 12000, "Opening", 3);  // 1.50, count after three blanks
    Put(map, 5, 8000, "Loop", 0);      // Continuous
    Put(map, 7, 123456, "Last one", 255);
    const PdfText text = Print();
    ASSERT_EQ(text.pages, 1);
    EXPECT_EQ(text.Count("OneByte"), 0);

    const CListingLayout l = Layout();
    const double row0 = Y(l.top + 5 * l.lineHeight);
    const double step = Y(l.lineHeight) - Y(0);
    // The loudness last: these constant patterns read as too short or silent.
    EXPECT_EQ(text.Line(1, row0), (std::vector<std::string>{"2", "TwoBytes", "2", "0.00", "7", "too", "short"}));
    EXPECT_EQ(text.Line(1, row0 + step), (std::vector<std::string>{"4", "Opening", "12000", "1.50", "3", "silent"}));
    EXPECT_EQ(text.Line(1, row0 + 2 * step),
              (std::vector<std::string>{"6", "Loop", "8000", "1.00", "Continuous", "silent"}));
    EXPECT_EQ(text.Line(1, row0 + 3 * step),
              (std::vector<std::string>{"8", "Last", "one", "123456", "15.43", "255", "silent"}));

    // Right-aligned fields: "%3d", "%9u", "%8.2f" and "   %3d".
    const PdfWord number = text.One("4"), bytes = text.One("12000"), seconds = text.One("1.50"), count = text.One("3");
    EXPECT_NEAR(number.xMin, X(l.column[0] + Blanks(2)), 0.3);
    EXPECT_NEAR(text.One("Opening").xMin, X(l.column[1]), 0.3);
    EXPECT_NEAR(bytes.xMin, X(l.column[2] + Blanks(4)), 0.3);
    EXPECT_NEAR(seconds.xMin, X(l.column[3] + Blanks(4)), 0.3);
    EXPECT_NEAR(count.xMin, X(l.column[4] + Blanks(5)), 0.3);
    EXPECT_NEAR(text.One("Continuous").xMin, X(l.column[4]), 0.3);
}

TEST_F(ListingPdfTest, HeaderNamesTheFolderOrUnsavedFileAndMarksAChange)
{
    PdfText text = Print(QPageSize(QPageSize::A4), "", true);
    EXPECT_EQ(text.Line(1, text.One("Image").yMin),
              (std::vector<std::string>{"Image", "data", "for:", "Unsaved", "file*"}));
    text = Print(QPageSize(QPageSize::A4), "/srv/units/shop/", false);
    EXPECT_EQ(text.Line(1, text.One("Image").yMin),
              (std::vector<std::string>{"Image", "data", "for:", "/srv/units/shop/"}));
    text = Print(QPageSize(QPageSize::A4), "/srv/units/shop/", true);
    EXPECT_EQ(text.Count("/srv/units/shop/*"), 1);
}

TEST_F(ListingPdfTest, ColumnsAndFooterSitWhereTheMarginsAndFontPutThemOnA4AndLetter)
{
    Put(map, 2, 16000, "Third", 2);
    for (QPageSize::PageSizeId id : {QPageSize::A4, QPageSize::Letter}) {
        SCOPED_TRACE(QPageSize::name(id).toStdString());
        const PdfText text = Print(QPageSize(id));
        const CListingLayout l = Layout();
        const CPageMetrics page = CPageMetrics::Of(printer);
        // Margins: the unprintable strip, raised to 5 % of the sheet.
        EXPECT_GE(l.top, page.physicalHeight * 5 / 100);
        EXPECT_GE(l.left, page.physicalWidth * 5 / 100);
        EXPECT_EQ(l.height, page.physicalHeight - 2 * l.top);
        EXPECT_EQ(l.width, page.physicalWidth - 2 * l.left);
        EXPECT_EQ(l.lineHeight, int(l.fontHeight * 1.1));

        EXPECT_NEAR(text.One("Image").xMin, X(l.left), 0.3);
        EXPECT_NEAR(text.One("Image").yMin, Y(l.top), 1.0);
        const char* headings[5] = {"Message", "Name", "Length", "Duration", "Play"};
        const int chars[5] = {0, 12, 30, 48, 66};
        for (int c = 0; c < 5; ++c) {
            const PdfWord w = text.One(headings[c]);
            EXPECT_NEAR(w.xMin, X(l.left + chars[c] * l.charWidth), 0.3) << headings[c];
            EXPECT_NEAR(w.yMin, Y(l.top + 3 * l.lineHeight), 1.0) << headings[c];
        }
        EXPECT_NEAR(text.One("Third").yMin, Y(l.top + 5 * l.lineHeight), 1.0);
        const PdfWord footer = text.One("Page");
        EXPECT_NEAR(footer.xMin, X(l.left + l.width / 2 - 6 * l.charWidth), 0.3);
        EXPECT_NEAR(footer.yMin, Y(l.top + l.height - l.fontHeight), 1.0);
    }
}

TEST_F(ListingPdfTest, ShortPagesBreakWithoutLosingOrRepeatingARow)
{
    const char* names[8] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf", "Hotel"};
    for (int s = 0; s < 8; ++s)
        Put(map, s, 8000 * (s + 1), names[s], s + 1);
    const QPageSize small(QSizeF(612, 200), QPageSize::Point, "short");
    const PdfText text = Print(small);
    ASSERT_GE(text.pages, 2);
    EXPECT_EQ(text.Count("Page"), text.pages);
    EXPECT_EQ(text.Count("Image"), text.pages);
    EXPECT_EQ(text.Count("Message"), text.pages);

    const CListingLayout l = Layout();
    int lastPage = 1;
    for (int s = 0; s < 8; ++s) {
        const PdfWord w = text.One(names[s]);
        ASSERT_NE(w.page, 0) << names[s] << " printed once";
        EXPECT_GE(w.page, lastPage) << names[s] << " in order";
        // No row starts below the point where the page counts as full.
        EXPECT_LE(w.yMin, Y(l.PageFullAt()) + 1.0) << names[s];
        lastPage = w.page;
    }
    const std::vector<PdfWord> footers = text.All("Page");
    for (int p = 0; p < text.pages; ++p) {
        EXPECT_EQ(footers[p].page, p + 1);
        EXPECT_EQ(text.Line(p + 1, footers[p].yMin), (std::vector<std::string>{"Page", std::to_string(p + 1)}));
    }
}

TEST_F(ListingPdfTest, AFullPageFollowedOnlyByEmptySlotsEndsTheListing)
{
    const QPageSize small(QSizeF(612, 200), QPageSize::Point, "short");
    ToPdf(printer, pdf, small);
    const CListingLayout l = Layout();
    // How many rows fill one of these pages.
    int rows = 0;
    for (int y = l.top + 5 * l.lineHeight;;) {
        ++rows;
        y += l.lineHeight;
        if (y > l.PageFullAt())
            break;
    }
    ASSERT_LT(rows, 8);
    for (int s = 0; s < rows; ++s)
        Put(map, s, 4000, "Filled");
    const PdfText text = Print(small);
    EXPECT_EQ(text.pages, 1);
    EXPECT_EQ(text.Count("Filled"), rows);
}

TEST_F(ListingPdfTest, APdfThatCannotBeWrittenIsReportedAndNothingIsLeft)
{
    const std::string nowhere = folder.File("missing/listing.pdf");
    ToPdf(printer, nowhere);
    CListingPrinter listing(map, "", false);
    EXPECT_EQ(listing.Print(printer, report), kPrintNotStarted);
    ASSERT_EQ(report.boxes.size(), 1u);
    EXPECT_NE(report.boxes[0].text.find(nowhere), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// One GUI application for every printing test of this program.
::testing::Environment* const qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// The loudness column stands only where its ten characters fit inside the
// margins; the other columns stay where they were either way.
TEST(ListingLayout, LoudnessColumnOnlyWhereItFits)
{
    struct Case {
        int sheetWidth;
        bool fits;
    };
    // Margins of 5 % each side: 90 characters of 10 units need 1000 units.
    const Case cases[] = {{1000, true}, {990, false}, {2000, true}, {500, false}};
    for (const Case& c : cases) {
        CPageMetrics page;
        page.physicalWidth = c.sheetWidth;
        page.physicalHeight = 1400;
        const CListingLayout l = CListingLayout::Compute(page, 20, 10);
        EXPECT_EQ(l.loudnessColumn != 0, c.fits) << c.sheetWidth;
        if (c.fits) {
            EXPECT_EQ(l.loudnessColumn, l.left + 800) << c.sheetWidth;
        }
        EXPECT_EQ(l.column[4], l.left + 660);
    }
}
