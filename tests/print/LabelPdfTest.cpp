// The control-box labels printed to PDF with a real QPrinter: names read back
// with pdftotext, corner marks and gaps seen on a raster of the page.
#include <gtest/gtest.h>

#include <QPrinter>

#include "CLabelPrinter.h"
#include "PdfText.h"
#include "PrintTestSupport.h"
#include "TempFolder.h"

namespace {

class LabelPdfTest : public ::testing::Test {
protected:
    LabelPdfTest() { ClearAll(map); }

    PdfText Print(const QPageSize& size = QPageSize(QPageSize::Letter))
    {
        ToPdf(printer, pdf, size);
        EXPECT_EQ(CLabelPrinter(map).Print(printer, report), kPrintDone);
        return PdfText(pdf);
    }
    // A point given in 0.001 inch from the printable area's corner, in
    // points from the sheet's corner.
    double X(int mils) const { return PointsX(printer, 0) + mils * 0.072; }
    double Y(int mils) const { return PointsY(printer, 0) + mils * 0.072; }
    // Whether a word lies inside a text box (0.001 inch), allowing for the
    // glyph box pdftotext reports.
    void ExpectInside(const PdfWord& w, const QRect& box) const
    {
        ASSERT_NE(w.page, 0) << w.text << " printed";
        EXPECT_GE(w.xMin, X(box.left()) - 0.5) << w.text;
        EXPECT_LE(w.xMax, X(box.left() + box.width()) + 0.5) << w.text;
        EXPECT_NEAR(w.CenterX(), X(box.center().x()), 1.0) << w.text;
        EXPECT_NEAR(w.CenterY(), Y(box.center().y()), 2.0) << w.text;
    }

    TempFolder folder;
    std::string pdf = folder.File("labels.pdf");
    cMemoryMap map;
    QPrinter printer{QPrinter::HighResolution};
    RecordedPrintReport report;
};

}  // namespace

TEST_F(LabelPdfTest, NamesFillTheBoxesTopToBottomLeftThenRight)
{
    const char* names[8] = {"Welcome", "Second", "Third", "Fourth", "Fifth", "Sixth", "Seventh", "Closing"};
    for (int s = 0; s < 8; ++s)
        Put(map, s, 800, names[s]);
    const PdfText text = Print();
    ASSERT_EQ(text.pages, 1);
    EXPECT_NE(RunCommand("pdfinfo '" + pdf + "'").find("Unit Labels"), std::string::npos);
    for (int s = 0; s < 8; ++s)
        ExpectInside(text.One(names[s]), CLabelPrinter::TextBox(s));
    // Slot 0: top box of the left label; slot 7: bottom box of the right one.
    EXPECT_NEAR(text.One("Welcome").yMin, text.One("Fifth").yMin, 0.01);
    EXPECT_LT(text.One("Welcome").yMax, text.One("Second").yMin);
    EXPECT_GT(text.One("Closing").yMin, text.One("Seventh").yMax);
    EXPECT_LT(text.One("Welcome").xMax, X(2300));
    EXPECT_GT(text.One("Closing").xMin, X(4000));
    EXPECT_EQ(text.words.size(), 8u);
}

TEST_F(LabelPdfTest, TheRightLabelIsTheLeftMovedThreeInches)
{
    Put(map, 1, 800, "Same name");
    Put(map, 5, 800, "Same name");
    const PdfText text = Print(QPageSize(QPageSize::A4));
    const std::vector<PdfWord> same = text.All("Same");
    ASSERT_EQ(same.size(), 2u);
    EXPECT_NEAR(same[1].xMin - same[0].xMin, 216.0, 0.05);  // 3 inches
    EXPECT_NEAR(same[1].yMin, same[0].yMin, 0.01);
}

TEST_F(LabelPdfTest, EmptyNamesLeaveBoxesBlankAndLongNamesStayInTheirBox)
{
    Put(map, 2, 800, "WWWWWWWWWWWWWWW");  // fifteen of the widest letter
    Put(map, 6, 800, "Closing time 15");
    const PdfText text = Print();
    EXPECT_EQ(text.words.size(), 4u);
    ExpectInside(text.One("WWWWWWWWWWWWWWW"), CLabelPrinter::TextBox(2));
    // An ordinary fifteen-character name keeps the chosen size: one line,
    // nine points high or so.
    const PdfWord closing = text.One("Closing");
    ASSERT_NE(closing.page, 0);
    EXPECT_NEAR(closing.yMax - closing.yMin, 9 * 1.17, 1.5);
    EXPECT_NEAR(text.One("15").yMin, closing.yMin, 0.01);
    EXPECT_GE(closing.xMin, X(CLabelPrinter::TextBox(6).left()));
    EXPECT_LE(text.One("15").xMax, X(CLabelPrinter::TextBox(6).left() + 1250));
}

TEST_F(LabelPdfTest, OnlyTheCornerMarksOfEachFrameArePrinted)
{
    Print();
    const int dpi = 100;
    const QImage page = RenderPage(pdf, folder.Path(), dpi);
    ASSERT_FALSE(page.isNull());
    // Darkness around a point given in 0.001 inch: the darkest pixel within
    // 0.02 inch, since a thin line falls between pixels.
    auto ink = [&](int xMils, int yMils) {
        const int cx = int(X(xMils) * dpi / 72.0), cy = int(Y(yMils) * dpi / 72.0);
        int darkest = 255;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                darkest = std::min(darkest, qGray(page.pixel(cx + dx, cy + dy)));
        return darkest;
    };
    for (int label = 0; label < 2; ++label) {
        SCOPED_TRACE(label == 0 ? "left label" : "right label");
        const int shift = label * CLabelPrinter::kRightLabelShift;
        // Arms 0.2 inch long from each corner of 1000,1000 - 2300,3075.
        const int corners[4][2] = {{1000, 1000}, {2300, 1000}, {1000, 3075}, {2300, 3075}};
        for (const auto& c : corners) {
            const int inward = c[0] == 1000 ? 1 : -1, down = c[1] == 1000 ? 1 : -1;
            EXPECT_LT(ink(shift + c[0], c[1]), 100) << c[0] << "," << c[1];
            EXPECT_LT(ink(shift + c[0] + inward * 150, c[1]), 100) << "horizontal arm";
            EXPECT_LT(ink(shift + c[0], c[1] + down * 150), 100) << "vertical arm";
            EXPECT_GT(ink(shift + c[0] + inward * 260, c[1]), 200) << "gap after the horizontal arm";
            EXPECT_GT(ink(shift + c[0], c[1] + down * 260), 200) << "gap after the vertical arm";
        }
        // The middles of all four sides are white.
        EXPECT_GT(ink(shift + 1650, 1000), 200);
        EXPECT_GT(ink(shift + 1650, 3075), 200);
        EXPECT_GT(ink(shift + 1000, 2037), 200);
        EXPECT_GT(ink(shift + 2300, 2037), 200);
    }
}
