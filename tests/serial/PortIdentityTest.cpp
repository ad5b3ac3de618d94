// A port's identity on real pseudo-terminals: a simulated unit registered in
// the ports folder is named by its process and when it started, so that the
// next unit on a reused pseudo-terminal is another unit; anything else is
// its device's path, links resolved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "PortIdentity.h"
#include "PtyPair.h"
#include "TempFolder.h"

namespace {

std::string StartOf(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string field;
    for (int n = 3; n <= 22 && fields >> field; ++n) { }
    return field;
}

}  // namespace

TEST(PortIdentity, SimulatedUnitsAreTheirProcessOtherPortsTheirDevice)
{
    TempFolder runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    PtyPair registered, plain;
    ASSERT_FALSE(registered.Slave().empty());
    const std::string ports = runtime.Path() + "/ormid/ports";
    ASSERT_EQ(::mkdir((runtime.Path() + "/ormid").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(ports.c_str(), 0700), 0);
    // This process stands for the simulator.
    const long pid = long(::getpid());
    ASSERT_EQ(::symlink(registered.Slave().c_str(), (ports + "/unitsim-" + std::to_string(pid)).c_str()), 0);
    const std::string link = runtime.File("my-unit");
    ASSERT_EQ(::symlink(registered.Slave().c_str(), link.c_str()), 0);

    const std::string unit = "unitsim:" + std::to_string(pid) + ":" + StartOf(pid);
    EXPECT_EQ(PortIdentity(registered.Slave()), unit);
    EXPECT_EQ(PortIdentity(link), unit) << "a link to the port names the same unit";
    EXPECT_EQ(PortIdentity(plain.Slave()), plain.Slave());
    EXPECT_EQ(PortIdentity("/dev/no-such-port"), "/dev/no-such-port");

    // A registration whose process is gone names no unit: the device again.
    ::unlink((ports + "/unitsim-" + std::to_string(pid)).c_str());
    ASSERT_EQ(::symlink(registered.Slave().c_str(), (ports + "/unitsim-2147483600").c_str()), 0);
    EXPECT_EQ(PortIdentity(registered.Slave()), registered.Slave());
    // Nor is a ports folder others may write into read.
    ::unlink((ports + "/unitsim-2147483600").c_str());
    ASSERT_EQ(::symlink(registered.Slave().c_str(), (ports + "/unitsim-" + std::to_string(pid)).c_str()), 0);
    ::chmod(ports.c_str(), 0777);
    EXPECT_EQ(PortIdentity(registered.Slave()), registered.Slave());
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}
