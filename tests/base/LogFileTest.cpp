#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "CLogFile.h"
#include "TempFolder.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// "MM/DD/YY HH:MM:SS - " followed by the text.
bool Stamped(const std::string& line, const std::string& text)
{
    const char* shape = "99/99/99 99:99:99 - ";
    if (line.size() != 20 + text.size())
        return false;
    for (size_t i = 0; i < 20; ++i) {
        if (shape[i] == '9' ? !std::isdigit(uint8_t(line[i])) : line[i] != shape[i])
            return false;
    }
    return line.substr(20) == text;
}

class LogFileTest : public ::testing::Test {
protected:
    void SwitchOn(const char* value = "1")
    {
        folder.Write("TXDoruvevAzad.ini", std::string("[DEBUG]\nLog=") + value + "\n");
    }
    std::string Log() const { return folder.Read("ORMID.log"); }
    TempFolder folder;
    CLogFile log;
};

}  // namespace

TEST_F(LogFileTest, OffWithoutSwitch)
{
    for (const char* ini : {"", "[DEBUG]\nLog=0\n", "[DEBUG]\nLog=x\n", "[OTHER]\nLog=1\n"}) {
        if (*ini)
            folder.Write("TXDoruvevAzad.ini", ini);
        EXPECT_TRUE(log.Open("ORMID.log", folder.Path())) << ini;
        EXPECT_FALSE(log.IsOpen()) << ini;
        log.Write("nothing %d", 1);
        log.Close();
        EXPECT_FALSE(std::filesystem::exists(folder.File("ORMID.log"))) << ini;
    }
}

TEST_F(LogFileTest, OpenAndCloseLeaveTwoLines)
{
    SwitchOn("12");
    folder.Write("ORMID.log", std::string(3000, 'x'));  // the previous run's log goes
    ASSERT_TRUE(log.Open("ORMID.log", folder.Path()));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_TRUE(log.Open("ORMID.log", folder.Path()));  // a second open changes nothing
    log.Close();
    const auto lines = Lines(Log());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Stamped(lines[0], "Log open")) << lines[0];
    EXPECT_TRUE(Stamped(lines[1], "Log close")) << lines[1];
    EXPECT_EQ(Log().substr(Log().size() - 2), "\r\n");
}

// The switch is read when the log opens: a second Open while it is open must
// not turn writing off and leave the file open.
TEST_F(LogFileTest, SecondOpenKeepsTheSwitch)
{
    SwitchOn();
    ASSERT_TRUE(log.Open("ORMID.log", folder.Path()));
    folder.Write("TXDoruvevAzad.ini", "[DEBUG]\nLog=0\n");
    EXPECT_TRUE(log.Open("ORMID.log", folder.Path()));
    log.Write("still %s", "written");
    log.Close();
    const auto lines = Lines(Log());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(Stamped(lines[1], "still written")) << lines[1];
}

TEST_F(LogFileTest, FifoOfTheLogsNameIsNotWritten)
{
    SwitchOn();
    ASSERT_EQ(::mkfifo(folder.File("ORMID.log").c_str(), 0644), 0);
    EXPECT_FALSE(log.Open("ORMID.log", folder.Path()));
    EXPECT_FALSE(log.IsOpen());
    log.Write("lost %d", 1);
    log.Close();
}

TEST_F(LogFileTest, LongMessagesSplitIntoLines)
{
    SwitchOn();
    ASSERT_TRUE(log.Open("ORMID.log", folder.Path()));
    const std::string six(600, 'a');
    const std::string exact(490, 'b');  // fills the first line exactly
    const std::string huge(2000, 'c');  // cut at 1,023 characters
    log.Write("%s", six.c_str());
    log.Write("%s", exact.c_str());
    log.Write("%s", huge.c_str());
    log.Write("first\nsecond %d", 2);
    log.Write("%s", "");
    const auto lines = Lines(Log());
    ASSERT_EQ(lines.size(), 1u + 2 + 1 + 3 + 1 + 1);
    EXPECT_EQ(lines[1].size(), 510u);
    EXPECT_TRUE(Stamped(lines[1], six.substr(0, 490)));
    EXPECT_EQ(lines[2], six.substr(490));
    EXPECT_TRUE(Stamped(lines[3], exact));
    EXPECT_EQ(lines[4].size(), 510u);
    EXPECT_EQ(lines[5], std::string(510, 'c'));
    EXPECT_EQ(lines[6], std::string(1023 - 490 - 510, 'c'));
    EXPECT_TRUE(Stamped(lines[7], "first\nsecond 2"));
    EXPECT_TRUE(Stamped(lines[8], ""));
}

