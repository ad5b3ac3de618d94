// Audio files of other kinds into the unit image: decoding, mixing, resampling,
// mu-law, the question, and the same length rules as a mu-law WAV file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sndfile.h>

#include <cstring>
#include <fstream>

#include "AudioFixtures.h"
#include "CAudioImport.h"
#include "DecoderFault.h"
#include "RecordingReport.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WavBuilder.h"
#include "cMemoryMap.h"

namespace {

struct Fixture {
    const char* name;
    const char* file;
    const char* soxFormat;
    const char* question;  // the format as the question names it
    double slack = 80;     // samples: one 10 ms block
    bool lossy = false;    // level as sox decodes the file, not as it was made
};

void PrintTo(const Fixture& f, std::ostream* os)
{
    *os << f.name;
}

const Fixture kFixtures[] = {
    {"Pcm16Stereo44k", "phone.wav", "-r 44100 -c 2 -b 16 -e signed-integer", "44100 Hz, 16-bit, 2 channel(s)"},
    {"Float48k", "editor.wav", "-r 48000 -c 1 -b 32 -e floating-point", "48000 Hz, 32-bit, 1 channel(s)"},
    {"Unsigned8bit11k", "old.wav", "-r 11025 -c 1 -b 8 -e unsigned-integer", "11025 Hz, 8-bit, 1 channel(s)"},
    {"ALaw8k", "alaw.wav", "-r 8000 -c 1 -e a-law", "8000 Hz, 8-bit, 1 channel(s)"},
    {"Flac", "tone.flac", "-r 44100 -c 2 -b 16", "44100 Hz, 16-bit, 2 channel(s)"},
    {"OggVorbis", "tone.ogg", "-r 48000 -c 2", "48000 Hz, 16-bit, 2 channel(s)"},
    // An MP3 file holds its encoder's delay and padding (about 50 ms) as audio.
    {"Mp3", "tone.mp3", "-r 44100 -c 2", "44100 Hz, 16-bit, 2 channel(s)", 800, true},
};

std::string Unit(uint32_t samples)
{
    uint8_t header[44];
    cMemoryMap::BuildWavHeader(samples, header);
    std::string s(reinterpret_cast<char*>(header), 44);
    for (uint32_t i = 0; i < samples; ++i)
        s += char(uint8_t(i * 37 + (i >> 7)));
    return s;
}

class ConvertedFile : public ::testing::TestWithParam<Fixture> {
protected:
    TempFolder folder;
    cMemoryMap map;
    RecordingReport report;
};

}  // namespace

// Each kind of file: asked once with its format, imported at 8000 samples a
// second, the 1 kHz tone still at 1 kHz and at its level.
TEST_P(ConvertedFile, KeepsLengthPitchAndLevel)
{
    const Fixture& f = GetParam();
    const std::string path = folder.File(f.file);
    ASSERT_TRUE(MakeTone(path, f.soxFormat, 2.0)) << "sox could not make " << f.file;
    FillImage(map, {3000});  // slot 2 holds audio, the new one goes after it

    CAudioImport audio;
    std::vector<std::string> asked;
    const auto ask = [&](const std::string& q) {
        asked.push_back(q);
        return true;
    };
    ASSERT_EQ(audio.Prepare(path.c_str(), ask, report, map.GetRoomLeft()), CAudioImport::kConverted);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::string("The file is ") + f.question +
                            ".\nConvert it to the unit's format (8 kHz mu-law, mono) and import it?");
    ASSERT_TRUE(audio.ImportIntoSlot(map, 4, report));
    EXPECT_TRUE(report.messages.empty());

    const uint32_t length = map.GetLength(4);
    EXPECT_NEAR(double(length), 2.0 * 8000, f.slack);
    EXPECT_EQ(map.GetStart(4), map.GetStart(2) + 3000);
    EXPECT_EQ(audio.Converter().ClampedSamples(), 0u);

    // Away from the ends, where a decoder or the resampler may fade in and out.
    const std::vector<double> x = Decode(map.GetImageBuffer() + map.GetStart(4), length);
    const ToneFit fit = FitTone(x, 800, length - 800, 1000);
    EXPECT_GT(fit.toneRms / fit.totalRms, 0.99) << "the tone has moved or is buried in noise";
    double reference = 0.5 / std::sqrt(2.0);
    if (f.lossy) {
        // The encoder changed the level; compare with what sox hears in the file.
        ASSERT_TRUE(
            RunSox("'" + path + "' -t raw -r 8000 -c 1 -e floating-point -b 32 '" + folder.File("ref.raw") + "'"));
        const std::string raw = folder.Read("ref.raw");
        std::vector<double> ref(raw.size() / 4);
        for (size_t i = 0; i < ref.size(); ++i) {
            float v;
            std::memcpy(&v, raw.data() + 4 * i, 4);
            ref[i] = v;
        }
        ASSERT_GT(ref.size(), 1600u);
        reference = FitTone(ref, 800, ref.size() - 800, 1000).toneRms;
    }
    EXPECT_NEAR(Db(fit.toneRms / reference), 0.0, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ConvertedFile, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<Fixture>& info) { return info.param.name; });

