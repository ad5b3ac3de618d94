// The decoder helper's sandbox and the program's checks of its answer: a
// helper that tries to get out reaches nothing and the file is refused; a
// running helper is seen walled in from /proc; an answer that breaks the
// record rules is thrown away whole.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "AudioFixtures.h"
#include "CAudioImport.h"
#include "CDecoderProcess.h"
#include "CDecoderReplies.h"
#include "DecoderFault.h"
#include "RecordingReport.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WaitFor.h"
#include "cMemoryMap.h"

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string LinkTarget(const std::string& path)
{
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n < 0 ? std::string() : std::string(target, size_t(n));
}

// A TCP listener on 127.0.0.1 that nobody should reach.
struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    uint16_t port = 0;
    Listener()
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) == 0)
            port = ntohs(at.sin_port);
    }
    ~Listener() { ::close(fd); }
    bool Reached() const
    {
        const int peer = ::accept(fd, nullptr, nullptr);
        if (peer >= 0)
            ::close(peer);
        return peer >= 0;
    }
};

// The pid of this process's running decoder helper, or -1.
pid_t FindHelper()
{
    DIR* proc = ::opendir("/proc");
    pid_t found = -1;
    while (dirent* entry = proc ? ::readdir(proc) : nullptr) {
        const pid_t pid = pid_t(std::atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::istringstream stat(FileText("/proc/" + std::to_string(pid) + "/stat"));
        std::string ignored, name, state;
        pid_t parent = 0;
        stat >> ignored >> name >> state >> parent;
        if (parent == ::getpid() && name == "(ormid-decode)")
            found = pid;
    }
    if (proc)
        ::closedir(proc);
    return found;
}

// Whether this system lets a process make a user namespace of its own.
bool UserNamespacesAllowed()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::unshare(CLONE_NEWUSER) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Record(char type, const std::string& payload)
{
    const uint32_t size = uint32_t(payload.size());
    return std::string(1, type) + std::string(reinterpret_cast<const char*>(&size), 4) + payload;
}

std::string Info(int rate, int channels, int bits = 16, int64_t frames = 8000)
{
    CAudioFileInfo info;
    info.sampleRate = rate;
    info.channels = channels;
    info.bitsPerSample = bits;
    info.frames = frames;
    const std::vector<uint8_t> packed = CDecoderProcess::PackInfo(info);
    return Record('I', std::string(packed.begin(), packed.end()));
}

std::string Progress(int32_t permille)
{
    return Record('P', std::string(reinterpret_cast<const char*>(&permille), 4));
}

std::string Done(char truncated = 0)
{
    return Record('R', std::string(8, '\0') + truncated);
}

}  // namespace

// Each way out a taken-over decoder might try ends the helper at its first
// step; the operator hears why the file was refused, and nothing outside
// the helper changed: no file, no connection, no program run, the image as
// it was.
TEST(DecoderSandbox, EscapesEndInARefusalAndReachNothing)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("good.flac"), "-r 44100 -c 1 -b 16", 1.0));
    const std::string path = folder.File("good.flac");
    const std::string planted = folder.File("planted.txt");
    const std::string marker = folder.File("ran.txt");
    folder.Write("run.sh", "#!/bin/sh\ntouch '" + marker + "'\n");
    ASSERT_EQ(::chmod(folder.File("run.sh").c_str(), 0755), 0);
    Listener listener;
    ASSERT_NE(listener.port, 0);

    struct Case {
        std::string fault;
        std::function<bool()> reached;
    };
    const Case cases[] = {
        {"escape-file:" + planted, [&] { return ::access(planted.c_str(), F_OK) == 0; }},
        {"escape-connect:127.0.0.1:" + std::to_string(listener.port), [&] { return listener.Reached(); }},
        {"escape-exec:" + folder.File("run.sh"), [&] { return ::access(marker.c_str(), F_OK) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        cMemoryMap map;
        FillImage(map, {5000, 700});
        const std::vector<uint8_t> before(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize);
        RecordingReport report;
        CAudioImport audio;
        CAudioImport::Outcome outcome;
        {
            DecoderFault fault(c.fault.c_str());
            outcome = audio.Prepare(
                path.c_str(), [](const std::string&) { return true; }, report, map.GetRoomLeft());
        }
        EXPECT_EQ(outcome, CAudioImport::kFailed);
        ASSERT_EQ(report.messages.size(), 1u);
        EXPECT_EQ(report.messages[0],
                  "The audio file could not be read.\n" + path + ": " + DecoderFault::kEscapeReason);
        EXPECT_FALSE(c.reached());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), map.GetImageBuffer()));
    }
}

