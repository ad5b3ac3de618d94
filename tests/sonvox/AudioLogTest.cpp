#include "TestSupport.h"

#include <numeric>
#include <sys/stat.h>
#include <regex>
#include <thread>

namespace {

class AudioLogTest : public ::testing::Test {
protected:
    fs::path dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path path = dir / "Audio.log";
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> Lines() const { return LogLines(ReadAll(path)); }
};

const std::regex kStamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} )");

}  // namespace

TEST_F(AudioLogTest, StampIsTwentyFourCharactersWithLeadingZeros)
{
    std::string s = CAudioLog::TimeStamp();
    EXPECT_EQ(s.size(), 24u);
    EXPECT_TRUE(std::regex_search(s, kStamp)) << s;
}

TEST_F(AudioLogTest, SplitsMessagesIntoLinesOfAtMost255Bytes)
{
    // With a 24-character stamp: 228 characters fit one line of 254 bytes,
    // 229 make a full line of 255, 300 continue on a second line without stamp.
    struct Case {
        size_t length;
        std::vector<size_t> lineBytes;
    };
    const Case cases[] = {
        {1, {24 + 1 + 2}},
        {228, {254}},
        {229, {255}},
        {300, {255, 71 + 2}},
        {2550, {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 44 + 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        fs::remove(path);
        CAudioLog log;
        ASSERT_TRUE(log.Open(path.string().c_str()));
        std::string msg;
        for (size_t i = 0; i < c.length; ++i)
            msg += char('a' + i % 26);
        log.Write(msg.c_str());
        std::string file = ReadAll(path);
        auto lines = LogLines(file);
        ASSERT_EQ(lines.size(), c.lineBytes.size());
        std::string joined;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].size() + 2, c.lineBytes[i]) << i;
            EXPECT_EQ(std::regex_search(lines[i], kStamp), i == 0) << i;
            joined += i == 0 ? lines[i].substr(24) : lines[i];
        }
        EXPECT_EQ(joined, msg);
        EXPECT_EQ(file.size(), std::accumulate(c.lineBytes.begin(), c.lineBytes.end(), size_t(0)));
    }
}

TEST_F(AudioLogTest, TooLongOrEmptyMessagesWriteNothing)
{
    CAudioLog log;
    ASSERT_TRUE(log.Open(path.string().c_str()));
    log.Write(std::string(2551, 'x').c_str());
    log.Write("");
    log.Write(nullptr);
    EXPECT_EQ(fs::file_size(path), 0u);
    CAudioLog closed;
    closed.Write("not open");
    EXPECT_FALSE(closed.IsOpen());
}

TEST_F(AudioLogTest, WrapsToTheStartPast1020000Bytes)
{
    // An existing log of exactly the ring size: the next line goes to offset 0
    // and the rest of the file stays as it was.
    {
        std::ofstream(path, std::ios::binary) << std::string(CAudioLog::kRingBytes, 'x');
        CAudioLog log;
        ASSERT_TRUE(log.Open(path.string().c_str()));
        log.Write("first after wrap");
        log.Write("second");
        std::string f = ReadAll(path);
        EXPECT_EQ(f.size(), size_t(CAudioLog::kRingBytes));
        auto lines = LogLines(f);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0].substr(24), "first after wrap");
        EXPECT_EQ(lines[1].substr(24), "second");
        EXPECT_EQ(lines[2].find_first_not_of('x'), std::string::npos);
    }
    // Just below the ring size the line still goes to the end, the one after
    // it to the start.
    fs::remove(path);
    {
        std::ofstream(path, std::ios::binary) << std::string(CAudioLog::kRingBytes - 10, 'y');
        CAudioLog log;
        ASSERT_TRUE(log.Open(path.string().c_str()));
        log.Write("tail");
        log.Write("head");
        std::string f = ReadAll(path);
        EXPECT_EQ(f.size(), size_t(CAudioLog::kRingBytes - 10 + 24 + 4 + 2));
        EXPECT_EQ(f.substr(24, 4), "head");
        EXPECT_EQ(f.substr(CAudioLog::kRingBytes - 10 + 24, 4), "tail");
    }
}

TEST_F(AudioLogTest, OpenCreatesTheLastFolderAndKeepsContent)
{
    fs::path nested = dir / "logs" / "Audio.log";
    CAudioLog log;
    ASSERT_TRUE(log.Open(nested.string().c_str()));
    EXPECT_TRUE(fs::is_directory(dir / "logs"));
    log.Write("one");
    // Open while open changes nothing.
    EXPECT_TRUE(log.Open((dir / "other.log").string().c_str()));
    log.Write("two");
    EXPECT_FALSE(fs::exists(dir / "other.log"));

    // A second log object appends after what is there.
    CAudioLog again;
    ASSERT_TRUE(again.Open(nested.string().c_str()));
    again.Write("three");
    auto lines = LogLines(ReadAll(nested));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].substr(24), "three");

    // Only one level is created.
    CAudioLog deep;
    EXPECT_FALSE(deep.Open((dir / "a" / "b" / "Audio.log").string().c_str()));
    EXPECT_FALSE(deep.Open(nullptr));
    EXPECT_FALSE(deep.Open(dir.string().c_str()));

    // Only a regular file, and never waiting in open() for the other end.
    const fs::path fifo = dir / "fifo.log";
    ASSERT_EQ(::mkfifo(fifo.string().c_str(), 0600), 0);
    EXPECT_FALSE(deep.Open(fifo.string().c_str()));
    EXPECT_FALSE(deep.Open("/dev/null"));
    EXPECT_FALSE(deep.IsOpen());
}

TEST_F(AudioLogTest, MessagesFromManyThreadsStayWhole)
{
    CAudioLog log;
    ASSERT_TRUE(log.Open(path.string().c_str()));
    constexpr int kThreads = 4, kEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i) {
                // Two lines each: a stamped first line and its continuation.
                std::string msg(300, char('A' + t));
                log.Write(msg.c_str());
            }
        });
    for (auto& th : threads)
        th.join();
    auto lines = LogLines(ReadAll(path));
    ASSERT_EQ(lines.size(), size_t(kThreads * kEach * 2));
    for (size_t i = 0; i < lines.size(); i += 2) {
        ASSERT_TRUE(std::regex_search(lines[i], kStamp)) << i;
        EXPECT_EQ(lines[i + 1], std::string(71, lines[i][24])) << i;
    }
}

TEST_F(AudioLogTest, LogPrintfFormatsAndDropsTooLongTexts)
{
    // The process-wide log: opened here for this program only.
    ASSERT_TRUE(TheAudioLog().Open(path.string().c_str()));
    LogPrintf("%s ln:%d - %s %d", "Unit", 42, "value", 7);
    LogPrintf("%s", std::string(2551, 'z').c_str());
    LogPrintf("%s", std::string(2550, 'z').c_str());
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 12u);
    Report r;
    ASSERT_TRUE(ParseReport(lines[0], r));
    EXPECT_EQ(r.unit, "Unit");
    EXPECT_EQ(r.line, 42);
    EXPECT_EQ(r.text, "value 7");
}
