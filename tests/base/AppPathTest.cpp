#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "CGetAppPath.h"
#include "TempFolder.h"

TEST(AppPath, FolderOfTheRunningExecutable)
{
    CGetAppPath path;
    const std::string exe = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(path.GetModulePath(), exe);
    EXPECT_EQ(path.GetFolder(), exe.substr(0, exe.rfind('/') + 1));
    EXPECT_EQ(path.GetFolder().back(), '/');
    EXPECT_EQ(path.GetName(), "base_test");
    EXPECT_EQ(path.GetExtension(), "");
    EXPECT_EQ(CGetAppPath::ProgramFolder(), path.GetFolder());
}

TEST(AppPath, WorkingFolderOverride)
{
    TempFolder folder;
    const std::string wanted = folder.Path() + "/deeper/work";
    ::setenv("ORMID_WORKING_FOLDER", wanted.c_str(), 1);
    const std::string got = CGetAppPath::WorkingFolder();
    ::unsetenv("ORMID_WORKING_FOLDER");
    EXPECT_EQ(got, wanted + "/");
    EXPECT_TRUE(std::filesystem::is_directory(wanted));
}
