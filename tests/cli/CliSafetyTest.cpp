// ormid-cli against FIFOs, parallel runs, names outside ASCII, existing files
// and unwritable output; and the info and --json output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CLogFile.h"
#include "RequireRealPart.h"
#include "SmallTmpfs.h"
#include "TempFolder.h"

using namespace std::string_literals;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class CliSafetyTest : public ::testing::Test {
protected:
    // Starts ormid-cli (under `timeout`, so that a hang fails instead of
    // stopping the run) with stdout into a file or the given path.
    pid_t Start(const std::vector<std::string>& args, const std::string& tag, const std::string& stdoutPath = "",
                const std::string& stdinPath = "")
    {
        const std::string outPath = stdoutPath.empty() ? folder.File(tag + ".stdout") : stdoutPath;
        const std::string errPath = folder.File(tag + ".stderr");
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (!stdinPath.empty()) {
                const int in = ::open(stdinPath.c_str(), O_RDONLY);
                ::dup2(in, 0);
            }
            ::setenv("ORMID_WORKING_FOLDER", work.Path().c_str(), 1);
            std::vector<std::string> all{"timeout", "60", ORMID_BIN_DIR "/ormid-cli"};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& a : all)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            ::chdir(folder.Path().c_str());
            ::execvp("timeout", argv.data());
            _exit(127);
        }
        return pid;
    }
    Result Finish(pid_t pid, const std::string& tag)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = folder.Read(tag + ".stdout");
        r.err = folder.Read(tag + ".stderr");
        return r;
    }
    Result Cli(const std::vector<std::string>& args, const std::string& stdoutPath = "",
               const std::string& stdinPath = "")
    {
        return Finish(Start(args, "run", stdoutPath, stdinPath), "run");
    }
    // A mu-law 8 kHz mono file of the given length, made by sox.
    void Sox(const std::string& name, const char* seconds)
    {
        const std::string command =
            "sox -n -r 8000 -e u-law -c 1 '" + folder.File(name) + "' synth " + seconds + " sine 440 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << "sox is needed for these tests";
    }
    void NewImage() { ASSERT_EQ(Cli({"new", image}).code, 0); }

    TempFolder folder;
    TempFolder work;  // the program's working folder: INI file and log
    std::string image = folder.File("unit.txi");
};

}  // namespace

