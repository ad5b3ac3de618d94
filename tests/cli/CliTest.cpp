// ormid-cli end to end: the built program on real files, with WAV files made
// by sox.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempFolder.h"

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    // Runs a program with the arguments given, stdout and stderr into files.
    Result Exec(const std::string& program, const std::vector<std::string>& args)
    {
        const std::string outPath = folder.File(".stdout"), errPath = folder.File(".stderr");
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::chdir(folder.Path().c_str());
            ::execvp(program.c_str(), argv.data());
            _exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = folder.Read(".stdout");
        r.err = folder.Read(".stderr");
        return r;
    }
    Result Cli(const std::vector<std::string>& args) { return Exec(ORMID_BIN_DIR "/ormid-cli", args); }
    // A mu-law 8 kHz mono file of the given length, made by sox.
    void Sox(const std::string& name, const std::string& seconds,
             const std::vector<std::string>& format = {"-e", "u-law"})
    {
        std::vector<std::string> args{"-n", "-r", "8000"};
        args.insert(args.end(), format.begin(), format.end());
        args.insert(args.end(), {"-c", "1", folder.File(name), "synth", seconds, "sine", "440"});
        const Result r = Exec("sox", args);
        ASSERT_EQ(r.code, 0) << "sox is needed for these tests: " << r.err;
    }
    std::string Row(int slot, const std::string& name, const char* seconds, const std::string& count)
    {
        return std::string(slot < 10 ? "  " : " ") + std::to_string(slot) + "\t" + name + "\t" + seconds + " sec\t" +
               count + "\n";
    }
    std::string EmptyList()
    {
        std::string rows;
        for (int s = 1; s <= 8; ++s)
            rows += Row(s, "", "0.00", "1");
        return rows;
    }

    TempFolder folder;
};

}  // namespace

TEST_F(CliTest, NewAndList)
{
    const std::string image = folder.File("unit.txi");
    Result r = Cli({"new", image});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(folder.Read("unit.txi").size(), 4128776u);
    r = Cli({"list", image});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, EmptyList());

    // An existing file is kept unless --force is given.
    r = Cli({"new", image});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, image + " already exists; use --force to replace it.\n");
    EXPECT_EQ(Cli({"new", "--force", image}).code, 0);
}

