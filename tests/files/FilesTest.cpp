// The file layer: the RIFF walker's pad-byte rule, the WAV header, and the
// atomic replace against every kind of target, on real files (and a small
// tmpfs of its own where a full or read-only disk is needed).
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "CAtomicFile.h"
#include "CInPlaceBackup.h"
#include "CRiffWalker.h"
#include "LittleEndian.h"
#include "SafeFile.h"
#include "RequireRealPart.h"
#include "SmallTmpfs.h"
#include "StaleFiles.h"
#include "StateFolder.h"
#include "TempFolder.h"
#include "WavHeader.h"

using namespace std::string_literals;

namespace {

std::string Chunk(const std::string& id, const std::string& data, bool pad)
{
    uint8_t size[4];
    PutLE32(size, uint32_t(data.size()));
    return id + std::string(reinterpret_cast<char*>(size), 4) + data + (pad && data.size() % 2 ? "\0"s : "");
}

// The file's type and permission bits as lstat gives them (0 when absent).
mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// name with G replaced by the ended process's id, P by a running one's.
std::string Named(std::string name, long gone)
{
    const size_t g = name.find('G'), p = name.find('P');
    return g != std::string::npos ? name.replace(g, 1, std::to_string(gone))
                                  : name.replace(p, 1, std::to_string(::getppid()));
}

// The id of a process that has ended.
long GonePid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        _exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace

TEST(RiffWalker, FindsChunksByTheOnePadByteRule)
{
    struct Case {
        const char* what;
        std::string body;  // after "RIFF" size "WAVE"
        bool found;
        size_t dataAt;  // offset of the data chunk's bytes
    };
    const std::string odd = Chunk("LIST", "abc", false), oddPadded = Chunk("LIST", "abc", true);
    const Case cases[] = {
        {"padded odd chunk", oddPadded + Chunk("data", "xy", false), true, 12 + 12 + 8},
        {"unpadded odd chunk", odd + Chunk("data", "xy", false), true, 12 + 11 + 8},
        // A size whose low byte is printable: the unpadded id still wins.
        {"printable size", Chunk("junk", std::string(0x41, 'q'), false) + Chunk("data", "", false), true,
         12 + 8 + 0x41 + 8},
        {"pad byte at the very end", odd, false, 0},
        {"chunk past the end", "LIST\xff\xff\x00\x00"s + Chunk("data", "", false), false, 0},
        {"data before fmt", Chunk("data", "z", true) + Chunk("fmt ", std::string(16, 0), false), true, 12 + 8},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        uint8_t size[4];
        PutLE32(size, uint32_t(c.body.size() + 4));
        folder.Write("f.wav", "RIFF" + std::string(reinterpret_cast<char*>(size), 4) + "WAVE" + c.body);
        int error = 0;
        const int fd = OpenRegularFileForReading(folder.File("f.wav").c_str(), error);
        ASSERT_GE(fd, 0);
        const CRiffWalker walker(fd, 12 + c.body.size());
        uint32_t riffSize = 0;
        EXPECT_TRUE(walker.IsWave(riffSize)) << c.what;
        CRiffWalker::Chunk data;
        EXPECT_EQ(walker.Find("data", 12, walker.Length(), data), c.found) << c.what;
        if (c.found)
            EXPECT_EQ(data.dataPos, c.dataAt) << c.what;
        ::close(fd);
    }
}

TEST(WavHeader, FieldsFollowTheFormatAndThePadRule)
{
    struct Case {
        WavFormat format;
        uint32_t length;
        WavPad pad;
        uint32_t riffSize, bytesPerSec, blockAlign;
    };
    const Case cases[] = {
        {kUnitWavFormat, 3, WavPad::kNone, 39, 8000, 1},
        {kUnitWavFormat, 3, WavPad::kOddData, 40, 8000, 1},
        {WavFormat{1, 2, 44100, 16}, 0, WavPad::kOddData, 36, 176400, 4},
    };
    for (const Case& c : cases) {
        uint8_t h[kWavHeaderBytes];
        BuildWavHeader(h, c.format, c.length, c.pad);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 44).substr(0, 4) +
                      std::string(reinterpret_cast<char*>(h + 8), 8),
                  "RIFFWAVEfmt ");
        EXPECT_EQ(GetLE32(h + 4), c.riffSize);
        EXPECT_EQ(WavFileBytes(c.length, c.pad), c.riffSize + 8u);
        EXPECT_EQ(GetLE32(h + 16) * 0x10000 + GetLE16(h + 20), 16u * 0x10000 + c.format.formatTag);
        EXPECT_EQ(GetLE32(h + 28), c.bytesPerSec);
        EXPECT_EQ(GetLE16(h + 32), c.blockAlign);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 36), 4) + std::to_string(GetLE32(h + 40)),
                  "data" + std::to_string(c.length));
    }
}

