// ormid-cli ports lists the machine's ports together with running simulated units.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "PtyPair.h"
#include "serialport.h"

TEST(CliPorts, ListsTheSimulatedUnitsBesideTheRealPorts)
{
    std::string program = std::string(ORMID_BIN_DIR) + "/ormid-cli";
    if (access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "ormid-cli is not built";
    TempFolder runtime;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    std::string folder = runtime.Path() + "/ormid/ports";
    ASSERT_EQ(0, system(("mkdir -p '" + folder + "'").c_str()));
    ASSERT_EQ(0, symlink(pty.Slave().c_str(), (folder + "/unit").c_str()));
    ASSERT_EQ(0, symlink("/dev/pts/999999", (folder + "/gone").c_str()));

    std::string command = "XDG_RUNTIME_DIR='" + runtime.Path() + "' '" + program + "' ports 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, out);
    std::vector<std::string> lines;
    char line[512];
    while (fgets(line, sizeof line, out)) {
        std::string text = line;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        lines.push_back(text);
    }
    int status = pclose(out);
    EXPECT_EQ(0, WEXITSTATUS(status));

    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    EXPECT_EQ(ListSerialPorts(), lines);
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), pty.Slave()));
}
