// Replays every seed and every saved regression input of the fuzz targets
// through the very entry functions the fuzzers run: no input may break a
// check, and the seeds must reach both the accepting and the refusing paths
// of each target (otherwise the fuzzers would start from nowhere).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzEntries.h"
#include "FuzzInput.h"

namespace {

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string path = folder + "/" + entry->d_name;
            struct stat info;
            if (entry->d_name[0] != '.' && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
                files.push_back(path);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Tally {
    int files = 0;
    int accepted = 0;
};

Tally Replay(const FuzzTarget& target, const std::string& folder)
{
    Tally tally;
    for (const std::string& path : FilesIn(folder)) {
        const std::vector<uint8_t> bytes = Load(path);
        const FuzzOutcome outcome = target.run(bytes.data(), bytes.size());
        EXPECT_EQ(outcome.fault, "") << path;
        if (std::getenv("ORMID_FUZZ_REPLAY_VERBOSE"))
            std::printf("%s %s\n", outcome.accepted ? "accepted" : "refused ", path.c_str());
        tally.files++;
        tally.accepted += outcome.accepted ? 1 : 0;
    }
    return tally;
}

class FuzzReplay : public ::testing::TestWithParam<int> { };

}  // namespace

TEST_P(FuzzReplay, SeedsReachBothOutcomesAndBreakNoCheck)
{
    const FuzzTarget& target = kFuzzTargets[GetParam()];
    const Tally seeds = Replay(target, std::string(ORMID_FUZZ_SEED_DIR) + "/" + target.name);
    EXPECT_GE(seeds.files, 5) << "seed folder of " << target.name;
    EXPECT_GT(seeds.accepted, 0) << "no seed of " << target.name << " is accepted";
    EXPECT_LT(seeds.accepted, seeds.files) << "no seed of " << target.name << " is refused";
}

TEST_P(FuzzReplay, RegressionInputsBreakNoCheck)
{
    const FuzzTarget& target = kFuzzTargets[GetParam()];
    const std::string folder = std::string(ORMID_SOURCE_DIR) + "/tests/fuzz/corpus/" + target.name;
    Replay(target, folder);
    // Every target keeps its folder, even before anything was found.
    struct stat info;
    EXPECT_EQ(stat(folder.c_str(), &info), 0) << folder;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::Range(0, kFuzzTargetCount),
                         [](const auto& info) { return std::string(kFuzzTargets[info.param].name); });

// The same input runs the same way twice: saved crashes must reproduce.
TEST(FuzzReplayDeterminism, EveryTargetGivesTheSameOutcomeTwice)
{
    for (const FuzzTarget& target : kFuzzTargets) {
        for (const std::string& path : FilesIn(std::string(ORMID_FUZZ_SEED_DIR) + "/" + target.name)) {
            const std::vector<uint8_t> bytes = Load(path);
            const FuzzOutcome a = target.run(bytes.data(), bytes.size());
            const FuzzOutcome b = target.run(bytes.data(), bytes.size());
            EXPECT_EQ(a.accepted, b.accepted) << path;
            EXPECT_EQ(a.fault, b.fault) << path;
        }
    }
}

// Seeds that stand for a known case must keep meaning it: a padded odd chunk
// imports, a lying data size is refused by the import, a good unit completes
// a read and a write, a bad acknowledgement ends a write.
TEST(FuzzReplaySeeds, NamedSeedsHaveTheirOutcome)
{
    struct {
        int target;
        const char* file;
        bool accepted;
    } cases[] = {
        {0, "empty.bin", true},
        {0, "version_2.bin", false},
        {0, "one_byte_short.bin", false},
        {1, "unit_odd_chunk_padded.wav", true},
        {1, "unit_odd_data_last.wav", true},
        {1, "unit_data_claims_4g.wav", false},
        {2, "unit_data_claims_4g.wav", true},
        {2, "pcm16_8k.wav", false},
        {3, "read_good.bin", true},
        {3, "read_corrupt_reply.bin", false},
        {3, "read_table_past_end.bin", false},
        {3, "write_good.bin", true},
        {3, "write_bad_ack.bin", false},
        {3, "write_timeout.bin", false},
        {3, "write_no_timeouts.bin", true},
        {4, "pcm16_11025_speech.wav", true},
        {4, "pcm16_stereo.wav", false},
        {8, "convert_good.bin", true},
        {8, "convert_after_done.bin", false},
        {8, "probe_bad_rate.bin", false},
    };
    for (const auto& c : cases) {
        const FuzzTarget& target = kFuzzTargets[c.target];
        const std::string path = std::string(ORMID_FUZZ_SEED_DIR) + "/" + target.name + "/" + c.file;
        const std::vector<uint8_t> bytes = Load(path);
        ASSERT_FALSE(bytes.empty()) << path;
        const FuzzOutcome outcome = target.run(bytes.data(), bytes.size());
        EXPECT_EQ(outcome.accepted, c.accepted) << path;
        EXPECT_EQ(outcome.fault, "") << path;
    }
}

// Inputs are read little-endian and in order, whatever the compiler: a saved
// crash must mean the same run in the clang fuzz build and the gcc builds.
TEST(FuzzInputReader, ValuesAreLittleEndianInInputOrder)
{
    const uint8_t bytes[] = {0x34, 0x12, 0x56, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAB};
    FuzzInput in(bytes, sizeof bytes);
    EXPECT_EQ(in.U16(), 0x1234);
    EXPECT_EQ(in.U24(), 0x123456u);
    EXPECT_EQ(in.U32(), 0x12345678u);
    EXPECT_EQ(in.Left(), 1u);
    uint8_t rest[4] = {};
    EXPECT_EQ(in.Bytes(rest, sizeof rest), 1u);
    EXPECT_EQ(rest[0], 0xAB);
    // Past the end every value is 0.
    EXPECT_TRUE(in.Empty());
    EXPECT_EQ(in.U32(), 0u);
}