// sox writes no Opus; libsndfile does.
TEST(AudioImport, OggOpusKeepsLengthPitchAndLevel)
{
    TempFolder folder;
    const std::string path = folder.File("voice.opus");
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    std::vector<float> tone(2 * 48000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = float(0.5 * std::sin(2 * M_PI * 1000 * double(i) / 48000));
    ASSERT_EQ(sf_writef_float(out, tone.data(), sf_count_t(tone.size())), sf_count_t(tone.size()));
    sf_close(out);

    cMemoryMap map;
    RecordingReport report;
    CAudioImport audio;
    ASSERT_EQ(audio.Prepare(
                  path.c_str(), [](const std::string&) { return true; }, report, map.GetRoomLeft()),
              CAudioImport::kConverted);
    ASSERT_TRUE(audio.ImportIntoSlot(map, 0, report));
    EXPECT_NEAR(double(map.GetLength(0)), 16000.0, 80.0);
    const std::vector<double> x = Decode(map.GetImageBuffer() + map.GetStart(0), map.GetLength(0));
    const ToneFit fit = FitTone(x, 800, x.size() - 800, 1000);
    EXPECT_GT(fit.toneRms / fit.totalRms, 0.99);
    EXPECT_NEAR(Db(fit.toneRms / (0.5 / std::sqrt(2.0))), 0.0, 0.5);
}

TEST(AudioImport, UnitFormatFileIsTakenByteForByteWithoutAQuestion)
{
    TempFolder folder;
    cMemoryMap map;
    RecordingReport report;
    const std::string file = Unit(12345);
    folder.Write("unit.wav", file);

    CAudioImport audio;
    bool asked = false;
    const auto ask = [&](const std::string&) { return asked = true; };
    ASSERT_EQ(audio.Prepare(folder.File("unit.wav").c_str(), ask, report, map.GetRoomLeft()), CAudioImport::kAsIs);
    EXPECT_FALSE(asked);
    EXPECT_EQ(audio.ImportPath(), folder.File("unit.wav"));
    ASSERT_TRUE(audio.ImportIntoSlot(map, 0, report));
    ASSERT_EQ(map.GetLength(0), 12345u);
    EXPECT_EQ(0, std::memcmp(map.GetImageBuffer() + map.GetStart(0), file.data() + 44, 12345));
}

TEST(AudioImport, MuLawInAnotherContainerKeepsItsCodes)
{
    // The same mu-law audio as a unit WAV file and as an AU file: the AU file
    // is converted without touching a single code.
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("ref.wav"), "-r 8000 -c 1 -e u-law", 0.5, 700, 0.3));
    ASSERT_TRUE(RunSox(folder.File("ref.wav") + " " + folder.File("same.au")));
    const std::vector<uint8_t> ref = ReadBytes(folder.File("ref.wav"));

    CAudioConverter converter;
    std::vector<uint8_t> out;
    ASSERT_TRUE(converter.Convert(folder.File("same.au").c_str(), CAudioImport::kWholeFile, out));
    ASSERT_EQ(out.size(), 4000u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), ref.end() - 4000));
}

TEST(AudioImport, NoAnswerConvertsNothing)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("phone.wav"), "-r 44100 -c 2 -b 16", 1.0));
    RecordingReport report;
    CAudioImport audio;
    EXPECT_EQ(audio.Prepare(
                  folder.File("phone.wav").c_str(), [](const std::string&) { return false; }, report,
                  CAudioImport::kWholeFile),
              CAudioImport::kDeclined);
    EXPECT_EQ(audio.ImportPath(), folder.File("phone.wav"));
    EXPECT_TRUE(report.messages.empty());
}