// A helper caught mid-conversion: filtered, without new privileges, in
// namespaces of its own, with nothing of the program's environment, folder
// or descriptors, and limits that leave it no new file or process.
TEST(DecoderSandbox, ARunningHelperIsWalledIn)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("good.flac"), "-r 44100 -c 1 -b 16", 1.0));
    const int fd = ::open(folder.File("good.flac").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::setenv("ORMID_TEST_SECRET", "the operator's", 1);
    DecoderFault fault("silent");
    CDecoderProcess::Limits patient = CDecoderProcess::GetLimits();
    patient.silentSeconds = 60;  // it is looked at, then stopped
    CDecoderProcess::SetLimits(patient);
    CConvertControl control;
    CDecoderProcess::Result result;
    std::thread run([&] { result = CDecoderProcess::Run(CDecoderProcess::kConvert, fd, 8000, &control); });
    pid_t helper = -1;
    // Sealed once its filter is on.
    const bool sealed = WaitFor([&] {
        helper = FindHelper();
        return helper > 0 &&
               FileText("/proc/" + std::to_string(helper) + "/status").find("Seccomp:\t2") != std::string::npos;
    });
    if (sealed) {
        const std::string proc = "/proc/" + std::to_string(helper);
        const std::string status = FileText(proc + "/status");
        EXPECT_NE(status.find("NoNewPrivs:\t1"), std::string::npos) << status;
        std::vector<std::string> namespaces = {"net", "mnt"};
        if (UserNamespacesAllowed())
            namespaces.push_back("user");
        for (const std::string& ns : namespaces)
            EXPECT_NE(LinkTarget(proc + "/ns/" + ns), LinkTarget("/proc/self/ns/" + ns)) << ns;
        EXPECT_EQ(LinkTarget(proc + "/cwd"), "/");
        // The environment it was started with: the test hook, and the
        // sanitizers' options in their builds; never the operator's.
        const std::string environment = FileText(proc + "/environ");
        EXPECT_EQ(environment.find("ORMID_TEST_SECRET"), std::string::npos);
        EXPECT_EQ(environment.find("HOME="), std::string::npos);
        EXPECT_NE(environment.find("ORMID_DECODE_FAULT=silent"), std::string::npos);
        std::vector<std::string> descriptors;
        if (DIR* fds = ::opendir((proc + "/fd").c_str())) {
            while (dirent* entry = ::readdir(fds))
                if (entry->d_name[0] != '.')
                    descriptors.push_back(entry->d_name);
            ::closedir(fds);
        }
        std::sort(descriptors.begin(), descriptors.end());
        EXPECT_EQ(descriptors, (std::vector<std::string>{"0", "1", "2"}));
        const std::string limits = FileText(proc + "/limits");
        for (const char* line : {"Max processes             0                    0",
                                 "Max file size             0                    0", "Max core file size        0"})
            EXPECT_NE(limits.find(line), std::string::npos) << line << "\n" << limits;
#ifndef ORMID_SANITIZED
        EXPECT_NE(limits.find("Max open files            3                    3"), std::string::npos) << limits;
#endif
    }
    control.stop = true;
    run.join();
    ::close(fd);
    ::unsetenv("ORMID_TEST_SECRET");
    ASSERT_TRUE(sealed) << "no sealed helper seen";
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), pid_t(-1));  // reaped
}

// Cancel while the file's description is still being read ends that helper
// too, however long it would stay silent.
TEST(DecoderSandbox, StoppingEndsAProbeToo)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("good.flac"), "-r 44100 -c 1 -b 16", 1.0));
    const int fd = ::open(folder.File("good.flac").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    DecoderFault fault("silent-probe");
    CConvertControl control;
    std::thread stopper([&] {
        WaitFor([] { return FindHelper() > 0; });
        control.stop = true;
    });
    const CDecoderProcess::Result result = CDecoderProcess::Run(CDecoderProcess::kProbe, fd, 0, &control);
    stopper.join();
    ::close(fd);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), pid_t(-1));
}

