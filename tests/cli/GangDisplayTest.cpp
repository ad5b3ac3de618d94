// The live display of a gang on a real pseudo-terminal: a table while the
// terminal has a row for every unit (and the cursor), one line per status
// change when it has fewer, decided again after the window is resized.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "CGangDisplay.h"
#include "CGangTransfer.h"
#include "PtyPair.h"
#include "cMemoryMap.h"

namespace {

const char* const kEscape = "\033[";

class GangDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        ASSERT_TRUE(pty.SetSize(4, 80));
        out = fopen(pty.Slave().c_str(), "w");
        ASSERT_NE(out, nullptr);
        CGangDisplay::WatchResize();
    }
    void TearDown() override
    {
        if (out)
            fclose(out);
    }

    // The ports are never opened: the gang is only looked at.
    void MakeGang(size_t units)
    {
        std::vector<std::string> ports;
        for (size_t i = 0; i < units; ++i)
            ports.push_back("/dev/unit" + std::to_string(i));
        gang.reset(new CGangTransfer(image, ports, TransferSettings()));
    }

    void Resize(unsigned short rows, unsigned short columns)
    {
        ASSERT_TRUE(pty.SetSize(rows, columns));
        raise(SIGWINCH);
    }

    PtyPair pty;
    FILE* out = nullptr;
    cMemoryMap image;
    std::unique_ptr<CGangTransfer> gang;
};

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(GangDisplay, TheTableNeedsARowPerUnitAndOneForTheCursor)
{
    const struct {
        size_t units;
        int rows;
        bool fits;
    } cases[] = {{3, 0, true}, {3, 4, true}, {3, 3, false}, {8, 5, false}, {32, 33, true}, {32, 24, false}};
    for (const auto& c : cases)
        EXPECT_EQ(CGangDisplay::TableFits(c.units, c.rows), c.fits) << c.units << " units, " << c.rows << " rows";
}

TEST_F(GangDisplayTest, TooFewRowsGiveOneLinePerChangeUntilTheWindowGrows)
{
    MakeGang(8);
    CGangDisplay display(*gang, out, true);
    EXPECT_FALSE(display.ShowsTable());
    display.OnWake();
    display.OnStatus(2, "Transmitting sector 1");
    display.OnStatus(2, "Transmitting sector 1");  // no change, no line
    display.OnStatus(5, "Sending TX request sector R02\n");
    std::string text = pty.Drain();
    EXPECT_EQ(text, "/dev/unit2: Transmitting sector 1\r\n/dev/unit5: Sending TX request sector R02\r\n");

    // Room for the table: it is drawn, one line per unit, and changes no
    // longer print lines of their own.
    Resize(24, 80);
    display.OnWake();
    display.OnStatus(3, "Transmitting sector 2");
    EXPECT_TRUE(display.ShowsTable());
    text = pty.Drain();
    EXPECT_EQ(Count(text, "\r\033[K/dev/unit"), 8u) << text;
    EXPECT_EQ(text.find(": Transmitting sector 2"), std::string::npos) << text;

    // Shrunk again: back to lines, picking up from each unit's status.
    Resize(6, 80);
    display.OnWake();
    EXPECT_FALSE(display.ShowsTable());
    display.OnStatus(3, "Transmitting sector 3");
    text = pty.Drain();
    EXPECT_EQ(text.find(kEscape), std::string::npos) << text;
    EXPECT_EQ(text, "/dev/unit3: Transmitting sector 3\r\n");

    // The summary lines come at the end whatever the mode.
    display.Finish();
    EXPECT_EQ(Count(pty.Drain(), ": failed in "), 8u);
}

TEST_F(GangDisplayTest, TableLinesNeverWrapAndAWiderWindowStartsAFreshTable)
{
    MakeGang(3);
    Resize(10, 30);
    CGangDisplay display(*gang, out, true);
    ASSERT_TRUE(display.ShowsTable());
    display.OnWake();
    std::string text = pty.Drain();
    EXPECT_EQ(Count(text, "\r\033[K"), 3u) << text;
    // The first table has nothing above it to go back over.
    EXPECT_EQ(text.find("\033[3A"), std::string::npos) << text;
    for (size_t at = text.find("\r\033[K"); at != std::string::npos; at = text.find("\r\033[K", at + 1)) {
        const size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - at - 4, 29u) << text.substr(at + 4, end - at - 4);
    }

    // A new width: the old table may have been rewrapped, so the next one is
    // drawn below it instead of over it.
    Resize(10, 100);
    display.Finish();
    text = pty.Drain();
    EXPECT_EQ(text.find("\033[3A"), std::string::npos) << text;
    EXPECT_EQ(Count(text, "\r\033[K"), 3u) << text;
}

TEST_F(GangDisplayTest, ATableRedrawsInPlaceAndOutputThatIsNoTerminalGetsLines)
{
    MakeGang(3);
    Resize(10, 80);
    {
        CGangDisplay display(*gang, out, true);
        display.OnWake();
        pty.Drain();
        display.Finish();  // the same size: drawn over the last table
        EXPECT_NE(pty.Drain().find("\033[3A"), std::string::npos);
    }
    CGangDisplay lines(*gang, out, false);
    EXPECT_FALSE(lines.ShowsTable());
    lines.OnStatus(0, "Ready");
    lines.OnWake();
    EXPECT_EQ(pty.Drain(), "/dev/unit0: Ready\r\n");
}
