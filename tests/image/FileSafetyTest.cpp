// Files that must never hang the program, vanish on a failed write, lose their
// identity when saved, or have their names cut.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CImageLock.h"
#include "RecordingReport.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "UnitName.h"
#include "cMemoryMap.h"

namespace {

size_t FilesIn(const std::string& folder)
{
    size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        n += entry.is_regular_file();
    return n;
}

ino_t Inode(const std::string& path)
{
    struct stat info { };
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

// Runs a call that must not block on a FIFO. Should it block anyway, a writer
// is opened on the FIFO so that the test ends (and fails) instead of hanging.
template <typename Call>
bool RunUnblocked(const std::string& fifo, Call call)
{
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
        return result.get();
    ADD_FAILURE() << "blocked on " << fifo;
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ::close(fd);
    return result.get();
}

// Files may grow to at most `bytes` while this lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = m_saved;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    struct rlimit m_saved;
    void (*m_handler)(int);
};

}  // namespace

TEST(FileSafety, FifosAndDevicesAreRefusedWithoutBlocking)
{
    TempFolder folder;
    const std::string fifo = folder.File("pipe.txi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
        cMemoryMap map;
        Fill(map, 2, 900, 5);
        const std::vector<uint8_t> table(map.GetTable(), map.GetTable() + 192);
        RecordingReport report;
        EXPECT_FALSE(RunUnblocked(path, [&] { return map.ReadImageFile(path.c_str(), report); })) << path;
        EXPECT_FALSE(RunUnblocked(path, [&] { return map.ImportSlotWav(2, path.c_str(), report); })) << path;
        ASSERT_EQ(report.messages.size(), 2u) << path;
        // The message, then the file and the reason.
        EXPECT_EQ(report.messages[0], "Could not open file for reading.\n" + path + ": not a regular file");
        EXPECT_EQ(report.messages[1],
                  "Trouble with " + path + "\nCould not open file\n" + path + ": not a regular file");
        EXPECT_EQ(std::vector<uint8_t>(map.GetTable(), map.GetTable() + 192), table) << path;
    }
    // Nor is anything renamed over a FIFO or written into it.
    cMemoryMap map;
    RecordingReport report;
    EXPECT_FALSE(map.ExportSlotWav(0, fifo.c_str(), report));
    EXPECT_FALSE(map.WriteImageFile(fifo.c_str(), report));
    struct stat info;
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(FileSafety, FailedWavWritesKeepTheOldFile)
{
    TempFolder folder;
    cMemoryMap map;
    Fill(map, 0, 3000, 1);
    Fill(map, 1, 60000, 2);
    RecordingReport report;
    const std::string path = folder.File("old.wav");
    const std::string linked = folder.File("second-link.wav");
    ASSERT_TRUE(map.ExportSlotWav(0, path.c_str(), report));
    const std::string before = folder.Read("old.wav");

    // Replaced by rename, and written in place where the file has two links:
    // either way a write that cannot finish leaves the old bytes.
    for (const bool twoLinks : {false, true}) {
        if (twoLinks) {
            ASSERT_EQ(::link(path.c_str(), linked.c_str()), 0);
        }
        report.messages.clear();
        bool exported = true, silenced = true;
        {
            FileSizeLimit limit(20000);
            exported = map.ExportSlotWav(1, path.c_str(), report);
            silenced = map.WriteSilenceWav(10000, path.c_str(), report);
        }
        EXPECT_FALSE(exported) << twoLinks;
        EXPECT_FALSE(silenced) << twoLinks;
        ASSERT_EQ(report.messages.size(), 2u) << twoLinks;
        EXPECT_EQ(report.messages[0], path + ": " + std::strerror(EFBIG));
        EXPECT_EQ(folder.Read("old.wav"), before) << twoLinks;
        EXPECT_EQ(FilesIn(folder.Path()), twoLinks ? 2u : 1u) << "no temporary file is left";
    }
    EXPECT_EQ(folder.Read("second-link.wav"), before);
}

TEST(FileSafety, SavesKeepTheFileIdentity)
{
    TempFolder folder;
    const std::string path = folder.File("unit.txi");
    const std::string other = folder.File("other-name.txi");
    RecordingReport report;
    cMemoryMap first;
    Fill(first, 0, 1000, 1);
    ASSERT_TRUE(first.WriteImageFile(path.c_str(), report));
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    const ino_t inode = Inode(path);

    cMemoryMap second;
    Fill(second, 6, 40000, 7);
    second.SetName(6, "second");
    ASSERT_TRUE(second.WriteImageFile(path.c_str(), report));
    EXPECT_EQ(Inode(path), inode);
    EXPECT_EQ(folder.Read("other-name.txi"), folder.Read("unit.txi"));
    cMemoryMap back;
    ASSERT_TRUE(back.ReadImageFile(other.c_str(), report));
    EXPECT_STREQ(back.GetName(6), "second");
    EXPECT_EQ(back.GetLength(6), 40000u);
    EXPECT_EQ(back.GetLength(0), 0u);
    EXPECT_EQ(FilesIn(folder.Path()), 2u);

    // A symbolic link stays a link to the saved file.
    const std::string symlink = folder.File("shortcut.txi");
    ASSERT_EQ(::symlink(other.c_str(), symlink.c_str()), 0);
    ASSERT_TRUE(first.WriteImageFile(symlink.c_str(), report));
    struct stat info;
    ASSERT_EQ(::lstat(symlink.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_TRUE(report.messages.empty());
}

TEST(FileSafety, SavesKeepTheAccessList)
{
    TempFolder folder;
    const std::string path = folder.File("unit.txi");
    RecordingReport report;
    cMemoryMap map;
    ASSERT_TRUE(map.WriteImageFile(path.c_str(), report));
    // Owner rw, user 65534 rw, group r, mask rw, others r.
    std::string acl;
    auto put = [&acl](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl += char(uint8_t(v >> (8 * i)));
    };
    put(2, 4);
    const uint32_t entries[5][3] = {
        {0x01, 6, 0xFFFFFFFF}, {0x02, 6, 65534}, {0x04, 4, 0xFFFFFFFF}, {0x10, 6, 0xFFFFFFFF}, {0x20, 4, 0xFFFFFFFF}};
    for (const auto& entry : entries) {
        put(entry[0], 2);
        put(entry[1], 2);
        put(entry[2], 4);
    }
    const char* const name = "system.posix_acl_access";
    if (::setxattr(path.c_str(), name, acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "no access lists here: " << std::strerror(errno);
    ASSERT_TRUE(map.WriteImageFile(path.c_str(), report));
    std::string after(256, '\0');
    const ssize_t n = ::getxattr(path.c_str(), name, &after[0], after.size());
    ASSERT_GT(n, 0);
    after.resize(size_t(n));
    EXPECT_EQ(after, acl);
}

// A writable image in a folder that refuses new files is saved in place.
TEST(FileSafety, SavesIntoAClosedFolder)
{
    TempFolder folder;
    const std::string closed = folder.File("closed");
    const std::string path = closed + "/unit.txi";
    ASSERT_EQ(::mkdir(closed.c_str(), 0755), 0);
    RecordingReport report;
    cMemoryMap first;
    ASSERT_TRUE(first.WriteImageFile(path.c_str(), report));
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    const ino_t inode = Inode(path);

    // As root the folder's mode binds nobody: save as an ordinary user then.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
        ASSERT_EQ(::chown(closed.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            _exit(3);
        cMemoryMap second;
        Fill(second, 4, 5000, 3);
        RecordingReport childReport;
        const bool saved = second.WriteImageFile(path.c_str(), childReport);
        // And where the file itself is not writable either, the old message.
        const bool refused =
            !second.WriteImageFile((closed + "/new.txi").c_str(), childReport) && childReport.messages.size() == 1 &&
            childReport.messages[0] == "Could not open file for writing.\n" + closed + "/new.txi: Permission denied";
        _exit(saved && refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(closed.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    cMemoryMap back;
    ASSERT_TRUE(back.ReadImageFile(path.c_str(), report));
    EXPECT_EQ(back.GetLength(4), 5000u);
    EXPECT_EQ(Inode(path), inode);
    EXPECT_EQ(FilesIn(folder.Path()), 1u);
}

TEST(FileSafety, LongPathsAreNeverCut)
{
    TempFolder folder;
    // Folders of 200 characters, then a file name that brings the whole path
    // to each length around the old 512-byte limit and past it.
    std::string base = folder.Path();
    for (int i = 0; i < 2; ++i) {
        base += "/" + std::string(200, char('a' + i));
        ASSERT_EQ(::mkdir(base.c_str(), 0755), 0);
    }
    cMemoryMap map;
    Fill(map, 3, 2000, 9);
    // A file name at the system's limit leaves no room for a longer
    // temporary name beside it.
    RecordingReport longName;
    const std::string longest = folder.File(std::string(251, 'n') + ".txi");
    EXPECT_TRUE(map.WriteImageFile(longest.c_str(), longName));
    EXPECT_TRUE(map.WriteImageFile(longest.c_str(), longName));
    EXPECT_TRUE(longName.messages.empty());
    EXPECT_EQ(folder.Read(std::string(251, 'n') + ".txi").size(), cMemoryMap::kImageFileSize);
    std::filesystem::remove(longest);
    for (const size_t length : {500u, 501u, 505u, 510u, 511u, 512u, 600u}) {
        ASSERT_GT(length, base.size() + 6);
        const std::string path = base + "/" + std::string(length - base.size() - 5, 'x') + ".txi";
        ASSERT_EQ(path.size(), length);
        RecordingReport report;
        ASSERT_TRUE(map.WriteImageFile(path.c_str(), report)) << length;
        ASSERT_TRUE(map.WriteImageFile(path.c_str(), report)) << length << " (replacing)";
        ASSERT_TRUE(map.ExportSlotWav(3, (path + ".wav").c_str(), report)) << length;
        cMemoryMap back;
        EXPECT_TRUE(back.ReadImageFile(path.c_str(), report)) << length;
        EXPECT_EQ(back.GetLength(3), 2000u);
        EXPECT_TRUE(report.messages.empty());
        RecordingReport bad;
        EXPECT_FALSE(map.ImportSlotWav(1, (path + ".missing").c_str(), bad));
        ASSERT_EQ(bad.messages.size(), 1u);
        EXPECT_EQ(bad.messages[0], "Trouble with " + path + ".missing\nCould not open file\n" + path +
                                       ".missing: No such file or directory");
        std::filesystem::remove(path);
        std::filesystem::remove(path + ".wav");
        EXPECT_EQ(FilesIn(folder.Path()), 0u) << length;
    }
}

TEST(ImageLock, WritersExcludeEachOtherAndReadersShare)
{
    TempFolder folder;
    const std::string path = folder.File("unit.txi");
    RecordingReport report;
    cMemoryMap map;
    ASSERT_TRUE(map.WriteImageFile(path.c_str(), report));

    CImageLock writer, second, reader1, reader2;
    ASSERT_TRUE(writer.Lock(path, CImageLock::kExclusive, report, 0));
    EXPECT_FALSE(second.Lock(path, CImageLock::kExclusive, report, 50));
    EXPECT_FALSE(reader1.Lock(path, CImageLock::kShared, report, 50));
    ASSERT_EQ(report.messages.size(), 2u);
    EXPECT_EQ(report.messages[0], path + " is in use by another program that is changing it.\n"
                                         "Nothing was done; try again when it has finished.");
    writer.Unlock();
    EXPECT_TRUE(reader1.Lock(path, CImageLock::kShared, report, 0));
    EXPECT_TRUE(reader2.Lock(path, CImageLock::kShared, report, 0));
    EXPECT_FALSE(second.Lock(path, CImageLock::kExclusive, report, 50));
    reader1.Unlock();
    reader2.Unlock();

    // A waiting writer gets the lock once the holder is done, and then on
    // the file the holder's save put there.
    ASSERT_TRUE(writer.Lock(path, CImageLock::kExclusive, report, 0));
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Fill(map, 1, 700, 1);
        RecordingReport r;
        map.WriteImageFile(path.c_str(), r);
        writer.Unlock();
    });
    EXPECT_TRUE(second.Lock(path, CImageLock::kExclusive, report, 20000));
    holder.join();
    CImageLock third;
    EXPECT_FALSE(third.Lock(path, CImageLock::kExclusive, report, 0)) << "the lock is on the file the path names";
    EXPECT_TRUE(third.Lock(folder.File("absent.txi"), CImageLock::kExclusive, report, 0));
}

TEST(UnitName, Utf8InLatin1Stored)
{
    // Letters of Latin-1 keep their one byte; characters are counted, not bytes.
    UnitName n = UnitNameFromUtf8("ABCDEFGHIJKLMN\xC3\x96P");
    EXPECT_EQ(n.latin1, "ABCDEFGHIJKLMN\xD6");
    EXPECT_TRUE(n.cut);
    EXPECT_FALSE(n.replaced || n.control);
    EXPECT_EQ(UnitNameToUtf8(n.latin1.c_str()), "ABCDEFGHIJKLMN\xC3\x96");

    n = UnitNameFromUtf8("Caf\xC3\xA9 \xE2\x82\xAC"
                         "5 \xF0\x9F\x94\x94");  // euro sign and a bell
    EXPECT_EQ(n.latin1, "Caf\xE9 ?5 ?");
    EXPECT_TRUE(n.replaced);
    EXPECT_FALSE(n.control);

    n = UnitNameFromUtf8("bad \xC3 \xFF \xC0\xAF end");  // cut, invalid and overlong sequences
    EXPECT_EQ(n.latin1, "bad ? ? ?? end");
    EXPECT_TRUE(n.replaced);

    for (const char* text : {"a\tb", "line\n", "\x7F", "x\xC2\x85"}) {
        n = UnitNameFromUtf8(text);
        EXPECT_TRUE(n.control) << text;
        EXPECT_EQ(n.latin1.find_first_of("\t\n\x7F"), std::string::npos);
    }
    // Stored names from any image come out as one piece of one line.
    EXPECT_EQ(UnitNameToUtf8("a\tb\n\x85\xFF"), "a?b??\xC3\xBF");
}
