// Image files: save, load, refusals, and saves that fail.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/resource.h>

#include "RecordingReport.h"
#include "TempFolder.h"
#include "cMemoryMap.h"

namespace {

void Fill(cMemoryMap& map, uint8_t slot, uint32_t n, uint8_t seed)
{
    map.ClearSlot(slot);
    uint8_t* at = map.AllocateAtEnd(slot);
    for (uint32_t i = 0; i < n; ++i)
        at[i] = uint8_t(seed + i * 5);
    map.SetLength(slot, n);
    map.MarkSectorsNeeded(slot);
}

// Everything a load may change: image bytes, live table, needed flags.
struct Snapshot {
    explicit Snapshot(const cMemoryMap& map)
        : image(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize),
          table(map.GetTable(), map.GetTable() + 192)
    {
        for (uint8_t s = 0; s < 70; ++s)
            needed.push_back(map.IsSectorNeeded(s));
    }
    bool operator==(const Snapshot& o) const { return image == o.image && table == o.table && needed == o.needed; }
    std::vector<uint8_t> image, table;
    std::vector<bool> needed;
};

std::vector<uint8_t> NeededSectors(const cMemoryMap& map)
{
    std::vector<uint8_t> out;
    for (uint8_t s = 0; s < 70; ++s)
        if (map.IsSectorNeeded(s))
            out.push_back(s);
    return out;
}

}  // namespace

TEST(ImageFile, SaveAndLoadRoundTrip)
{
    TempFolder folder;
    const std::string path = folder.File("Shop.txi");
    RecordingReport report;
    cMemoryMap map;
    Fill(map, 2, 20000, 1);
    Fill(map, 6, 100000, 2);
    map.SetName(2, "Lobby");
    map.SetPlayCount(2, 0);
    ASSERT_TRUE(map.WriteImageFile(path.c_str(), report));
    EXPECT_TRUE(report.messages.empty());

    const std::string file = folder.Read("Shop.txi");
    ASSERT_EQ(file.size(), 4128776u);
    EXPECT_EQ(file.substr(0, 4), std::string("\1\0\0\0", 4));
    EXPECT_EQ(0, std::memcmp(file.data() + 8, map.GetTable(), 192));
    EXPECT_EQ(0, std::memcmp(file.data() + 8, map.GetImageBuffer(), cMemoryMap::kImageSize));

    cMemoryMap loaded;
    ASSERT_TRUE(loaded.ReadImageFile(path.c_str(), report));
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(0, std::memcmp(loaded.GetTable(), map.GetTable(), 192));
    EXPECT_EQ(0, std::memcmp(loaded.GetImageBuffer(), map.GetImageBuffer(), cMemoryMap::kImageSize));
    EXPECT_STREQ(loaded.GetName(2), "Lobby");
    // Slot 2 lies in sectors 1-3, slot 6 runs on to sector 8.
    EXPECT_EQ(NeededSectors(loaded), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    // Saving again replaces the file and leaves no temporary file behind.
    map.SetName(6, "Second");
    ASSERT_TRUE(map.WriteImageFile(path.c_str(), report));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);
    ASSERT_TRUE(loaded.ReadImageFile(path.c_str(), report));
    EXPECT_STREQ(loaded.GetName(6), "Second");

    // Saving through a symbolic link replaces the file it points to.
    const std::string link = folder.File("link.txi");
    std::filesystem::create_symlink(path, link);
    map.SetName(6, "Third");
    ASSERT_TRUE(map.WriteImageFile(link.c_str(), report));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    ASSERT_TRUE(loaded.ReadImageFile(path.c_str(), report));
    EXPECT_STREQ(loaded.GetName(6), "Third");
}

TEST(ImageFile, ReservedBytesAreNotInterpreted)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap map;
    Fill(map, 0, 300, 7);
    ASSERT_TRUE(map.WriteImageFile(folder.File("a.txi").c_str(), report));
    std::string file = folder.Read("a.txi");
    file.replace(4, 4, "\xDE\xAD\xBE\xEF");
    folder.Write("a.txi", file);
    cMemoryMap loaded;
    ASSERT_TRUE(loaded.ReadImageFile(folder.File("a.txi").c_str(), report));
    EXPECT_EQ(loaded.GetLength(0), 300u);
}