// The record rules, one stream a case, fed whole and byte by byte.
TEST(DecoderSandbox, AnAnswerOutOfTheRulesIsThrownAway)
{
    using Task = CDecoderProcess::Task;
    const std::string samples = Record('D', std::string(400, 'x'));
    struct Case {
        const char* what;
        Task task;
        std::string stream;
        bool broken;
        bool ok;  // else finished without success, or not finished when broken
    };
    const Case cases[] = {
        {"probe: description and done", CDecoderProcess::kProbe, Info(44100, 2) + Done(), false, true},
        {"probe: a reason alone", CDecoderProcess::kProbe, Record('E', "no decoder can read the file"), false, false},
        {"convert: the whole order", CDecoderProcess::kConvert,
         Progress(0) + Progress(500) + Progress(1000) + Info(8000, 1) + samples + samples + Done(1), false, true},
        {"convert: description then reason", CDecoderProcess::kConvert, Info(8000, 1) + Record('E', "lost sync"), false,
         false},
        {"convert: exactly the samples asked for", CDecoderProcess::kConvert,
         Info(8000, 1) + Record('D', std::string(1000, 'x')) + Done(), false, true},
        {"a byte after done", CDecoderProcess::kProbe, Info(44100, 2) + Done() + "x", true, false},
        {"a record after a reason", CDecoderProcess::kConvert, Record('E', "bad") + Progress(3), true, false},
        {"two descriptions", CDecoderProcess::kProbe, Info(44100, 2) + Info(44100, 2) + Done(), true, false},
        {"samples before the description", CDecoderProcess::kConvert, samples + Info(8000, 1) + Done(), true, false},
        {"progress after the description", CDecoderProcess::kConvert, Info(8000, 1) + Progress(10) + Done(), true,
         false},
        {"progress over 1000", CDecoderProcess::kConvert, Progress(1001), true, false},
        {"progress below 0", CDecoderProcess::kConvert, Progress(-1), true, false},
        {"progress in a probe", CDecoderProcess::kProbe, Progress(0), true, false},
        {"a rate of -5 Hz, no channels", CDecoderProcess::kProbe, Info(-5, 0) + Done(), true, false},
        {"a rate past the range", CDecoderProcess::kProbe, Info(CDecoderReplies::kMaxRate + 1, 1) + Done(), true,
         false},
        {"channels past the range", CDecoderProcess::kProbe, Info(8000, CDecoderReplies::kMaxChannels + 1) + Done(),
         true, false},
        {"a negative length", CDecoderProcess::kProbe, Info(8000, 1, 16, -1) + Done(), true, false},
        {"no bits per sample", CDecoderProcess::kProbe, Info(8000, 1, 0) + Done(), true, false},
        {"a short description", CDecoderProcess::kProbe, Record('I', "short") + Done(), true, false},
        {"samples in a probe", CDecoderProcess::kProbe, Info(8000, 1) + samples + Done(), true, false},
        {"more samples than asked for", CDecoderProcess::kConvert,
         Info(8000, 1) + samples + Record('D', std::string(601, 'x')) + Done(), true, false},
        {"done before the description", CDecoderProcess::kConvert, Done(), true, false},
        {"done with a strange flag", CDecoderProcess::kProbe, Info(8000, 1) + Done(2), true, false},
        {"an empty reason", CDecoderProcess::kProbe, Record('E', ""), true, false},
        {"a reason with a line break", CDecoderProcess::kProbe, Record('E', "bad\nfile"), true, false},
        {"a reason of a megabyte", CDecoderProcess::kProbe, Record('E', std::string(1 << 20, 'a')), true, false},
        {"an unknown record", CDecoderProcess::kProbe, Record('X', "") + Info(8000, 1) + Done(), true, false},
        {"a record larger than the limit", CDecoderProcess::kProbe,
         std::string("D") + std::string("\xff\xff\xff\x7f", 4), true, false},
    };
    for (const Case& c : cases) {
        for (const bool byteWise : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (byteWise ? " (byte by byte)" : ""));
            CDecoderProcess::Result result;
            CConvertControl control;
            CDecoderReplies replies(c.task, 1000, result, &control);
            bool fed = true;
            if (byteWise)
                for (char b : c.stream)
                    fed = replies.Feed(&b, 1) && fed;
            else
                fed = replies.Feed(c.stream.data(), c.stream.size());
            EXPECT_EQ(!fed, c.broken);
            EXPECT_EQ(replies.Broken(), c.broken);
            if (!c.broken) {
                EXPECT_TRUE(replies.Finished());
                EXPECT_EQ(result.ok, c.ok);
            }
        }
    }
}
