// ormid-cli import --convert and convert on real files made by sox.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "ExecProgram.h"
#include "RecordingReport.h"
#include "AudioFixtures.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "cMemoryMap.h"

namespace {

struct Result {
    int code = -1;
    std::string err;
};

class ImportCli : public ::testing::Test {
protected:
    Result Cli(const std::vector<std::string>& args)
    {
        const std::string errPath = folder.File(".stderr");
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ExecProgram("ormid-cli", args);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, folder.Read(".stderr")};
    }

    void SetUp() override
    {
        image = folder.File("unit.txi");
        ASSERT_EQ(Cli({"new", image}).code, 0);
        ASSERT_TRUE(MakeTone(folder.File("phone.wav"), "-r 44100 -c 2 -b 16", 2.0));
    }

    TempFolder folder;
    std::string image;
};

}  // namespace

TEST_F(ImportCli, WithoutConvertRefusesAndNamesTheSwitch)
{
    const std::vector<uint8_t> before = ReadBytes(image);
    const Result r = Cli({"import", image, "3", folder.File("phone.wav")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("WAVE format is not g.711 mono, 8kHz.\nFound format = 1, channels = 2, rate = 44100\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--convert"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(image), before);
}

TEST_F(ImportCli, ConvertImportsWithoutAsking)
{
    const Result r = Cli({"import", "--convert", image, "3", folder.File("phone.wav"), "--name", "Memo"});
    ASSERT_EQ(r.code, 0) << r.err;
    cMemoryMap map;
    class : public IOperatorReport {
        void ShowMessage(const std::string&) override { }
        bool AskYesNo(const std::string&) override { return false; }
    } quiet;
    ASSERT_TRUE(map.ReadImageFile(image.c_str(), quiet));
    EXPECT_NEAR(double(map.GetLength(2)), 16000.0, 80.0);
    EXPECT_STREQ(map.GetName(2), "Memo");
    const std::vector<double> x = Decode(map.GetImageBuffer() + map.GetStart(2), map.GetLength(2));
    const ToneFit fit = FitTone(x, 800, x.size() - 800, 1000);
    EXPECT_GT(fit.toneRms / fit.totalRms, 0.99);

    // A file no decoder reads is refused as before, --convert or not.
    folder.Write("notes.ogg", "not audio at all");
    const Result bad = Cli({"import", "--convert", image, "4", folder.File("notes.ogg")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err,
              "Trouble with " + folder.File("notes.ogg") + "\nFile is not a .WAV type\nTrouble with file header\n");

    // One a decoder opened but could not read is refused with its reason.
    std::string flac = (MakeTone(folder.File("tone.flac"), "-r 44100 -c 1 -b 16", 1.0), folder.Read("tone.flac"));
    for (size_t i = flac.size() / 2; i < flac.size() / 2 + 2000; ++i)
        flac[i] = char(i * 7);
    folder.Write("damaged.flac", flac);
    const Result damaged = Cli({"import", "--convert", image, "4", folder.File("damaged.flac")});
    EXPECT_EQ(damaged.code, 1);
    EXPECT_EQ(damaged.err, "The audio file could not be read.\normid-cli: " + folder.File("damaged.flac") +
                               ": flac decoder lost sync\n");
}

TEST_F(ImportCli, ConvertWritesAUnitFormatFile)
{
    const std::string out = folder.File("unit.wav");
    ASSERT_EQ(Cli({"convert", folder.File("phone.wav"), out}).code, 0);
    const std::vector<uint8_t> file = ReadBytes(out);
    ASSERT_GT(file.size(), 44u);
    uint8_t header[44];
    cMemoryMap::BuildWavHeader(uint32_t(file.size() - 44), header);
    EXPECT_TRUE(std::equal(header, header + 44, file.begin()));
    EXPECT_NEAR(double(file.size() - 44), 16000.0, 80.0);

    // Converting that file again changes nothing.
    ASSERT_EQ(Cli({"convert", out, folder.File("again.wav")}).code, 0);
    EXPECT_EQ(ReadBytes(folder.File("again.wav")), file);

    const Result missing = Cli({"convert", folder.File("missing.mp3"), folder.File("x.wav")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("missing.mp3"), std::string::npos);
    const Result nowhere = Cli({"convert", folder.File("phone.wav"), folder.File("no/such/x.wav")});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_NE(nowhere.err.find("No such file or directory"), std::string::npos) << nowhere.err;
}

// What the decoders say about a damaged file goes to the command line's log,
// not to the terminal: there only the one line naming the file.
TEST_F(ImportCli, DecoderMessagesGoToTheLog)
{
    ASSERT_TRUE(MakeTone(folder.File("tone.mp3"), "-r 44100 -c 2", 3.0));
    std::string mp3 = folder.Read("tone.mp3");
    for (size_t i = mp3.size() / 4; i < mp3.size() / 4 + 3000; ++i)
        mp3[i] = char((i * 2654435761u) >> 13);
    folder.Write("damaged.mp3", mp3);
    TempFolder work;
    work.Write("TXDoruvevAzad.ini", "[DEBUG]\nLog=1\n");
    ::setenv("ORMID_WORKING_FOLDER", work.Path().c_str(), 1);
    const Result r = Cli({"convert", folder.File("damaged.mp3"), folder.File("out.wav")});
    ::unsetenv("ORMID_WORKING_FOLDER");
    if (r.code != 0)
        EXPECT_EQ(r.err.rfind("ormid-cli: " + folder.File("damaged.mp3") + ": ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), r.code != 0 ? 1 : 0) << r.err;
    EXPECT_NE(work.Read("ormid-cli.log").find(" - Decoder: "), std::string::npos) << work.Read("ormid-cli.log");
}

// 16-bit mono PCM of the given rate and length, whatever the rate.
std::string Pcm16(uint32_t rate, uint32_t samples)
{
    auto put = [](std::string& s, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            s += char(uint8_t(v >> (8 * i)));
    };
    std::string s = "RIFF";
    put(s, 36 + 2 * samples, 4);
    s += "WAVEfmt ";
    for (uint32_t v : {16u, 1u | (1u << 16), rate, rate * 2, 2u | (16u << 16)})
        put(s, v, 4);
    s += "data";
    put(s, 2 * samples, 4);
    for (uint32_t i = 0; i < samples; ++i)
        put(s, uint32_t(int16_t(8000 * ((i / 4) % 2 ? 1 : -1))), 2);
    return s;
}

// convert takes no rate a header could make absurd, and writes no more than
// a unit could ever take in.
TEST_F(ImportCli, ConvertRefusesAbsurdRatesAndWhatNoUnitHolds)
{
    const uint32_t most = cMemoryMap::kImageSize - cMemoryMap::kAudioStart;
    const struct {
        uint32_t rate, samples;
        const char* refusal;  // empty: converted
    } cases[] = {
        {1, 16000, "a sample rate of 1 Hz cannot be converted (only 1000 to 768000 Hz)"},
        {999, 999, "a sample rate of 999 Hz cannot be converted (only 1000 to 768000 Hz)"},
        {1000, 1000, ""},
        {768000, 76800, ""},
        {768001, 76800, "a sample rate of 768001 Hz cannot be converted (only 1000 to 768000 Hz)"},
        {1000, most / 8 + 10, "longer than a unit holds (515 seconds at most)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.samples) + " samples");
        const std::string in = folder.File("in.wav"), out = folder.File("out.wav");
        folder.Write("in.wav", Pcm16(c.rate, c.samples));
        ::unlink(out.c_str());
        const Result r = Cli({"convert", in, out});
        if (*c.refusal) {
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(r.err, "ormid-cli: " + in + ": " + c.refusal + "\n");
            EXPECT_NE(::access(out.c_str(), F_OK), 0);
        } else {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_NEAR(double(ReadBytes(out).size() - 44), double(c.samples) * 8000 / c.rate, 80.0);
        }
    }
}

// The clamping is told only for audio that went in; a unit-format file that
// the strict reader refuses goes in with --convert.
TEST_F(ImportCli, ClampingToldOnlyOnceImportedAndDamagedFilesConverted)
{
    ASSERT_TRUE(MakeTone(folder.File("hot.wav"), "-r 44100 -c 1 -b 16", 1.0, 250, 4.0));
    cMemoryMap full;
    full.AllocateAtEnd(0);
    full.SetLength(0, cMemoryMap::kImageSize - cMemoryMap::kAudioStart - 2000);
    RecordingReport report;
    ASSERT_TRUE(full.WriteImageFile(folder.File("full.txi").c_str(), report));
    const Result refused = Cli({"import", "--convert", folder.File("full.txi"), "2", folder.File("hot.wav")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("Cannot import - no space left!"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("clamped"), std::string::npos) << refused.err;
    const Result taken = Cli({"import", "--convert", image, "2", folder.File("hot.wav")});
    EXPECT_EQ(taken.code, 0);
    EXPECT_NE(taken.err.find("clamped"), std::string::npos) << taken.err;

    ASSERT_TRUE(MakeTone(folder.File("tagged.wav"), "-r 8000 -c 1 -e u-law", 0.5));
    std::ofstream(folder.File("tagged.wav"), std::ios::app | std::ios::binary) << "TAG" << std::string(125, ' ');
    EXPECT_EQ(Cli({"import", image, "3", folder.File("tagged.wav")}).code, 1);
    EXPECT_EQ(Cli({"import", "--convert", image, "3", folder.File("tagged.wav")}).code, 0);
    cMemoryMap map;
    ASSERT_TRUE(map.ReadImageFile(image.c_str(), report));
    EXPECT_EQ(map.GetLength(2), 4000u);
}
