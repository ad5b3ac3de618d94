// The program's state folders on real files: whatever takes a state file's
// place (a link, a FIFO, a folder, another user's file, a huge file) is left
// alone and never written through, and folders that are not the user's own
// are not used.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CStateFolder.h"
#include "StateFolder.h"
#include "TempFolder.h"

namespace {

// Another user's id: the tests run as root, who may give files away.
constexpr uid_t kOtherUser = 65534;

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Runs call on its own thread; false when it did not return in 20 s (a FIFO
// opened for writing is then given a reader so that the test ends).
template <typename Call>
bool Returns(const std::string& fifo, Call call)
{
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
        return true;
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    result.wait();
    ::close(fd);
    return false;
}

}  // namespace

TEST(StateFolder, WhatTakesAFilesPlaceIsLeftAlone)
{
    StateFolder state;
    const CStateFolder folder(CStateFolder::Kind::State, {"journal"});
    ASSERT_TRUE(folder.IsOpen()) << folder.Problem();
    const std::string path = folder.Path() + "f";
    TempFolder elsewhere;
    const std::string victim = elsewhere.File("victim");
    elsewhere.Write("victim", "the operator's own file\n");

    struct Case {
        const char* what;
        std::function<void()> plant;
        int error;
    };
    const Case cases[] = {
        {"a link to another file", [&] { ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0); }, EINVAL},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, EINVAL},
        {"a folder", [&] { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }, EINVAL},
        {"another user's file",
         [&] {
             std::ofstream(path) << "sector=1\n";
             ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
         },
         EPERM},
    };
    for (const Case& c : cases) {
        c.plant();
        const mode_t planted = ModeOf(path);
        std::string text;
        int error = 0;
        EXPECT_TRUE(Returns(path, [&] { return folder.Read("f", text, 4096, error); })) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_TRUE(Returns(path, [&] { return folder.Replace("f", "sector=2\n", error); })) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        const int fd = folder.OpenFile("f", O_WRONLY | O_APPEND | O_CREAT, error);
        EXPECT_EQ(fd, -1) << c.what;
        EXPECT_TRUE(folder.IsForeign("f")) << c.what;
        EXPECT_FALSE(folder.Remove("f")) << c.what;
        EXPECT_EQ(ModeOf(path), planted) << c.what << ": left as it was";
        EXPECT_EQ(elsewhere.Read("victim"), "the operator's own file\n") << c.what;
        std::filesystem::remove(path);
    }

    // The user's own file: replaced whole, private, read within the cap.
    int error = 0;
    ASSERT_TRUE(folder.Replace("f", "sector=3\n", error));
    EXPECT_EQ(ModeOf(path) & 07777, 0600u);
    std::string text;
    EXPECT_TRUE(folder.Read("f", text, 4096, error));
    EXPECT_EQ(text, "sector=3\n");
    EXPECT_FALSE(folder.Read("f", text, 4, error));
    EXPECT_EQ(error, EFBIG);
    EXPECT_TRUE(text.empty());
    EXPECT_TRUE(folder.Remove("f"));
    EXPECT_EQ(ModeOf(path), 0u);
    EXPECT_TRUE(folder.Remove("f")) << "nothing there";
    EXPECT_EQ(folder.Names(), std::vector<std::string>()) << "no temporary file is left";
}

TEST(StateFolder, OnlyFoldersOfTheUsersOwnAreUsed)
{
    StateFolder state;
    const std::string ours = state.Path() + "/ORMID";
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool usable;
        mode_t mode;  // of ORMID afterwards
    };
    TempFolder other;
    const Case cases[] = {
        {"made fresh", [] {}, true, S_IFDIR | 0700},
        {"open to others",
         [&] {
             ASSERT_EQ(::mkdir(ours.c_str(), 0777), 0);
             ::chmod(ours.c_str(), 0777);
         },
         true, S_IFDIR | 0700},
        {"a link to another folder", [&] { ASSERT_EQ(::symlink(other.Path().c_str(), ours.c_str()), 0); }, false,
         S_IFLNK | 0777},
        {"another user's folder",
         [&] {
             ASSERT_EQ(::mkdir(ours.c_str(), 0777), 0);
             ::chmod(ours.c_str(), 0777);
             ASSERT_EQ(::chown(ours.c_str(), kOtherUser, kOtherUser), 0);
         },
         false, S_IFDIR | 0777},
        {"a file", [&] { std::ofstream(ours) << "x"; }, false, 0},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(ours);
        c.plant();
        const CStateFolder folder(CStateFolder::Kind::State, {"journal"});
        EXPECT_EQ(folder.IsOpen(), c.usable) << c.what << ": " << folder.Problem();
        EXPECT_EQ(folder.Problem().empty(), c.usable) << c.what;
        if (c.mode)
            EXPECT_EQ(ModeOf(ours), c.mode) << c.what;
        EXPECT_TRUE(std::filesystem::is_empty(other.Path())) << c.what << ": nothing made through the link";
    }

    // A folder the caller names is checked, not changed.
    TempFolder named;
    ::chmod(named.Path().c_str(), 0777);
    EXPECT_FALSE(CStateFolder(named.Path()).IsOpen());
    EXPECT_EQ(ModeOf(named.Path()) & 07777, 0777u);
    ::chmod(named.Path().c_str(), 0755);
    EXPECT_TRUE(CStateFolder(named.Path()).IsOpen());
    // Group write is allowed for the user's own group only.
    ::chmod(named.Path().c_str(), 0775);
    EXPECT_TRUE(CStateFolder(named.Path()).IsOpen());
    ASSERT_EQ(::chown(named.Path().c_str(), ::getuid(), kOtherUser), 0);
    EXPECT_FALSE(CStateFolder(named.Path()).IsOpen());
}

// Without the environment's folders, /tmp/ormid-UID, but only the user's own.
TEST(StateFolder, TheRuntimeFolderFollowsTheEnvironment)
{
    TempFolder runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const CStateFolder ports(CStateFolder::Kind::Runtime, {"ports"});
    EXPECT_EQ(ports.Path(), runtime.Path() + "/ormid/ports/");
    EXPECT_EQ(CStateFolder::Location(CStateFolder::Kind::Runtime, {"ports"}), ports.Path());
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(CStateFolder::Location(CStateFolder::Kind::Runtime, {}),
              "/tmp/ormid-" + std::to_string(::getuid()) + "/");
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