TEST(AudioImport, UnreadableFilesAreRefusedWithTheirReason)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("good.flac"), "-r 44100 -c 1 -b 16", 1.0));
    std::string flac = folder.Read("good.flac");
    std::string badMagic = flac;
    badMagic.replace(0, 4, "fLaX");
    folder.Write("bad-magic.flac", badMagic);
    std::string badInfo = flac;  // the stream information block scrambled
    for (size_t i = 8; i < 42; ++i)
        badInfo[i] = char(0xA5 ^ i);
    folder.Write("bad-info.flac", badInfo);
    std::string badFrames = flac;  // audio frames overwritten half-way through
    for (size_t i = flac.size() / 2; i < flac.size() / 2 + 2000; ++i)
        badFrames[i] = char(i * 7);
    folder.Write("bad-frames.flac", badFrames);
    folder.Write("cut.flac", flac.substr(0, flac.size() / 2));
    folder.Write("text.mp3", "just some text, nothing an audio decoder would take");

    // A file no decoder opens gets the WAV import's refusal; one a decoder
    // opened but could not read, or whose decoder crashed or ran over its
    // limits, the reason. Nothing of the image changes.
    struct Case {
        const char* name;
        const char* fault;   // ORMID_DECODE_FAULT for the decoder helper
        const char* reason;  // empty: the WAV import's own refusal
    };
    const Case cases[] = {
        {"bad-magic.flac", nullptr, ""},
        {"bad-info.flac", nullptr, ""},
        {"text.mp3", nullptr, ""},
        {"bad-frames.flac", nullptr, "flac decoder lost sync"},
        {"cut.flac", nullptr, "the audio ends before the length the file announces"},
        {"good.flac", "crash", DecoderFault::kCrashReason},
        {"good.flac", "spin", DecoderFault::kTimeReason},
        {"good.flac", "memory", DecoderFault::kMemoryReason},
        {"good.flac", "silent", DecoderFault::kSilentReason},
        {"good.flac", "babble", DecoderFault::kBrokenReason},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + (c.fault ? c.fault : ""));
        const std::string path = folder.File(c.name);
        cMemoryMap map;
        FillImage(map, {5000, 700});
        const std::vector<uint8_t> before(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize);
        const std::vector<uint8_t> table(map.GetTable(), map.GetTable() + cMemoryMap::kTableSize);

        RecordingReport report;
        CAudioImport audio;
        bool asked = false;
        const auto ask = [&](const std::string&) { return asked = true; };
        CAudioImport::Outcome outcome;
        {
            DecoderFault fault(c.fault);
            outcome = audio.Prepare(path.c_str(), ask, report, map.GetRoomLeft());
        }
        if (*c.reason) {
            // Damage past the header shows only while decoding, after the question.
            EXPECT_EQ(outcome, CAudioImport::kFailed);
            EXPECT_TRUE(asked);
            ASSERT_EQ(report.messages.size(), 1u);
            EXPECT_EQ(report.messages[0], "The audio file could not be read.\n" + path + ": " + c.reason);
        } else {
            EXPECT_EQ(outcome, CAudioImport::kAsIs);
            EXPECT_FALSE(asked);
            EXPECT_FALSE(audio.ImportIntoSlot(map, 2, report));
            ASSERT_EQ(report.messages.size(), 1u);
            EXPECT_EQ(report.messages[0],
                      "Trouble with " + path + "\nFile is not a .WAV type\nTrouble with file header\n");
        }
        EXPECT_TRUE(std::equal(before.begin(), before.end(), map.GetImageBuffer()));
        EXPECT_TRUE(std::equal(table.begin(), table.end(), map.GetTable()));
    }
}

