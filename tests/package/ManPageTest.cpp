// The manual page converter: roff's special characters, the block kinds,
// and pages it must refuse.
#include <gtest/gtest.h>

#include "CManPage.h"

namespace {

std::string Roff(const std::string& markdown)
{
    std::string roff, error;
    EXPECT_TRUE(CManPage::ToRoff(markdown, "9.9", roff, error)) << error;
    return roff;
}

}  // namespace

TEST(ManPage, InlineTextIsSafeForRoff)
{
    // A leading dot or quote would be read as a request and the line lost.
    EXPECT_EQ(CManPage::Inline(".txi files"), "\\&.txi files");
    EXPECT_EQ(CManPage::Inline("'quoted'"), "\\&'quoted'");
    EXPECT_EQ(CManPage::Inline("Unn\\r"), "Unn\\er");
    EXPECT_EQ(CManPage::Inline("--no-timeouts"), "\\-\\-no\\-timeouts");
    EXPECT_EQ(CManPage::Inline("**-f**, `--force`"), "\\fB\\-f\\fR, \\fB\\-\\-force\\fR");
    EXPECT_EQ(CManPage::Inline("*IMAGE* and **U***nn*"), "\\fIIMAGE\\fR and \\fBU\\fR\\fInn\\fR");
    // Stars that open or close no word stay stars; unclosed fonts are reset.
    EXPECT_EQ(CManPage::Inline("/dev/ttyS* and a * b"), "/dev/ttyS* and a * b");
    EXPECT_EQ(CManPage::Inline("**bold to the end"), "\\fBbold to the end\\fR");
    EXPECT_EQ(CManPage::Inline("*/dev/ttyS\\** and \\`x\\`"), "\\fI/dev/ttyS*\\fR and `x`");
}

TEST(ManPage, BlocksBecomeRequests)
{
    const std::string roff = Roff("% ormid-cli 1\n"
                                  "# NAME\n"
                                  "ormid-cli \\- does things\n"
                                  "\n"
                                  "# COMMANDS\n"
                                  "## new *IMAGE* [**--force**]\n"
                                  "First paragraph,\n"
                                  "still first.\n"
                                  "\n"
                                  "Second, version @VERSION@.\n"
                                  "\n"
                                  "**--baud** *RATE*\n"
                                  ": The line speed,\n"
                                  "  115200 or 57600.\n"
                                  "- an item\n"
                                  "  continued\n"
                                  "\n"
                                  "```\n"
                                  ".starts with a dot -x\n"
                                  "```\n");
    EXPECT_NE(roff.find(".TH \"ormid-cli\" 1 \"\" \"ORMID 9.9\" \"ORMID Manual\"\n"), std::string::npos) << roff;
    EXPECT_NE(roff.find(".SH \"NAME\"\normid\\-cli \\e\\- does things\n"), std::string::npos) << roff;
    EXPECT_NE(roff.find(".SS \"new \\fIIMAGE\\fR [\\fB\\-\\-force\\fR]\"\nFirst paragraph,\nstill first.\n.PP\n"
                        "Second, version 9.9.\n"),
              std::string::npos)
        << roff;
    EXPECT_NE(roff.find(".TP\n\\fB\\-\\-baud\\fR \\fIRATE\\fR\nThe line speed, 115200 or 57600.\n"), std::string::npos)
        << roff;
    EXPECT_NE(roff.find(".IP \\(bu 2\nan item continued\n"), std::string::npos) << roff;
    EXPECT_NE(roff.find(".EX\n\\&.starts with a dot \\-x\n.EE\n"), std::string::npos) << roff;
}

TEST(ManPage, MalformedPagesAreRefused)
{
    std::string roff, error;
    EXPECT_FALSE(CManPage::ToRoff("# NAME\nno title line\n", "1", roff, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(CManPage::ToRoff("% page 1\n```\nnever closed\n", "1", roff, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(CManPage::ToRoff("% page 1\n# X\n\n: description alone\n", "1", roff, error));
    EXPECT_NE(error.find("line 4"), std::string::npos) << error;
}