TEST_F(CliSafetyTest, FifosAreRefusedNotWaitedFor)
{
    NewImage();
    const std::string before = folder.Read("unit.txi");
    ASSERT_EQ(::mkfifo(folder.File("some.fifo").c_str(), 0644), 0);
    Result r = Cli({"list", "some.fifo"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Could not open file for reading.\normid-cli: some.fifo: not a regular file\n");
    r = Cli({"import", image, "1", "some.fifo"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Trouble with some.fifo\nCould not open file\normid-cli: some.fifo: not a regular file\n");
    r = Cli({"info", "some.fifo"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(folder.Read("unit.txi"), before);
}

TEST_F(CliSafetyTest, ExportAsksBeforeReplacingAndNeverWritesItsImage)
{
    NewImage();
    Sox("one.wav", "0.25");
    Sox("two.wav", "0.5");
    ASSERT_EQ(Cli({"import", image, "1", "one.wav"}).code, 0);
    ASSERT_EQ(Cli({"import", image, "2", "two.wav"}).code, 0);
    const std::string before = folder.Read("unit.txi");

    ASSERT_EQ(Cli({"export", image, "1", "out.wav"}).code, 0);
    EXPECT_EQ(folder.Read("out.wav").size(), 44u + 2000);
    Result r = Cli({"export", image, "2", "out.wav"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "out.wav already exists; use --force to replace it.\n");
    EXPECT_EQ(folder.Read("out.wav").size(), 44u + 2000);
    r = Cli({"--yes", "export", image, "2", "out.wav"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "out.wav already exists. Replace it? Yes\n");
    EXPECT_EQ(folder.Read("out.wav").size(), 44u + 4000);
    EXPECT_EQ(Cli({"export", image, "1", "out.wav", "--force"}).code, 0);
    EXPECT_EQ(folder.Read("out.wav").size(), 44u + 2000);

    // Its own image, also by another name, is never the target.
    ASSERT_EQ(::symlink(image.c_str(), folder.File("alias.txi").c_str()), 0);
    for (const char* target : {"unit.txi", "alias.txi"}) {
        r = Cli({"export", image, "1", target, "--force"});
        EXPECT_EQ(r.code, 1) << target;
        EXPECT_EQ(r.err, std::string(target) + " is the image file being read; choose another file for the WAV.\n");
    }
    EXPECT_EQ(folder.Read("unit.txi"), before);
}

TEST_F(CliSafetyTest, ParallelImportsKeepEveryChange)
{
    NewImage();
    for (int slot = 1; slot <= 8; ++slot)
        Sox("m" + std::to_string(slot) + ".wav", "0.5");
    // Eight commands at once, each into its own slot: every one must land.
    std::vector<pid_t> running;
    for (int slot = 1; slot <= 8; ++slot) {
        const std::string n = std::to_string(slot);
        running.push_back(Start({"import", image, n, "m" + n + ".wav"}, "import" + n));
    }
    for (int slot = 1; slot <= 8; ++slot) {
        const Result r = Finish(running[size_t(slot - 1)], "import" + std::to_string(slot));
        EXPECT_EQ(r.code, 0) << r.err;
    }
    const Result list = Cli({"list", image});
    for (int slot = 1; slot <= 8; ++slot)
        EXPECT_NE(list.out.find("\tm" + std::to_string(slot) + ".wav\t0.50 sec\t1\n"), std::string::npos) << list.out;
}

TEST_F(CliSafetyTest, NamesAreLatin1InsideAndUtf8Outside)
{
    NewImage();
    Sox("Übung-Süd.wav", "0.25");
    ASSERT_EQ(Cli({"import", image, "1", "Übung-Süd.wav"}).code, 0);
    Result r = Cli({"set", image, "2", "--name", "ABCDEFGHIJKLMNÖP"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    r = Cli({"set", image, "3", "--name", "Ausgang → Nord"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "The unit cannot store some characters of the name; they were stored as '?': Ausgang ? Nord\n");
    const std::string before = folder.Read("unit.txi");
    for (const char* bad : {"tab\there", "two\nlines"}) {
        r = Cli({"set", image, "4", "--name", bad});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_EQ(r.err, "A message name cannot hold control characters such as tab or newline.\n");
    }
    EXPECT_EQ(folder.Read("unit.txi"), before);

    // Stored as one byte a character, as the panel reads them.
    const std::string file = folder.Read("unit.txi");
    EXPECT_EQ(file.substr(8 + 64, 14), "\xDC"
                                       "bung-S\xFC"
                                       "d.wav\0"s.substr(0, 14));
    EXPECT_EQ(file.substr(8 + 64 + 16, 16), std::string("ABCDEFGHIJKLMN\xD6\0", 16));
    r = Cli({"list", image});
    EXPECT_NE(r.out.find("  1\tÜbung-Süd.wav\t0.25 sec\t1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  2\tABCDEFGHIJKLMNÖ\t0.00 sec\t1\n"), std::string::npos) << r.out;
    r = Cli({"list", "--json", image});
    EXPECT_NE(r.out.find("{\"slot\": 3, \"name\": \"Ausgang ? Nord\", \"length\": 0, \"seconds\": 0.000, "
                         "\"playCount\": 1, \"continuous\": false}"),
              std::string::npos)
        << r.out;
}

TEST_F(CliSafetyTest, InfoShowsPlacementChecksumsAndSectors)
{
    NewImage();
    Sox("a.wav", "2");
    Sox("b.wav", "1");
    ASSERT_EQ(Cli({"import", image, "4", "a.wav"}).code, 0);
    ASSERT_EQ(Cli({"import", image, "2", "b.wav", "--count", "0"}).code, 0);
    // Spoil slot 2's stored checksum in the file.
    std::string file = folder.Read("unit.txi");
    file[8 + 8 * 1 + 7] = char(file[8 + 8 * 1 + 7] + 1);
    folder.Write("unit.txi", file);

    Result r = Cli({"info", image});
    ASSERT_EQ(r.code, 0) << r.err;
    // Slot 4: 16000 bytes from 0x2000 (sectors 1-2); slot 2 after it to 0x7DBF (sectors 2-3).
    EXPECT_NE(r.out.find("   4  0x002000     16000  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("   2  0x005E80      8000  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(!)  2-3      b.wav\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Last used address: 0x007DBF\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Room left: 4096577 bytes (512.07 sec)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Sectors marked for writing (4): 0 1 2 3\n"), std::string::npos) << r.out;

    r = Cli({"info", image, "--json"});
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("{\"slot\": 2, \"name\": \"b.wav\", \"start\": 24192, \"length\": 8000, \"playCount\": 0, "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"checksumOk\": false, \"firstSector\": 2, \"lastSector\": 3, \"sectors\": 2}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"firstSector\": null"), std::string::npos);
    EXPECT_NE(
        r.out.find("\"lastUsedAddress\": 32191, \"roomLeft\": 4096577, \"sectorsMarkedForWriting\": [0, 1, 2, 3]}"),
        std::string::npos)
        << r.out;
}

TEST_F(CliSafetyTest, FailuresAreNamedAndReported)
{
    NewImage();
    Result r = Cli({"frobnicate", image});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Unknown command: frobnicate\nRun with --help for the list of commands.\n");
    r = Cli({"list", image}, "/dev/full");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Could not write the output: No space left on device\n");
    r = Cli({"info", image}, "/dev/full");
    EXPECT_EQ(r.code, 1);
}

// The command line appends to a log of its own; the panel's log, open beside
// it, keeps every line; help, version and completion open no log at all; a
// log that is a symbolic link is never followed.
TEST_F(CliSafetyTest, ProgramLogLeavesThePanelsLog)
{
    NewImage();
    EXPECT_FALSE(std::filesystem::exists(work.File("ormid-cli.log")));
    work.Write("TXDoruvevAzad.ini", "[DEBUG]\nLog=1\n");
    CLogFile panel;
    ASSERT_TRUE(panel.Open("ORMID.log", work.Path()));
    panel.Write("panel before");
    for (const char* quiet : {"--help", "--version"})
        EXPECT_EQ(Cli({quiet}).code, 0) << quiet;
    EXPECT_FALSE(std::filesystem::exists(work.File("ormid-cli.log")));
    ASSERT_EQ(Cli({"list", image}).code, 0);
    EXPECT_EQ(Cli({"info", folder.File("missing.txi")}).code, 1);
    panel.Write("panel after");
    panel.Close();

    const std::string mine = work.Read("ORMID.log");
    EXPECT_EQ(mine.find('\0'), std::string::npos);
    for (const char* line : {" - Log open\r\n", " - panel before\r\n", " - panel after\r\n", " - Log close\r\n"})
        EXPECT_NE(mine.find(line), std::string::npos) << line << mine;
    EXPECT_EQ(mine.find("ormid-cli"), std::string::npos) << mine;
    const std::string cli = work.Read("ormid-cli.log");
    EXPECT_NE(cli.find(" list " + image + "\r\n"), std::string::npos) << cli;
    EXPECT_NE(cli.find(" info "), std::string::npos) << cli;
    size_t opens = 0;
    for (size_t at = cli.find(" - Log open\r\n"); at != std::string::npos; at = cli.find(" - Log open\r\n", at + 1))
        ++opens;
    EXPECT_EQ(opens, 2u) << cli;

    work.Write("victim.txt", "keep me");
    ASSERT_EQ(::unlink(work.File("ormid-cli.log").c_str()), 0);
    ASSERT_EQ(::symlink(work.File("victim.txt").c_str(), work.File("ormid-cli.log").c_str()), 0);
    EXPECT_EQ(Cli({"list", image}).code, 0);
    EXPECT_EQ(work.Read("victim.txt"), "keep me");
}

// convert and print --pdf replace their output like export: only with
// --force (or --yes), never a FIFO, device or folder, through a temporary
// file that keeps the old file's links, owner and mode.
TEST_F(CliSafetyTest, ConvertAndPrintReplaceOnlyRegularFilesWhenAllowed)
{
    NewImage();
    Sox("in.wav", "1");
    ASSERT_EQ(::mkfifo(folder.File("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mknod(folder.File("device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mkdir(folder.File("folder").c_str(), 0755), 0);
    struct Command {
        std::vector<std::string> args;  // the output path follows
    };
    const Command commands[] = {
        {{"convert", "in.wav"}}, {{"print-listing", image, "--pdf"}}, {{"print-labels", image, "--pdf"}}};
    for (const Command& c : commands) {
        auto run = [&](const std::string& out, bool force) {
            std::vector<std::string> args = c.args;
            args.push_back(out);
            if (force)
                args.push_back("--force");
            return Cli(args);
        };
        // Special files are refused even with --force, and stay what they are.
        for (const char* special : {"fifo", "device", "folder"}) {
            const Result r = run(special, true);
            EXPECT_EQ(r.code, 1) << c.args[0] << " " << special;
            EXPECT_NE(r.err.find("ormid-cli: "s + special + ": "), std::string::npos) << r.err;
        }
        struct stat st;
        EXPECT_TRUE(::stat(folder.File("fifo").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
        EXPECT_TRUE(::stat(folder.File("device").c_str(), &st) == 0 && S_ISCHR(st.st_mode));

        // An existing file needs --force; then a link is followed, a second
        // name kept, owner and mode kept.
        folder.Write("old.out", "old");
        ASSERT_EQ(::chown(folder.File("old.out").c_str(), 1234, 5678), 0);
        ASSERT_EQ(::chmod(folder.File("old.out").c_str(), 0600), 0);
        ::unlink(folder.File("second").c_str());
        ::unlink(folder.File("link").c_str());
        ASSERT_EQ(::link(folder.File("old.out").c_str(), folder.File("second").c_str()), 0);
        ASSERT_EQ(::symlink("old.out", folder.File("link").c_str()), 0);
        Result r = run("link", false);
        EXPECT_EQ(r.code, 1) << c.args[0];
        EXPECT_EQ(r.err, "link already exists; use --force to replace it.\n");
        EXPECT_EQ(folder.Read("old.out"), "old");
        r = run("link", true);
        EXPECT_EQ(r.code, 0) << c.args[0] << r.err;
        const std::string made = folder.Read("second");
        EXPECT_GT(made.size(), 44u) << c.args[0];
        EXPECT_EQ(folder.Read("old.out"), made);
        ASSERT_EQ(::lstat(folder.File("link").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_EQ(::stat(folder.File("old.out").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        // A name at the system's limit.
        r = run(std::string(252, 'n'), false);
        EXPECT_EQ(r.code, 0) << c.args[0] << r.err;
        EXPECT_EQ(folder.Read(std::string(252, 'n')).size() > 44, true);
        ::unlink(folder.File(std::string(252, 'n')).c_str());
    }
    // A file that is not there is named with the reason.
    const Result r = Cli({"convert", "nosuch.wav", "x.wav"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ormid-cli: nosuch.wav: No such file or directory\n");
}

// Every writing command on a full disk fails and leaves every old file byte
// for byte; read refuses before it asks the unit for anything.
TEST_F(CliSafetyTest, AFullDiskLeavesEveryOldFile)
{
    SmallTmpfs disk;
    REQUIRE_REAL_PART("a tmpfs", disk.Missing());
    NewImage();
    Sox("in.wav", "1");
    ASSERT_EQ(Cli({"import", image, "1", "in.wav"}).code, 0);
    const std::string target = disk.File("unit.txi");
    ASSERT_EQ(Cli({"new", target}).code, 0);
    for (const char* name : {"out.wav", "out.pdf"})
        disk.Write(name, std::string(100000, 'o'));
    const std::string imageBefore = disk.Read("unit.txi"), old = disk.Read("out.wav");
    disk.Fill();
    const std::vector<std::vector<std::string>> commands = {
        {"import", target, "2", "in.wav"},
        {"silence", target, "3", "500"},
        {"export", image, "1", disk.File("out.wav"), "--force"},
        {"convert", "in.wav", disk.File("out.wav"), "--force"},
        {"print-listing", image, "--pdf", disk.File("out.pdf"), "--force"},
        {"print-labels", image, "--pdf", disk.File("out.pdf"), "--force"},
    };
    for (const std::vector<std::string>& args : commands) {
        const Result r = Cli(args);
        EXPECT_EQ(r.code, 1) << args[0] << r.err;
        EXPECT_NE(r.err.find(": No space left on device"), std::string::npos) << args[0] << r.err;
        EXPECT_TRUE(disk.Read("unit.txi") == imageBefore) << args[0];
        EXPECT_TRUE(disk.Read("out.wav") == old && disk.Read("out.pdf") == old) << args[0];
    }
    // A read that could not be saved is refused at once, before the port.
    const Result r = Cli({"read", "--port", "/dev/no-such-port", target});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Cannot write " + target + "; nothing was read from the unit.\normid-cli: " + target +
                         ": No space left on device\n");
}

// info flags every table entry outside the audio area or over another one.
TEST_F(CliSafetyTest, InfoFlagsMisplacedEntries)
{
    NewImage();
    std::string file = folder.Read("unit.txi");
    auto entry = [&](int slot, uint32_t start, uint32_t length) {
        for (int i = 0; i < 3; ++i) {
            file[8 + 8 * slot + i] = char(start >> (8 * i));
            file[8 + 8 * slot + 3 + i] = char(length >> (8 * i));
        }
    };
    entry(0, 0x100, 0x2000);  // starts in the table
    entry(1, 0x3000, 0x1000);
    entry(2, 0x3800, 0x100);  // inside slot 2's audio
    entry(3, 0x5000, 0x100);  // fine
    folder.Write("unit.txi", file);
    const Result r = Cli({"info", image});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("  (!) outside the audio area\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  (!) overlaps slot 3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  (!) overlaps slot 2\n"), std::string::npos) << r.out;
    size_t flags = 0;
    for (size_t at = r.out.find("  (!) "); at != std::string::npos; at = r.out.find("  (!) ", at + 1))
        ++flags;
    EXPECT_EQ(flags, 3u) << r.out;
}

// "-" reads standard input (an image, an audio file) and writes standard
// output (a WAV); an image from standard input is never changed, and no file
// named "-" appears.
TEST_F(CliSafetyTest, DashIsStandardInputOrOutput)
{
    NewImage();
    Sox("tone.wav", "0.5");
    ASSERT_EQ(Cli({"import", image, "1", "tone.wav"}).code, 0);
    ASSERT_EQ(Cli({"export", image, "1", "file.wav"}).code, 0);
    const std::string piped = folder.File("piped.wav");

    struct Case {
        std::vector<std::string> args;
        std::string in;
        int code;
        std::string err;  // part of what stderr says
    };
    const Case cases[] = {
        {{"export", image, "1", "-"}, "", 0, ""},
        {{"export", "-", "1", "-"}, image, 0, ""},
        {{"convert", "-", "-"}, folder.File("tone.wav"), 0, ""},
        {{"import", image, "2", "-"}, folder.File("tone.wav"), 0, ""},
        {{"import", "-", "3", "tone.wav"}, image, 2, "cannot be changed"},
        {{"delete", "-", "1"}, image, 2, "cannot be changed"},
        {{"new", "-"}, "", 2, "cannot be changed"},
    };
    for (const Case& c : cases) {
        const Result r = Cli(c.args, piped, c.in);
        const std::string what = c.args[0] + " " + c.args[1];
        EXPECT_EQ(r.code, c.code) << what << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << what << ": " << r.err;
        if (c.args[0] == "export" && c.code == 0)
            EXPECT_TRUE(folder.Read("piped.wav") == folder.Read("file.wav")) << what;
        if (c.args[0] == "convert")
            EXPECT_EQ(folder.Read("piped.wav").substr(0, 4), "RIFF") << what;
    }
    EXPECT_EQ(::access(folder.File("-").c_str(), F_OK), -1) << "no file named -";
    const Result list = Cli({"list", "-"}, "", image);
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("tone"), std::string::npos) << list.out;
}

// The PDF of a printout is never written over the image being printed.
TEST_F(CliSafetyTest, PrintingOntoTheImageIsRefused)
{
    NewImage();
    const std::string before = folder.Read("unit.txi");
    for (const char* command : {"print-listing", "print-labels"}) {
        const Result r = Cli({command, image, "--pdf", image, "--force"});
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_EQ(r.err, image + " is the image file being read; choose another file for the PDF.\n") << command;
        EXPECT_TRUE(folder.Read("unit.txi") == before) << command;
    }
}

// An option the program does not know is named, wherever it stands.
TEST_F(CliSafetyTest, UnknownOptionsAreNamed)
{
    NewImage();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus", "list", image}, std::vector<std::string>{"-q", "list", image},
          std::vector<std::string>{"list", "--bogus", image}, std::vector<std::string>{"list", image, "--bogus=3"}}) {
        const Result r = Cli(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args[1];
        std::string option;
        for (const std::string& arg : args)
            if (option.empty() && arg[0] == '-')
                option = arg.substr(0, arg.find('='));
        EXPECT_NE(r.err.find(option), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("A subcommand is required"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Cli({"-y", "list", image}).code, 0);
}
