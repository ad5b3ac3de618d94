// The day's report on real files in a temporary state folder: lines appended
// whole, only into the user's own regular file, and what its lines hold.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "CDailyReport.h"
#include "CUnitRecord.h"
#include "StateFolder.h"

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// 12:00 local time on 9 December 2026, whatever the zone.
time_t Noon()
{
    struct tm day { };
    day.tm_year = 2026 - 1900;
    day.tm_mon = 11;
    day.tm_mday = 9;
    day.tm_hour = 12;
    day.tm_isdst = -1;
    return mktime(&day);
}

class DailyReport : public ::testing::Test {
protected:
    std::string Folder() const { return state.Path() + "/ORMID/reports/"; }
    StateFolder state;
};

}  // namespace

TEST_F(DailyReport, AppendsWholeLinesToTheDaysFile)
{
    std::string why;
    ASSERT_TRUE(CDailyReport::Append({"{\"a\":1}\n", "{\"b\":2}\n"}, why, Noon())) << why;
    ASSERT_TRUE(CDailyReport::Append({"{\"c\":3}\n"}, why, Noon())) << why;
    ASSERT_TRUE(CDailyReport::Append({"{\"d\":4}\n"}, why, Noon() + 86400)) << why;
    const std::string path = Folder() + "2026-12-09.jsonl";
    EXPECT_EQ(CDailyReport::PathOf("2026-12-09"), path);
    EXPECT_EQ(Contents(path), "{\"a\":1}\n{\"b\":2}\n{\"c\":3}\n");
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(CDailyReport::Days(), (std::vector<std::string>{"2026-12-10", "2026-12-09"}));

    std::string text;
    ASSERT_TRUE(CDailyReport::Read("2026-12-10", text, why)) << why;
    EXPECT_EQ(text, "{\"d\":4}\n");
    EXPECT_FALSE(CDailyReport::Read("../../x", text, why)) << "only a day's name reaches the folder";
    EXPECT_FALSE(CDailyReport::Read("2026-12-11", text, why));
}

TEST_F(DailyReport, RunsAtTheSameTimeNeverMixTheirLines)
{
    const std::string line(3000, 'x');
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&line, w] {
            std::string why;
            for (int i = 0; i < 25; ++i)
                CDailyReport::Append({std::to_string(w) + line + "\n", std::to_string(w) + line + "\n"}, why, Noon());
        });
    for (std::thread& writer : writers)
        writer.join();
    std::istringstream lines(Contents(Folder() + "2026-12-09.jsonl"));
    std::string read;
    int count = 0;
    while (std::getline(lines, read)) {
        EXPECT_EQ(read.size(), line.size() + 1);
        ++count;
    }
    EXPECT_EQ(count, 4 * 25 * 2);
}

TEST_F(DailyReport, RefusesALinkOrAFifoInTheDaysPlace)
{
    std::string why;
    ASSERT_TRUE(CDailyReport::Append({"first\n"}, why, Noon())) << why;  // makes the folder
    const std::string elsewhere = state.Path() + "/elsewhere";
    {
        std::ofstream(elsewhere) << "keep\n";
    }
    struct Case {
        const char* name;
        bool (*make)(const std::string& path, const std::string& target);
    };
    const Case cases[] = {
        {"link",
         [](const std::string& path, const std::string& target) { return symlink(target.c_str(), path.c_str()) == 0; }},
        {"fifo", [](const std::string& path, const std::string&) { return mkfifo(path.c_str(), 0600) == 0; }},
        {"folder", [](const std::string& path, const std::string&) { return mkdir(path.c_str(), 0700) == 0; }},
    };
    time_t day = Noon();
    for (const Case& c : cases) {
        day += 86400;
        const std::string path = Folder() + CDailyReport::Day(day) + ".jsonl";
        ASSERT_TRUE(c.make(path, elsewhere)) << c.name;
        why.clear();
        EXPECT_FALSE(CDailyReport::Append({"line\n"}, why, day)) << c.name;
        EXPECT_NE(why.find(path), std::string::npos) << c.name << ": " << why;
    }
    EXPECT_EQ(Contents(elsewhere), "keep\n");
    // A reader of the FIFO would have blocked the writer; nothing was
    // written into it either.
    const int fifo = open((Folder() + CDailyReport::Day(Noon() + 2 * 86400) + ".jsonl").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    char byte;
    EXPECT_LE(read(fifo, &byte, 1), 0);
    close(fifo);
}

TEST(UnitRecord, LinesOfTheReports)
{
    CUnitRecord record;
    record.time = "2026-12-09T05:14:48+0000";
    record.port = "/dev/pts/7";
    record.image = "shop \"A\"\\b\n.txi";
    record.imageCrc32 = 0x00ab12cd;
    record.result = "failed";
    record.status = "Timeout\t- Sector start Ack\x01";
    record.seconds = 12.34;
    record.sectorsWritten = 3;
    record.verify = "differs";
    record.differing = {2, 5};
    record.host = "bench-1";
    record.user = "operator";
    const std::string head =
        "{\"time\":\"2026-12-09T05:14:48+0000\",\"port\":\"/dev/pts/7\",\"image\":\"shop \\\"A\\\"\\\\b\\n.txi\","
        "\"image_crc32\":\"00ab12cd\",\"result\":\"failed\",\"status\":\"Timeout\\t- Sector start Ack\\u0001\","
        "\"seconds\":12.3,\"sectors_written\":3,\"verify\":\"differs\",\"differing\":[2,5]";
    EXPECT_EQ(record.Json(false), head + "}\n");
    EXPECT_EQ(record.Json(true), head + ",\"host\":\"bench-1\",\"user\":\"operator\"}\n");
    EXPECT_FALSE(CUnitRecord::UserName().empty());
}
