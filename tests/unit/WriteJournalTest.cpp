// The write journal on real files: only a journal of this very unit that
// parses tells of an interrupted write; one that does not parse is removed;
// whatever else takes its place is left alone, the operator told once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CWriteJournal.h"
#include "StateFolder.h"
#include "TempFolder.h"

namespace {

long GonePid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        _exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

std::string JournalText(const std::string& unit, const std::string& sector, long pid)
{
    return "port=/dev/unit\n" + (unit.empty() ? std::string() : "unit=" + unit + "\n") + "sector=" + sector +
           "\nstarted=2026-01-01 10:00:00\npid=" + std::to_string(pid) + "\nprocess-start=12\nboot=b\n";
}

}  // namespace

TEST(WriteJournal, OnlyAJournalOfThisUnitThatParsesIsInterrupted)
{
    StateFolder state;
    CWriteJournal journal("/dev/unit");
    std::filesystem::create_directories(CWriteJournal::Folder());
    const long gone = GonePid();
    struct Case {
        const char* what;
        std::string text;
        bool interrupted;
        bool kept;
    };
    const Case cases[] = {
        {"this unit's", JournalText(journal.Unit(), "3", gone), true, true},
        {"an earlier version's, naming the port", JournalText("", "3", gone), true, true},
        {"another unit's on the same port", JournalText("unitsim:99:12345", "3", gone), false, true},
        {"garbage", "\x7f\x45LF\x01\x02 nothing of a journal", false, false},
        {"NUL bytes", std::string(300, '\0'), false, false},
        {"no process", "unit=" + journal.Unit() + "\nsector=3\nboot=b\n", false, false},
        {"a sector past the unit's", JournalText(journal.Unit(), "70", gone), false, false},
        {"larger than any journal", std::string(CWriteJournal::kMaxBytes + 1, 'x'), false, false},
    };
    for (const Case& c : cases) {
        std::ofstream(journal.Path(), std::ios::binary) << c.text;
        const CWriteJournal::Entry entry = journal.Read();
        EXPECT_EQ(entry.interrupted, c.interrupted) << c.what;
        EXPECT_EQ(entry.sector, c.interrupted ? 3 : (c.kept ? 3 : -1)) << c.what;
        EXPECT_EQ(std::filesystem::exists(journal.Path()), c.kept) << c.what;
        EXPECT_TRUE(entry.notice.empty()) << c.what;
    }
    // Its own, written and cleared.
    ASSERT_TRUE(journal.Begin(5));
    EXPECT_EQ(journal.Read().sector, 5);
    EXPECT_TRUE(journal.Read().interrupted) << "an earlier write of this process left it open";
    journal.Clear();
    EXPECT_FALSE(std::filesystem::exists(journal.Path()));
}

TEST(WriteJournal, WhatTakesItsPlaceIsLeftAloneAndToldOnce)
{
    StateFolder state;
    TempFolder elsewhere;
    elsewhere.Write("victim", "keep me");
    std::filesystem::create_directories(CWriteJournal::Folder());
    struct Case {
        const char* port;
        void (*plant)(const std::string& path, const std::string& victim);
    };
    const Case cases[] = {
        {"/dev/link", [](const std::string& p, const std::string& v) { ::symlink(v.c_str(), p.c_str()); }},
        {"/dev/fifo", [](const std::string& p, const std::string&) { ::mkfifo(p.c_str(), 0600); }},
        {"/dev/folder", [](const std::string& p, const std::string&) { ::mkdir(p.c_str(), 0700); }},
    };
    for (const Case& c : cases) {
        CWriteJournal journal(c.port);
        c.plant(journal.Path(), elsewhere.File("victim"));
        auto read = std::async(std::launch::async, [&] { return journal.Read(); });
        ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready) << c.port;
        const CWriteJournal::Entry entry = read.get();
        EXPECT_FALSE(entry.interrupted) << c.port;
        EXPECT_EQ(entry.notice, "The write journal " + journal.Path() + " is not a regular file: recovery is off")
            << c.port;
        EXPECT_TRUE(journal.Read().notice.empty()) << c.port << ": told once";
        std::string notice;
        EXPECT_FALSE(journal.Begin(2, &notice)) << c.port;
        journal.Clear();
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(journal.Path()))) << c.port;
        EXPECT_EQ(elsewhere.Read("victim"), "keep me") << c.port;
    }
}