TEST_F(CliTest, ImportSetExportDelete)
{
    const std::string image = folder.File("unit.txi");
    ASSERT_EQ(Cli({"new", image}).code, 0);
    Sox("Evacuation-North.wav", "1");
    Sox("short.wav", "0.5");
    Sox("long.wav", "2.5");

    Result r = Cli({"import", image, "3", folder.File("Evacuation-North.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Cli({"import", image, "1", "short.wav", "--name", "Lobby", "--count", "0"}).code, 0);
    EXPECT_EQ(Cli({"import", image, "8", "long.wav", "-c", "255"}).code, 0);
    r = Cli({"list", image});
    EXPECT_EQ(r.out, Row(1, "Lobby", "0.50", "C") + Row(2, "", "0.00", "1") + Row(3, "Evacuation-Nort", "1.00", "1") +
                         Row(4, "", "0.00", "1") + Row(5, "", "0.00", "1") + Row(6, "", "0.00", "1") +
                         Row(7, "", "0.00", "1") + Row(8, "long.wav", "2.50", "255"));

    // The exported samples are those sox wrote.
    r = Cli({"export", image, "3", "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string exported = folder.Read("out.wav");
    const std::string original = folder.Read("Evacuation-North.wav");
    ASSERT_EQ(exported.size(), 44u + 8000);
    EXPECT_EQ(exported.substr(44), original.substr(original.size() - 8000));

    EXPECT_EQ(Cli({"set", image, "3", "--name", "Fire exit, east wing", "--count", "4"}).code, 0);
    // Deleting the first message moves the later ones down; rows keep their data.
    EXPECT_EQ(Cli({"delete", image, "1"}).code, 0);
    r = Cli({"list", image});
    EXPECT_EQ(r.out, Row(1, "", "0.00", "1") + Row(2, "", "0.00", "1") + Row(3, "Fire exit, east", "1.00", "4") +
                         Row(4, "", "0.00", "1") + Row(5, "", "0.00", "1") + Row(6, "", "0.00", "1") +
                         Row(7, "", "0.00", "1") + Row(8, "long.wav", "2.50", "255"));
    r = Cli({"export", image, "3", "again.wav"});
    EXPECT_EQ(folder.Read("again.wav"), exported);
    // The slot's audio now starts where the deleted message started.
    const std::string file = folder.Read("unit.txi");
    EXPECT_EQ(file.substr(8 + 16, 3), std::string("\x00\x20\x00", 3));
}

TEST_F(CliTest, FailuresLeaveTheImageAlone)
{
    const std::string image = folder.File("unit.txi");
    ASSERT_EQ(Cli({"new", image}).code, 0);
    Sox("pcm.wav", "0.2", {"-e", "signed-integer", "-b", "16"});
    const std::string before = folder.Read("unit.txi");

    Result r = Cli({"import", image, "2", "pcm.wav"});
    EXPECT_EQ(r.code, 1);
    // The refusal, then the way to take the file anyway.
    EXPECT_EQ(r.err, "Trouble with pcm.wav\nWAVE format is not g.711 mono, 8kHz.\n"
                     "Found format = 1, channels = 1, rate = 8000\nTrouble with file header\n"
                     "ormid-cli: The file is 8000 Hz, 16-bit, 1 channel(s).\n"
                     "Add --convert to convert it to the unit's format (8 kHz mu-law, mono) on the way in.\n");
    r = Cli({"import", image, "2", "missing.wav"});
    EXPECT_EQ(r.code, 1);
    // The message, then the file and the reason in the form a script can match.
    EXPECT_EQ(r.err,
              "Trouble with missing.wav\nCould not open file\normid-cli: missing.wav: No such file or directory\n");
    EXPECT_EQ(folder.Read("unit.txi"), before);

    r = Cli({"list", "absent.txi"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Could not open file for reading.\normid-cli: absent.txi: No such file or directory\n");
    folder.Write("short.txi", before.substr(1));
    r = Cli({"delete", "short.txi", "1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Could not read file. Length is incorrect.\n");
    EXPECT_EQ(folder.Read("short.txi"), before.substr(1));

    // Wrong usage: exit 2 and nothing written.
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"frobnicate"},
        {"list"},
        {"delete", image, "0"},
        {"delete", image, "9"},
        {"delete", image, "two"},
        {"set", image, "1", "--count", "256"},
        {"set", image, "1", "--count", "-1"},
        {"set", image, "1"},
        {"import", image, "1"},
    };
    for (const auto& args : usage) {
        r = Cli(args);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]) << " " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(folder.Read("unit.txi"), before);
    EXPECT_EQ(Cli({"--help"}).code, 0);
}

// loudness: one line a slot as the panel's column reads; --match saves the
// image with every message at the target and says so per message; a target
// out of range changes nothing.
TEST_F(CliTest, LoudnessMeasuresAndMatches)
{
    const std::string image = folder.File("unit.txi");
    ASSERT_EQ(Cli({"new", image}).code, 0);
    Sox("tone.wav", "2");  // full scale: -3.7 LUFS at 440 Hz
    ASSERT_EQ(Cli({"import", image, "2", "tone.wav", "--name", "Loud"}).code, 0);
    Result r = Cli({"loudness", image});
    ASSERT_EQ(r.code, 0) << r.err;
    const size_t line = r.out.find("  2\tLoud\t");
    ASSERT_NE(line, std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" LUFS\t", line), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" dBTP\n", line), std::string::npos) << r.out;
    EXPECT_EQ(r.out.rfind("  1\t\t\t\n", 0), 0u) << r.out;

    const std::string before = folder.Read("unit.txi");
    r = Cli({"loudness", image, "--match", "3"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(folder.Read("unit.txi"), before);

    r = Cli({"loudness", image, "--match", "-24"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Message 2 reaches -24.0 LUFS (-", 0), 0u) << r.out;
    EXPECT_NE(folder.Read("unit.txi"), before);
    r = Cli({"loudness", image, "--json"});
    EXPECT_NE(r.out.find("{\"slot\": 2, \"name\": \"Loud\", \"lufs\": -24.0"), std::string::npos) << r.out;
    r = Cli({"list", image});
    EXPECT_NE(r.out.find(Row(2, "Loud", "2.00", "1")), std::string::npos) << r.out;
}