// A converted file meets exactly the space test of a mu-law file: its 44-byte
// header counts, the whole file must lie below the room left.
TEST(AudioImport, ConvertedAudioFitsTheRoomExactlyAsMuLaw)
{
    TempFolder folder;
    cMemoryMap map;
    const uint32_t room = 30 * 8000;
    FillImage(map, {cMemoryMap::kImageSize - cMemoryMap::kAudioStart - room + 1});
    ASSERT_EQ(map.GetRoomLeft(), room);

    // 16-bit PCM at 8 kHz is not resampled: N samples in, N codes out.
    auto pcm8k = [&](uint32_t samples) {
        WavBuilder wav;
        wav.formatTag = 1;
        wav.bits = 16;
        wav.blockAlign = 2;
        wav.bytesPerSec = 16000;
        wav.data.resize(size_t(samples) * 2);
        for (uint32_t i = 0; i < samples; ++i) {
            const int16_t v = int16_t(8000 * std::sin(i * 0.3));
            wav.data[2 * i] = uint8_t(v);
            wav.data[2 * i + 1] = uint8_t(uint16_t(v) >> 8);
        }
        return wav.Bytes();
    };
    folder.Write("fits.wav", pcm8k(room - 45));
    folder.Write("full.wav", pcm8k(room - 44));
    const auto yes = [](const std::string&) { return true; };

    RecordingReport report;
    std::string temp;
    {
        CAudioImport audio;
        ASSERT_EQ(audio.Prepare(folder.File("full.wav").c_str(), yes, report, map.GetRoomLeft()),
                  CAudioImport::kConverted);
        EXPECT_FALSE(audio.ImportIntoSlot(map, 1, report));
        ASSERT_EQ(report.messages.size(), 1u);
        EXPECT_EQ(report.messages[0], "Trouble with " + folder.File("full.wav") +
                                          "\nCannot import - no space left!\nTrouble with file length\n");
    }
    {
        CAudioImport audio;
        ASSERT_EQ(audio.Prepare(folder.File("fits.wav").c_str(), yes, report, map.GetRoomLeft()),
                  CAudioImport::kConverted);
        temp = audio.ImportPath();
        EXPECT_TRUE(audio.ImportIntoSlot(map, 1, report));
        EXPECT_EQ(map.GetLength(1), room - 45);
        EXPECT_EQ(map.GetRoomLeft(), 45u);
        EXPECT_EQ(report.messages.size(), 1u);
    }
    struct stat st;
    EXPECT_NE(::stat(temp.c_str(), &st), 0) << "the temporary file is left behind";
}

TEST(AudioImport, TenMinutesIntoThirtySecondsIsRefusedLikeMuLaw)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("long.wav"), "-r 48000 -c 1 -b 16", 600));
    ASSERT_TRUE(MakeTone(folder.File("long-ulaw.wav"), "-r 8000 -c 1 -e u-law", 600));
    const auto yes = [](const std::string&) { return true; };

    std::vector<std::string> texts;
    for (const char* name : {"long.wav", "long-ulaw.wav"}) {
        cMemoryMap map;
        FillImage(map, {cMemoryMap::kImageSize - cMemoryMap::kAudioStart - 30 * 8000, 1200});
        const std::vector<uint8_t> before(map.GetImageBuffer(), map.GetImageBuffer() + cMemoryMap::kImageSize);
        RecordingReport report;
        CAudioImport audio;
        audio.Prepare(folder.File(name).c_str(), yes, report, map.GetRoomLeft());
        EXPECT_FALSE(audio.ImportIntoSlot(map, 5, report));
        EXPECT_TRUE(std::equal(before.begin(), before.end(), map.GetImageBuffer()));
        EXPECT_EQ(map.GetLength(5), 1200u);
        ASSERT_EQ(report.messages.size(), 1u);
        texts.push_back(report.messages[0].substr(report.messages[0].find('\n')));
    }
    EXPECT_EQ(texts[0], "\nCannot import - no space left!\nTrouble with file length\n");
    EXPECT_EQ(texts[0], texts[1]);
}

TEST(AudioConverter, StopsAtTheCapAndCountsProgressAgainstIt)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("long.flac"), "-r 48000 -c 1 -b 16", 120));
    CAudioConverter converter;
    std::vector<uint8_t> out;
    CConvertControl control;
    ASSERT_TRUE(converter.Convert(folder.File("long.flac").c_str(), 8000, out, &control));
    EXPECT_EQ(out.size(), 8000u);
    EXPECT_TRUE(converter.Truncated());
    EXPECT_EQ(control.permille.load(), 1000);
}

