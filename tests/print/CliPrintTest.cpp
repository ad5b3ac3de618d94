// ormid-cli print-listing and print-labels: the built program on an image
// file made by ormid-cli from a WAV file made by sox, without a display.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "PdfText.h"
#include "TempFolder.h"

namespace {

struct CliRun {
    int code;
    std::string err;
};

class CliPrintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(Cli("new shop.txi").code, 0);
        const std::string sox = "sox -n -r 8000 -e u-law -c 1 '" + folder.File("hello.wav") + "' synth 1.5 sine 440";
        ASSERT_EQ(std::system(sox.c_str()), 0) << "sox is needed for these tests";
        ASSERT_EQ(Cli("import shop.txi 2 hello.wav --name Welcome --count 3").code, 0);
        ASSERT_EQ(Cli("import shop.txi 8 hello.wav --name 'Last call' --count 0").code, 0);
    }
    // Runs ormid-cli in the test folder with no display and no platform chosen.
    CliRun Cli(const std::string& args)
    {
        const std::string command = "cd '" + folder.Path() +
                                    "' && env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " ORMID_BIN_DIR
                                    "/ormid-cli " +
                                    args + " >/dev/null 2>'" + folder.File("err.txt") + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, folder.Read("err.txt")};
    }

    TempFolder folder;
};

}  // namespace

TEST_F(CliPrintTest, ListingNamesTheImageFilesFolder)
{
    const CliRun run = Cli("print-listing shop.txi --pdf listing.pdf --paper Letter");
    ASSERT_EQ(run.code, 0) << run.err;
    const PdfText text(folder.File("listing.pdf"));
    ASSERT_EQ(text.pages, 1);
    // The folder as an absolute path with a closing slash, no change mark.
    const std::string absolute = std::filesystem::canonical(folder.Path()).string() + "/";
    EXPECT_EQ(text.Line(1, text.One("Image").yMin), (std::vector<std::string>{"Image", "data", "for:", absolute}));
    // The rows end with the loudness of the tone ("-6.5 LUFS").
    std::vector<std::string> welcome = text.Line(1, text.One("Welcome").yMin);
    ASSERT_GE(welcome.size(), 7u);
    EXPECT_EQ(welcome.back(), "LUFS");
    welcome.resize(5);
    EXPECT_EQ(welcome, (std::vector<std::string>{"2", "Welcome", "12000", "1.50", "3"}));
    std::vector<std::string> last = text.Line(1, text.One("Last").yMin);
    ASSERT_GE(last.size(), 8u);
    EXPECT_EQ(last.back(), "LUFS");
    last.resize(6);
    EXPECT_EQ(last, (std::vector<std::string>{"8", "Last", "call", "12000", "1.50", "Continuous"}));
    EXPECT_NE(RunCommand("pdfinfo '" + folder.File("listing.pdf") + "'").find("612 x 792"), std::string::npos);
}

TEST_F(CliPrintTest, LabelsNameTheMessages)
{
    const CliRun run = Cli("print-labels shop.txi --pdf labels.pdf");
    ASSERT_EQ(run.code, 0) << run.err;
    const PdfText text(folder.File("labels.pdf"));
    EXPECT_EQ(text.words.size(), 3u);
    // Slot 2 in the left label, slot 8 at the bottom of the right one.
    EXPECT_LT(text.One("Welcome").xMax, text.One("Last").xMin);
    EXPECT_LT(text.One("Welcome").yMax, text.One("Last").yMin);
}

TEST_F(CliPrintTest, BadRequestsFailWithAReasonAndWriteNothing)
{
    CliRun run = Cli("print-listing shop.txi");
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("Give --pdf FILE or --printer NAME."), std::string::npos) << run.err;
    EXPECT_EQ(Cli("print-labels shop.txi --pdf a.pdf --printer Office").code, 2);

    run = Cli("print-labels shop.txi --printer ormid-no-such-queue");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("There is no printer named ormid-no-such-queue."), std::string::npos) << run.err;

    run = Cli("print-listing shop.txi --pdf missing/listing.pdf");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("missing/listing.pdf could not be written"), std::string::npos) << run.err;

    EXPECT_EQ(Cli("print-listing other.txi --pdf other.pdf").code, 1);
    EXPECT_FALSE(std::filesystem::exists(folder.File("other.pdf")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("a.pdf")));
}
