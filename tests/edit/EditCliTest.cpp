// ormid-cli silence and append: the built program on real image files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ExecProgram.h"
#include "EditFakes.h"
#include "TempFolder.h"
#include "TestImages.h"

namespace {

struct Result {
    int code = -1;
    std::string err;
};

class EditCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        image = folder.File("unit.txi");
        // Slot 3 "Lobby" played 4 times with 8000 bytes, slot 1 after it.
        cMemoryMap map;
        Fill(map, 2, 8000, 7);
        map.SetName(2, "Lobby");
        map.SetPlayCount(2, 4);
        Fill(map, 0, 3000, 8);
        RecordingReport report;
        ASSERT_TRUE(map.WriteImageFile(image.c_str(), report));
    }
    Result Cli(const std::vector<std::string>& args)
    {
        const std::string errPath = folder.File(".stderr");
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = ::open("/dev/null", O_WRONLY);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (::chdir(folder.Path().c_str()) != 0)
                _exit(126);
            ExecProgram("ormid-cli", args);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = folder.Read(".stderr");
        return r;
    }
    void Load(cMemoryMap& map)
    {
        RecordingReport report;
        ASSERT_TRUE(map.ReadImageFile(image.c_str(), report));
    }
    std::vector<uint8_t> SlotAudio(const cMemoryMap& map, uint8_t slot)
    {
        const uint8_t* at = map.GetImageBuffer() + map.GetStart(slot);
        return std::vector<uint8_t>(at, at + map.GetLength(slot));
    }

    TempFolder folder;
    std::string image;
};

}  // namespace

TEST_F(EditCliTest, SilenceKeepsNameAndCount)
{
    cMemoryMap before;
    Load(before);
    const auto other = SlotAudio(before, 0);
    Result r = Cli({"silence", image, "3", "250"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    cMemoryMap map;
    Load(map);
    EXPECT_EQ(SlotAudio(map, 2), std::vector<uint8_t>(2000, 0xFF));
    EXPECT_STREQ(map.GetName(2), "Lobby");
    EXPECT_EQ(map.GetPlayCount(2), 4);
    EXPECT_EQ(SlotAudio(map, 0), other);

    // Out of range: a usage error; the image is left alone.
    const std::string file = folder.Read("unit.txi");
    EXPECT_EQ(Cli({"silence", image, "3", "1001"}).code, 2);
    EXPECT_EQ(Cli({"silence", image, "3", "-1"}).code, 2);
    EXPECT_EQ(Cli({"silence", image, "9", "10"}).code, 2);
    EXPECT_EQ(Cli({"silence", image, "3"}).code, 2);
    EXPECT_EQ(folder.Read("unit.txi"), file);
    r = Cli({"silence", folder.File("none.txi"), "3", "10"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Could not open file for reading.\normid-cli: " + folder.File("none.txi") +
                         ": No such file or directory\n");
}

TEST_F(EditCliTest, SilenceThatDoesNotFitIsRefused)
{
    // An image with 4045 bytes of room once slot 3 is emptied.
    {
        cMemoryMap map;
        Fill(map, 2, 1000, 1);
        Fill(map, 0, 0x3F0000 - 0x2000 - 4044, 2);
        RecordingReport report;
        ASSERT_EQ(map.GetRoomLeftWithout(2), 4045u);
        ASSERT_TRUE(map.WriteImageFile(image.c_str(), report));
    }
    const std::string file = folder.Read("unit.txi");
    Result r = Cli({"silence", image, "3", "501"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Cannot make 501 ms of silence: at most 500 ms fit in this slot.\n");
    EXPECT_EQ(folder.Read("unit.txi"), file);
    r = Cli({"silence", image, "3", "500"});
    EXPECT_EQ(r.code, 0) << r.err;
    cMemoryMap map;
    Load(map);
    EXPECT_EQ(map.GetLength(2), 4000u);
    EXPECT_EQ(map.GetRoomLeft(), 45u);
}

TEST_F(EditCliTest, AppendJoinsTheFileToTheSlot)
{
    cMemoryMap before;
    Load(before);
    const auto old = SlotAudio(before, 2);
    const auto more = Samples(4321, 3);
    WriteUnitWav(folder.File("more.wav"), more);
    Result r = Cli({"append", image, "3", "more.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    cMemoryMap map;
    Load(map);
    EXPECT_EQ(SlotAudio(map, 2), Join(old, more));
    EXPECT_STREQ(map.GetName(2), "Lobby");
    EXPECT_EQ(map.GetPlayCount(2), 4);
    EXPECT_EQ(SlotAudio(map, 0), SlotAudio(before, 0));
}

TEST_F(EditCliTest, AppendRefusalsLeaveTheImage)
{
    const std::string file = folder.Read("unit.txi");
    ASSERT_TRUE(Sox("-n -r 44100 -e signed -b 16 -c 2 " + folder.File("cd.wav") + " synth 0.5 sine 440"));
    Result r = Cli({"append", image, "3", "cd.wav"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Trouble with cd.wav\nWAVE format is not g.711 mono, 8kHz.\n"
                     "Found format = 1, channels = 2, rate = 44100\nTrouble with file header\n"
                     "ormid-cli: The file is 44100 Hz, 16-bit, 2 channel(s).\n"
                     "Add --convert to convert it to the unit's format (8 kHz mu-law, mono) on the way in.\n");
    r = Cli({"append", image, "3", "missing.wav"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "Trouble with missing.wav\nCould not open file\normid-cli: missing.wav: No such file or directory\n");
    folder.Write("text.wav", "RIFF but not really");
    EXPECT_EQ(Cli({"append", image, "3", "text.wav"}).code, 1);
    EXPECT_EQ(Cli({"append", image, "3"}).code, 2);
    EXPECT_EQ(folder.Read("unit.txi"), file);

    // --convert, or --yes, takes it: half a second at 8 kHz.
    r = Cli({"append", image, "3", "cd.wav", "--convert"});
    ASSERT_EQ(r.code, 0) << r.err;
    cMemoryMap map;
    Load(map);
    EXPECT_EQ(map.GetLength(2), 8000u + 4000);
    r = Cli({"--yes", "append", image, "3", "cd.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    Load(map);
    EXPECT_EQ(map.GetLength(2), 8000u + 8000);
}