TEST(ImageFile, RefusedLoadsChangeNothing)
{
    TempFolder folder;
    RecordingReport report;
    cMemoryMap source;
    Fill(source, 1, 5000, 3);
    ASSERT_TRUE(source.WriteImageFile(folder.File("good.txi").c_str(), report));
    const std::string good = folder.Read("good.txi");

    struct Case {
        const char* title;
        std::string bytes;    // empty: do not create the file
        const char* message;  // nullptr: no message
    };
    const std::string v2 = std::string("\2\0\0\0", 4) + good.substr(4);
    const std::vector<Case> cases = {
        {"missing file", "", nullptr},
        {"one byte short", good.substr(0, good.size() - 1), "Could not read file. Length is incorrect."},
        {"one byte long", good + "x", "Could not read file. Length is incorrect."},
        {"empty file", std::string(), nullptr},
        {"version 2", v2, "Could not read file. Version information is incorrect."},
    };
    for (const Case& c : cases) {
        cMemoryMap map;
        Fill(map, 4, 12345, 9);
        map.SetName(4, "unchanged");
        const Snapshot before(map);
        const std::string path = folder.File("case.txi");
        std::filesystem::remove(path);
        if (!c.bytes.empty() || (c.message == nullptr && std::string(c.title) != "missing file"))
            folder.Write("case.txi", c.bytes);
        RecordingReport r;
        EXPECT_FALSE(map.ReadImageFile(path.c_str(), r)) << c.title;
        if (std::string(c.title) == "missing file") {
            // The message, then the file and the system's reason.
            ASSERT_EQ(r.messages.size(), 1u);
            EXPECT_EQ(r.messages[0], "Could not open file for reading.\n" + path + ": No such file or directory");
        } else if (c.message == nullptr) {
            // An empty file has the wrong length like any other.
            ASSERT_EQ(r.messages.size(), 1u) << c.title;
            EXPECT_EQ(r.messages[0], "Could not read file. Length is incorrect.");
        } else {
            ASSERT_EQ(r.messages.size(), 1u) << c.title;
            EXPECT_EQ(r.messages[0], c.message) << c.title;
        }
        EXPECT_TRUE(Snapshot(map) == before) << c.title;
    }
    cMemoryMap map;
    RecordingReport r;
    EXPECT_FALSE(map.ReadImageFile(folder.Path().c_str(), r));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "Could not open file for reading.\n" + folder.Path() + ": Is a directory");
}

TEST(ImageFile, FailedSavesKeepTheOldFile)
{
    TempFolder folder;
    const std::string path = folder.File("keep.txi");
    RecordingReport report;
    cMemoryMap old;
    Fill(old, 0, 777, 1);
    ASSERT_TRUE(old.WriteImageFile(path.c_str(), report));
    const std::string before = folder.Read("keep.txi");

    cMemoryMap map;
    Fill(map, 5, 50000, 2);

    // The file system refuses to grow the file part way through.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved1 = map.WriteImageFile(path.c_str(), report);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved1);
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], path + ": " + std::strerror(EFBIG));
    EXPECT_EQ(folder.Read("keep.txi"), before);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);

    // A path that cannot be opened for writing at all.
    report.messages.clear();
    EXPECT_FALSE(map.WriteImageFile((folder.Path() + "/absent/x.txi").c_str(), report));
    EXPECT_FALSE(map.WriteImageFile(folder.Path().c_str(), report));
    ASSERT_EQ(report.messages.size(), 2u);
    EXPECT_EQ(report.messages[0],
              "Could not open file for writing.\n" + folder.Path() + "/absent/x.txi: No such file or directory");
    EXPECT_EQ(report.messages[1], "Could not open file for writing.\n" + folder.Path() + ": Is a directory");
    EXPECT_EQ(folder.Read("keep.txi"), before);
}