TEST(AudioConverter, StopRequestEndsWithNothing)
{
    TempFolder folder;
    ASSERT_TRUE(MakeTone(folder.File("tone.wav"), "-r 44100 -c 2 -b 16", 5));
    CAudioImport audio;
    ASSERT_TRUE(audio.Examine(folder.File("tone.wav").c_str()));
    CConvertControl control;
    control.stop = true;
    EXPECT_EQ(audio.Convert(CAudioImport::kWholeFile, &control), CAudioImport::kDeclined);
    EXPECT_EQ(audio.ImportPath(), folder.File("tone.wav"));
}

// Beyond full scale the samples are clamped and counted, never wrapped.
TEST(AudioConverter, ClampsAndCountsSamplesBeyondFullScale)
{
    WavBuilder wav;
    wav.formatTag = 3;  // float
    wav.bits = 32;
    wav.blockAlign = 4;
    wav.bytesPerSec = 32000;
    auto put = [&](float v, int n) {
        for (int i = 0; i < n; ++i) {
            uint8_t b[4];
            std::memcpy(b, &v, 4);
            wav.data.insert(wav.data.end(), b, b + 4);
        }
    };
    put(1.5f, 100);
    put(-2.0f, 50);
    put(0.25f, 10);
    put(NAN, 3);
    TempFolder folder;
    folder.Write("hot.wav", wav.Bytes());

    CAudioConverter converter;
    std::vector<uint8_t> out;
    ASSERT_TRUE(converter.Convert(folder.File("hot.wav").c_str(), CAudioImport::kWholeFile, out));
    ASSERT_EQ(out.size(), 163u);
    EXPECT_EQ(converter.ClampedSamples(), 150u);
    EXPECT_EQ(out[0], 0x80);  // positive full scale
    EXPECT_EQ(out[99], 0x80);
    EXPECT_EQ(out[100], 0x00);  // negative full scale
    EXPECT_EQ(out[160], 0xFF);  // silence, not noise
    EXPECT_NE(converter.LogText().find("150 samples clamped"), std::string::npos) << converter.LogText();

    // A sine clipped flat at full scale overshoots in the resampler: clamped,
    // and each half period still mirrors the other (a wrapped sample would not).
    ASSERT_TRUE(MakeTone(folder.File("clipped.wav"), "-r 44100 -c 1 -b 16", 1.0, 250, 4.0));
    ASSERT_TRUE(converter.Convert(folder.File("clipped.wav").c_str(), CAudioImport::kWholeFile, out));
    EXPECT_GT(converter.ClampedSamples(), 0u);
    const std::vector<double> x = Decode(out.data(), out.size());
    double worst = 0;
    for (size_t i = 400; i + 16 < x.size() - 400; ++i)
        worst = std::max(worst, std::fabs(x[i] + x[i + 16]));
    EXPECT_LT(worst, 0.2);
}

TEST(AudioConverter, RefusesWhatIsNotARegularFile)
{
    TempFolder folder;
    const std::string fifo = folder.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CAudioFileInfo info;
    EXPECT_FALSE(CAudioConverter::Probe(fifo.c_str(), info));  // and does not wait for a writer
    EXPECT_FALSE(CAudioConverter::Probe(folder.Path().c_str(), info));
    EXPECT_FALSE(CAudioConverter::Probe(folder.File("missing.wav").c_str(), info));
}

TEST(AudioImport, SavedUnitWavIsWhatTheImportTakes)
{
    TempFolder folder;
    std::vector<uint8_t> codes(3001);
    for (size_t i = 0; i < codes.size(); ++i)
        codes[i] = uint8_t(i * 13);
    std::string error;
    ASSERT_TRUE(CAudioImport::SaveUnitWav(folder.File("out.wav").c_str(), codes, error)) << error;
    const std::vector<uint8_t> file = ReadBytes(folder.File("out.wav"));
    uint8_t header[44];
    cMemoryMap::BuildWavHeader(3001, header);
    ASSERT_EQ(file.size(), 44u + 3001u);
    EXPECT_TRUE(std::equal(header, header + 44, file.begin()));
    EXPECT_TRUE(std::equal(codes.begin(), codes.end(), file.begin() + 44));

    EXPECT_FALSE(CAudioImport::SaveUnitWav(folder.File("no/such/folder/out.wav").c_str(), codes, error));
    EXPECT_FALSE(error.empty());
}
