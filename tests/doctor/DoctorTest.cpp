// ormid-cli doctor: what it concludes from the facts, the port probe on
// real pseudo-terminals, and the program run beside a simulated unit.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CDoctorReport.h"
#include "TempFolder.h"
#include "SimProcess.h"

namespace {

// A user for whom everything works.
SDoctorFacts Healthy()
{
    SDoctorFacts f;
    f.user = "bob";
    f.dialoutExists = f.dialoutMember = f.dialoutActive = true;
    f.ports = {{"/dev/ttyUSB0", 0}};
    f.soundServer = "PipeWire (/run/user/1000/pipewire-0)";
    f.programFolder = "/usr/lib/ormid/";
    f.workingFolder = "/home/bob/.local/share/ORMID/";
    f.workingFolderWritable = true;
    f.guideFile = "/usr/lib/ormid/ORMID Prog Guide.pdf";
    f.guideExists = true;
    return f;
}

struct Report {
    std::string text;
    int problems;
};

Report Judge(const SDoctorFacts& facts)
{
    CDoctorReport report;
    report.SetFacts(facts);
    return {report.Text(), report.Problems()};
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(DoctorReport, DialoutGroupAdvice)
{
    Report ok = Judge(Healthy());
    EXPECT_EQ(ok.problems, 0) << ok.text;
    EXPECT_TRUE(Has(ok.text, "No problems found.")) << ok.text;
    EXPECT_TRUE(Has(ok.text, "/dev/ttyUSB0       can be opened")) << ok.text;

    // A port refused to a user outside the group: the remedy names the user.
    SDoctorFacts outside = Healthy();
    outside.dialoutMember = outside.dialoutActive = false;
    outside.ports = {{"/dev/ttyUSB0", EACCES}, {"/dev/pts/4", 0}};
    Report r = Judge(outside);
    EXPECT_EQ(r.problems, 1) << r.text;
    EXPECT_TRUE(Has(r.text, "/dev/ttyUSB0       no permission")) << r.text;
    EXPECT_TRUE(Has(r.text, "/dev/pts/4         can be opened (simulated unit)")) << r.text;
    EXPECT_TRUE(Has(r.text, "problem: You are not in the dialout group, which serial ports belong to: "
                            "sudo usermod -aG dialout bob, then log in again."))
        << r.text;

    // Added to the group, but this session began before.
    SDoctorFacts added = Healthy();
    added.dialoutActive = false;
    added.ports = {{"/dev/ttyUSB0", EACCES}};
    r = Judge(added);
    EXPECT_EQ(r.problems, 1) << r.text;
    EXPECT_TRUE(Has(r.text, "but not yet in this session")) << r.text;
    EXPECT_TRUE(Has(r.text, "log out and in again")) << r.text;

    // Outside the group but every port opens (a simulated unit only): no problem.
    SDoctorFacts simulatorOnly = Healthy();
    simulatorOnly.dialoutMember = simulatorOnly.dialoutActive = false;
    simulatorOnly.ports = {{"/dev/pts/4", 0}};
    EXPECT_EQ(Judge(simulatorOnly).problems, 0);

    // Root opens every port; a port in use is named as such.
    SDoctorFacts root = Healthy();
    root.root = true;
    root.user = "root";
    root.dialoutMember = root.dialoutActive = false;
    root.ports = {{"/dev/ttyS0", EBUSY}};
    r = Judge(root);
    EXPECT_EQ(r.problems, 0) << r.text;
    EXPECT_TRUE(Has(r.text, "in use by another program")) << r.text;
}

TEST(DoctorReport, SoundAndFiles)
{
    SDoctorFacts f = Healthy();
    f.soundServer.clear();
    f.guideExists = false;
    f.workingFolderWritable = false;
    f.ports.clear();
    Report r = Judge(f);
    EXPECT_EQ(r.problems, 4) << r.text;
    EXPECT_TRUE(Has(r.text, "problem: No serial ports found")) << r.text;
    EXPECT_TRUE(Has(r.text, "problem: No sound device found")) << r.text;
    EXPECT_TRUE(Has(r.text, "problem: The user guide /usr/lib/ormid/ORMID Prog Guide.pdf is missing.")) << r.text;
    EXPECT_TRUE(Has(r.text, "problem: The working folder /home/bob/.local/share/ORMID/ is not writable.")) << r.text;

    // The file devices count as sound devices.
    f = Healthy();
    f.soundServer.clear();
    f.captureFile = "/tmp/speech.wav";
    r = Judge(f);
    EXPECT_EQ(r.problems, 0) << r.text;
    EXPECT_TRUE(Has(r.text, "microphone: the file /tmp/speech.wav (SONVOX_CAPTURE_FILE)")) << r.text;
}

TEST(DoctorReport, ProbePortOnPseudoTerminals)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string port = ::ptsname(master);
    EXPECT_EQ(CDoctorReport::ProbePort(port), 0);

    // Held by another copy of the program (its advisory lock): in use. The
    // probe must not take the lock away either.
    const int holder = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(CDoctorReport::ProbePort(port), EBUSY);
    const int again = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(again, 0);
    EXPECT_NE(::flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
    ::close(holder);
    ::close(master);

    EXPECT_EQ(CDoctorReport::ProbePort("/dev/ormid-no-such-port"), ENOENT);
}

TEST(DoctorProgram, ReportsSimulatedUnitAndFolders)
{
    TempFolder folder;
    const std::string runtime = folder.File("run"), work = folder.File("work/"), config = folder.File("config");
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    folder.Write("work/TXDoruvevAzad.ini", "[DEBUG]\nLog=1\n");
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--fast"}));

    const std::string command = "ORMID_WORKING_FOLDER='" + work + "' XDG_CONFIG_HOME='" + config +
                                "' SONVOX_CAPTURE_FILE=/tmp/speech.wav " ORMID_BIN_DIR "/ormid-cli doctor";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(Has(out, sim.Port())) << out;
    const size_t at = out.find(sim.Port());
    EXPECT_TRUE(Has(out.substr(at, out.find('\n', at) - at), "can be opened (simulated unit)")) << out;
    EXPECT_TRUE(Has(out, "working folder:  " + work + "  ")) << out;
    EXPECT_TRUE(Has(out, "settings:        " + config + "/Tarlex/ORMID.conf (not written yet)")) << out;
    EXPECT_TRUE(Has(out, "debug INI:       " + work + "TXDoruvevAzad.ini (log on)")) << out;
    EXPECT_TRUE(Has(out, "microphone: the file /tmp/speech.wav")) << out;
    // The exit status tells whether a problem was named.
    EXPECT_EQ(WEXITSTATUS(status) == 0, Has(out, "No problems found.")) << out;
    EXPECT_EQ(WEXITSTATUS(status) == 1, Has(out, "problem: ")) << out;
}