TEST_F(LogFileTest, WrapsToTheStartWithoutShrinking)
{
    SwitchOn();
    ASSERT_TRUE(log.Open("ORMID.log", folder.Path()));
    const std::string text(490, 'w');  // one line of 512 bytes with its CR LF
    size_t written = 30;               // "Log open" with stamp and CR LF
    while (written < CLogFile::kWrapAt) {
        log.Write("%s", text.c_str());
        written += 512;
    }
    const std::string before = Log();
    ASSERT_EQ(before.size(), written);
    log.Write("after the wrap");
    const std::string after = Log();
    EXPECT_EQ(after.size(), before.size());
    EXPECT_TRUE(Stamped(after.substr(0, 34), "after the wrap"));
    EXPECT_EQ(after.substr(34, 2), "\r\n");
    EXPECT_EQ(after.substr(36), before.substr(36));
}

TEST_F(LogFileTest, TwoThreadsNeverInterleave)
{
    SwitchOn();
    ASSERT_TRUE(log.Open("ORMID.log", folder.Path()));
    auto writer = [this](char c) {
        const std::string text(600, c);
        for (int i = 0; i < 200; ++i)
            log.Write("%s", text.c_str());
    };
    std::thread ui(writer, 'u'), worker(writer, 's');
    ui.join();
    worker.join();
    log.Close();
    const auto lines = Lines(Log());
    ASSERT_EQ(lines.size(), 2u + 400 * 2);
    for (size_t i = 1; i + 1 < lines.size(); i += 2) {
        const char c = lines[i].back();
        ASSERT_TRUE(Stamped(lines[i], std::string(490, c))) << i;
        ASSERT_EQ(lines[i + 1], std::string(110, c)) << i;
    }
}

// Neither way of opening follows a symbolic link: the file it names stays
// as it was and logging stays off.
TEST_F(LogFileTest, NeverFollowsALink)
{
    SwitchOn();
    folder.Write("victim.txt", "keep me");
    ASSERT_EQ(::symlink(folder.File("victim.txt").c_str(), folder.File("ORMID.log").c_str()), 0);
    for (CLogFile::Mode mode : {CLogFile::kReplace, CLogFile::kAppend}) {
        EXPECT_FALSE(log.Open("ORMID.log", folder.Path(), mode)) << mode;
        EXPECT_FALSE(log.IsOpen()) << mode;
        log.Write("lost");
        log.Close();
        EXPECT_EQ(folder.Read("victim.txt"), "keep me") << mode;
    }
}

// Runs that append keep each other's lines whole, and the replacing log of a
// run beside them; a grown log is moved aside whole, not cut.
TEST_F(LogFileTest, AppendingRunsKeepEveryLine)
{
    SwitchOn();
    folder.Write("cli.log", "earlier run\r\n");
    CLogFile first, second;
    ASSERT_TRUE(first.Open("cli.log", folder.Path(), CLogFile::kAppend));
    ASSERT_TRUE(second.Open("cli.log", folder.Path(), CLogFile::kAppend));
    for (int i = 0; i < 3; ++i) {
        first.Write("first %d %s", i, std::string(600, 'f').c_str());
        second.Write("second %d", i);
    }
    first.Close();
    second.Close();
    const auto lines = Lines(folder.Read("cli.log"));
    ASSERT_EQ(lines.size(), 1u + 2 * 2 + 3 * 2 + 3);
    EXPECT_EQ(lines[0], "earlier run");
    EXPECT_TRUE(Stamped(lines[1], "Log open"));
    EXPECT_TRUE(Stamped(lines[2], "Log open"));
    EXPECT_TRUE(Stamped(lines[3], "first 0 " + std::string(490 - 8, 'f')));
    EXPECT_EQ(lines[4], std::string(600 - 490 + 8, 'f'));
    EXPECT_TRUE(Stamped(lines[5], "second 0"));

    const std::string grown(size_t(CLogFile::kAppendLimit), 'g');
    folder.Write("cli.log", grown);
    ASSERT_TRUE(first.Open("cli.log", folder.Path(), CLogFile::kAppend));
    first.Close();
    EXPECT_EQ(folder.Read("cli.log.old"), grown);
    EXPECT_EQ(Lines(folder.Read("cli.log")).size(), 2u);
}

TEST(OsDescription, NamesTheSystem)
{
    const std::string text = GetOsDescription();
    EXPECT_NE(text.find("Linux"), std::string::npos) << text;
    EXPECT_LT(text.size(), 1024u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}