// Every kind of target: what the replace must do with it.
TEST(AtomicFile, EveryKindOfTarget)
{
    TempFolder folder;
    const std::string target = folder.File("t.txi");
    struct Case {
        const char* what;
        std::function<std::string()> setup;  // the path to replace
        int error;                           // 0: replaced
        std::function<void()> check;
    };
    long gone = 0;
    const Case cases[] = {
        {"new file", [&] { return target; }, 0, [&] { EXPECT_EQ(folder.Read("t.txi"), "new"); }},
        {"FIFO",
         [&] {
             ::mkfifo(target.c_str(), 0644);
             return target;
         },
         EINVAL, [&] { EXPECT_TRUE(S_ISFIFO(ModeOf(target))); }},
        {"device /dev/null", [] { return "/dev/null"s; }, EINVAL, [] { EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null"))); }},
        {"folder",
         [&] {
             ::mkdir(target.c_str(), 0755);
             return target;
         },
         EISDIR, [] {}},
        {"symbolic link",
         [&] {
             folder.Write("real.txi", "old");
             ::symlink("real.txi", target.c_str());
             return target;
         },
         0, [&] { EXPECT_TRUE(S_ISLNK(ModeOf(target)) && folder.Read("real.txi") == "new"); }},
        {"hard link",
         [&] {
             folder.Write("other.txi", "old");
             ::link(folder.File("other.txi").c_str(), target.c_str());
             return target;
         },
         0, [&] { EXPECT_EQ(folder.Read("other.txi"), "new"); }},
        {"owner, mode and attributes",
         [&] {
             folder.Write("t.txi", "old");
             EXPECT_EQ(::chown(target.c_str(), 1234, 5678) + ::chmod(target.c_str(), 0600), 0);
             ::setxattr(target.c_str(), "user.ormid", "kept", 4, 0);
             EXPECT_EQ(std::system(("setfacl -m u:4321:r '" + target + "'").c_str()), 0) << "setfacl: scripts/deps";
             return target;
         },
         0,
         [&] {
             struct stat st;
             char value[5] = {};
             ASSERT_EQ(::stat(target.c_str(), &st), 0);
             EXPECT_TRUE(st.st_uid == 1234 && st.st_gid == 5678);
             EXPECT_EQ(st.st_mode & 0777, 0640u);  // the ACL's mask shows as the group's bits
             EXPECT_GT(::getxattr(target.c_str(), "system.posix_acl_access", nullptr, 0), 0);
             EXPECT_EQ(::getxattr(target.c_str(), "user.ormid", value, 4), 4);
             EXPECT_STREQ(value, "kept");
         }},
        {"stale temporary files",
         [&] {
             gone = GonePid();
             for (const std::string& name : {"t.txi.G.0.tmp", ".ormid.G.3.tmp", "t.txi.P.0.tmp", "t.txi.G.y.tmp"})
                 folder.Write(Named(name, gone), "x");
             return target;
         },
         0,
         [&] {
             for (const std::string& name : {"t.txi.G.0.tmp", ".ormid.G.3.tmp", "t.txi.P.0.tmp", "t.txi.G.y.tmp"})
                 EXPECT_EQ(ModeOf(folder.File(Named(name, gone))) != 0,
                           name.find('P') != std::string::npos || name.find(".y.") != std::string::npos)
                     << name;  // only the files of ended runs go
         }},
        {"name near the limit", [&] { return folder.File(std::string(252, 'n')); }, 0,
         [&] { EXPECT_EQ(folder.Read(std::string(252, 'n')), "new"); }},
    };
    for (const Case& c : cases) {
        std::system(("rm -rf '" + folder.Path() + "'/* '" + folder.Path() + "'/.ormid*").c_str());
        const std::string path = c.setup();
        CAtomicFile file;
        const bool ok = file.Open(path.c_str(), 3) && file.Write("new", 3) && file.Commit();
        EXPECT_EQ(ok, c.error == 0) << c.what;
        EXPECT_EQ(file.Error(), c.error) << c.what;
        c.check();
    }
}

// A full or read-only disk leaves the old file byte for byte.
TEST(AtomicFile, FullOrReadOnlyDiskKeepsTheOldFile)
{
    SmallTmpfs disk;
    REQUIRE_REAL_PART("a tmpfs", disk.Missing());
    const std::string old(1 << 20, 'o'), bigger(3 << 20, 'n');
    struct Case {
        const char* what;
        std::function<void()> setup;
        int error;
    };
    const Case cases[] = {
        {"full disk", [&] { disk.Fill(); }, ENOSPC},
        {"full disk, hard link (in place)",
         [&] {
             ::link(disk.File("t.txi").c_str(), disk.File("link").c_str());
             disk.Fill();
         },
         ENOSPC},
        {"read-only file system", [&] { ASSERT_TRUE(disk.MakeReadOnly(true)); }, EROFS},
    };
    for (const Case& c : cases) {
        disk.MakeReadOnly(false);
        ::unlink(disk.File("link").c_str());
        disk.Free();
        disk.Write("t.txi", old);
        c.setup();
        CAtomicFile file;
        const bool ok = file.Open(disk.File("t.txi").c_str(), bigger.size()) &&
                        file.Write(bigger.data(), bigger.size()) && file.Commit();
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(file.Error(), c.error) << c.what;
        EXPECT_TRUE(disk.Read("t.txi") == old) << c.what;
        int error = 0;
        EXPECT_FALSE(CAtomicFile::HasRoomFor(disk.File("t.txi").c_str(), bigger.size(), error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
    disk.MakeReadOnly(false);
    disk.Free();
    int error = 0;
    EXPECT_TRUE(CAtomicFile::HasRoomFor(disk.File("t.txi").c_str(), bigger.size(), error));
}

// Written in place (two links, size not known at the start) and failing
// part-way through the copy or before it: the old bytes stay, and the file's
// size too.
TEST(AtomicFile, FailedInPlaceWritesNeverMixOldAndNew)
{
    SmallTmpfs disk;
    if (!disk.Mounted()) {
        if (std::getenv("CI"))
            FAIL() << "cannot mount a tmpfs here";
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string old(1 << 20, 'o'), bigger(3 << 20, 'n');
    struct Case {
        const char* what;
        std::function<void()> setup;
        rlim_t limit;
        int error;
    };
    const Case cases[] = {
        {"full disk during the copy", [&] { disk.Fill(); }, RLIM_INFINITY, ENOSPC},
        {"file size limit", [] {}, 2 << 20, EFBIG},
    };
    for (const Case& c : cases) {
        disk.Free();
        ::unlink(disk.File("link").c_str());
        disk.Write("t.txi", old);
        ASSERT_EQ(::link(disk.File("t.txi").c_str(), disk.File("link").c_str()), 0);
        c.setup();
        struct rlimit saved;
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = c.limit;
        ::setrlimit(RLIMIT_FSIZE, &small);
        CAtomicFile file;
        const bool opened = file.Open(disk.File("t.txi").c_str(), 0);
        const bool ok = opened && file.Write(bigger.data(), bigger.size()) && file.Commit();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        EXPECT_TRUE(opened) << c.what;
        EXPECT_TRUE(file.WritesInPlace()) << c.what;
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(file.Error(), c.error) << c.what;
        EXPECT_TRUE(disk.Read("link") == old) << c.what;
    }
}

// A program killed at any moment of an in-place save (here: a child saving
// two contents in turn, killed after a random while, again and again): once
// the next reader has recovered the file, it holds one content whole.
TEST(AtomicFile, KilledInPlaceSavesLeaveOneContentWhole)
{
    StateFolder state;
    TempFolder folder;
    const std::string a(4 << 20, 'a'), b(4 << 20, 'b');
    folder.Write("t.txi", a);
    ASSERT_EQ(::link(folder.File("t.txi").c_str(), folder.File("link").c_str()), 0);
    int recovered = 0;
    srand(7);
    for (int round = 0; round < 30; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                CAtomicFile file;
                const std::string& next = i % 2 ? a : b;
                if (!file.Open(folder.File("t.txi").c_str(), next.size()) || !file.Write(next.data(), next.size()) ||
                    !file.Commit())
                    ::_exit(1);
            }
        }
        ::usleep(useconds_t(2000 + rand() % 30000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";
        std::string note;
        const bool back = CInPlaceBackup::Recover(folder.File("link"), note);
        recovered += back;
        if (back) {
            EXPECT_NE(note.find("was cut off before it ended"), std::string::npos) << note;
        }
        const std::string now = folder.Read("link");
        EXPECT_TRUE(now == a || now == b) << "round " << round << ": " << std::count(now.begin(), now.end(), 'a')
                                          << " bytes of one, the rest of the other";
    }
    // Not every kill falls inside a copy, but some do.
    printf("in-place saves recovered after a kill: %d of 30\n", recovered);
}

TEST(StaleFiles, FoldersOfEndedRunsAreRemoved)
{
    TempFolder parent;
    const std::string gone = "ormid-edit-" + std::to_string(GonePid()) + "-abc";
    const std::string running = "ormid-edit-" + std::to_string(::getppid()) + "-abc";
    for (const std::string& name : {gone, running, "ormid-edit-x-abc"s}) {
        ::mkdir(parent.File(name).c_str(), 0700);
        parent.Write(name + "/olun.wav", "x");
    }
    RemoveStaleFolders(parent.Path(), "ormid-edit-");
    EXPECT_NE(::access(parent.File(gone).c_str(), F_OK), 0);
    EXPECT_EQ(::access(parent.File(running).c_str(), F_OK), 0);
    EXPECT_EQ(::access(parent.File("ormid-edit-x-abc").c_str(), F_OK), 0);
}
