#include "Codec.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

namespace {

[[maybe_unused]] auto* const kLogEnv = ::testing::AddGlobalTestEnvironment(new GlobalLogEnvironment);

// An independent G.711 encoder for non-negative 16-bit samples: segment found
// by searching the segment ends, 14-bit magnitude with bias 33.
int ReferencePositive(int sample)
{
    static const int segEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
    int mag = std::min(sample >> 2, 8158) + 33;
    int seg = 0;
    while (seg < 8 && mag > segEnd[seg])
        ++seg;
    return 0xFF - ((seg << 4) | ((mag >> (seg + 1)) & 0x0F));
}

// Position of a code on the quantiser's scale, from most negative (0x00) to
// most positive (0x80); 0x7F and 0xFF share the zero step.
int StepIndex(uint8_t code)
{
    return code < 0x80 ? int(code) : 255 - int(code - 0x80);
}

// G.711 expansion of a code, on the scale with full scale 32256.
double ReferenceDecode(uint8_t code)
{
    int u = (~code) & 0xFF;
    int seg = (u >> 4) & 7;
    int mag = ((((u & 0x0F) << 3) + 132) << seg) - 132;
    double v = mag * 32256.0 / 32124.0;
    return (code & 0x80) ? v : -v;
}

uint8_t Enc16(int16_t s)
{
    uint8_t in[2] = {uint8_t(uint16_t(s)), uint8_t(uint16_t(s) >> 8)};
    uint8_t out = 0;
    CodecOutput o;
    o.data = &out;
    EXPECT_TRUE(MuLawEncode(in, 2, 8000, 2, o));
    return out;
}

}  // namespace

TEST(Codec, EncodesEverySixteenBitInputLikeTheReference)
{
    std::vector<uint8_t> pcm(65536 * 2), codes(65536);
    for (int i = 0; i < 65536; ++i) {
        pcm[2 * i] = uint8_t(i);
        pcm[2 * i + 1] = uint8_t(i >> 8);
    }
    CodecOutput out;
    out.data = codes.data();
    ASSERT_TRUE(MuLawEncode(pcm.data(), int(pcm.size()), 8000, 2, out));
    ASSERT_EQ(out.count, 65536);

    int prevStep = -1;
    // Walk from -32768 up to 32767: codes never step backwards on the scale.
    for (int s = -32768; s <= 32767; ++s) {
        const uint8_t c = codes[size_t(uint16_t(int16_t(s)))];
        SCOPED_TRACE(s);
        ASSERT_EQ(c >= 0x80, s >= 0);
        ASSERT_NE(c, 0x7F);
        // The eight samples of one table entry share one code.
        ASSERT_EQ(c, codes[size_t(uint16_t(int16_t(s)) & ~7u)]);
        const int step = StepIndex(c);
        ASSERT_GE(step, prevStep);
        prevStep = step;
        if (s >= 0) {
            // Our full scale is 32256 against G.711's 32124.
            const int scaled = int(std::floor((s & ~7) * 32124.0 / 32256.0));
            ASSERT_EQ(c, ReferencePositive(scaled));
            // Never more than one step away from the plain G.711 encoder.
            ASSERT_LE(std::abs(step - StepIndex(uint8_t(ReferencePositive(s & ~7)))), 1);
        }
    }
}

TEST(Codec, NamedTableBoundaries)
{
    auto entry = [](int k) { return MuLawFromLinear(int16_t(uint16_t(k << 3))); };
    for (int k = 0; k <= 15; ++k)
        EXPECT_EQ(entry(k), 0xFF - k) << k;
    for (int k = 16; k < 48; ++k)
        EXPECT_EQ(entry(k), 0xEF - (k - 16) / 2) << k;
    for (int k = 48; k < 112; ++k)
        EXPECT_EQ(entry(k), 0xDF - (k - 48) / 4) << k;
    // Segment starts: the entry before belongs to the segment below.
    struct {
        int k;
        uint8_t code;
    } starts[] = {{112, 0xCF}, {241, 0xBF}, {498, 0xAF}, {1012, 0x9F}, {2040, 0x8F}};
    for (auto& b : starts) {
        EXPECT_EQ(entry(b.k), b.code) << b.k;
        EXPECT_EQ(entry(b.k - 1), b.code + 0x10 - 0x0F) << b.k;
    }
    for (int k = 3968; k <= 4095; ++k)
        EXPECT_EQ(entry(k), 0x80) << k;
    EXPECT_EQ(entry(3967), 0x81);
    EXPECT_EQ(entry(4096), 0x00);
    EXPECT_EQ(entry(8191), 0x7E);

    // The negative half mirrors the positive one to within one entry: the
    // entry of -8(k+1) lies next to where 8k starts its run.
    for (int code = 0x80; code <= 0xFE; ++code) {
        int posStart = -1, negEnd = -1;
        for (int k = 0; k < 4096; ++k)
            if (entry(k) == code) {
                posStart = k;
                break;
            }
        for (int k = 8191; k >= 4096; --k)
            if (entry(k) == (code & 0x7F)) {
                negEnd = 8191 - k;
                break;
            }
        if (posStart < 0)
            continue;
        ASSERT_GE(negEnd, 0) << std::hex << code;
        EXPECT_LE(std::abs(posStart - negEnd), 1) << std::hex << code;
    }

    // Edge values.
    const int16_t in[] = {0, 8, -8, 32767, -32768};
    const uint8_t want[] = {0xFF, 0xFE, 0x7E, 0x80, 0x00};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(Enc16(in[i]), want[i]) << in[i];
}

TEST(Codec, DecodesAllCodesLikeTheExpansionFormula)
{
    std::vector<uint8_t> codes(256), out16(512), out8(256);
    for (int c = 0; c < 256; ++c)
        codes[size_t(c)] = uint8_t(c);
    CodecOutput o16, o8;
    o16.data = out16.data();
    o8.data = out8.data();
    ASSERT_TRUE(MuLawDecode(codes.data(), 256, 16, 8000, o16));
    ASSERT_TRUE(MuLawDecode(codes.data(), 256, 8, 8000, o8));
    EXPECT_EQ(o16.count, 512);
    EXPECT_EQ(o8.count, 256);
    for (int c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        const int16_t v = int16_t(uint16_t(out16[2 * c] | (out16[2 * c + 1] << 8)));
        EXPECT_LE(std::abs(v - ReferenceDecode(uint8_t(c))), 1.0);
        if (c < 0x80) {
            EXPECT_EQ(v, -LinearFromMuLaw(uint8_t(c + 0x80)));
        }
        // The 8-bit form is the high byte moved to unsigned.
        EXPECT_EQ(out8[size_t(c)], uint8_t((v >> 8) + 128));
        // Decoding then encoding gives the code back (0x7F is never produced).
        if (c != 0x7F) {
            EXPECT_EQ(MuLawFromLinear(v), c);
        }
    }
    EXPECT_EQ(LinearFromMuLaw(0x80), 32256);
    EXPECT_EQ(LinearFromMuLaw(0xFF), 0);
    EXPECT_EQ(LinearFromMuLaw(0x7F), 0);
    const uint8_t some[] = {0xFF, 0x80, 0x00, 0xF0};
    uint8_t got[4];
    CodecOutput o;
    o.data = got;
    ASSERT_TRUE(MuLawDecode(some, 4, 8, 8000, o));
    EXPECT_EQ(Bytes(got, got + 4), (Bytes{128, 254, 2, 128}));
}

TEST(Codec, EightBitSilenceAndSamples)
{
    Bytes silence(240, 0x80), out(240, 0);
    CodecOutput o;
    o.data = out.data();
    ASSERT_TRUE(MuLawEncode(silence.data(), 240, 8000, 1, o));
    EXPECT_EQ(o.count, 240);
    EXPECT_EQ(out, Bytes(240, 0xF0));
    // Each 8-bit sample encodes as its widened 16-bit value.
    for (int v = 0; v < 256; ++v) {
        uint8_t in = uint8_t(v), code = 0;
        o.data = &code;
        ASSERT_TRUE(MuLawEncode(&in, 1, 8000, 1, o));
        EXPECT_EQ(code, Enc16(int16_t((v - 128) * 256 + 120))) << v;
    }
    // A trailing odd byte of 16-bit input is ignored.
    Bytes odd{0, 0, 8, 0, 9}, codes(5, 0xAA);
    o.data = codes.data();
    ASSERT_TRUE(MuLawEncode(odd.data(), 5, 8000, 2, o));
    EXPECT_EQ(o.count, 2);
    EXPECT_EQ(codes[2], 0xAA);
}

TEST(Codec, RateConversionDropsAndRepeatsTheRightSamples)
{
    // Which 11025 Hz inputs survive: phases 2, 6, 10 of each 11 go, and
    // every 580th sample (index 579, 1159, ...).
    auto kept = [](int n) {
        std::vector<int> k;
        for (int i = 0; i < n; ++i) {
            int phase = i % 11;
            if (phase == 2 || phase == 6 || phase == 10 || i % 580 == 579)
                continue;
            k.push_back(i);
        }
        return k;
    };
    std::mt19937 rng(7);
    for (int n : {11, 1160, 5000}) {
        SCOPED_TRACE(n);
        std::vector<int16_t> s(static_cast<size_t>(n));
        for (auto& v : s)
            v = int16_t(rng());
        Bytes pcm(static_cast<size_t>(n) * 2), out(static_cast<size_t>(n));
        memcpy(pcm.data(), s.data(), pcm.size());
        CodecOutput o;
        o.data = out.data();
        ASSERT_TRUE(MuLawEncode(pcm.data(), int(pcm.size()), 11025, 2, o));
        auto k = kept(n);
        ASSERT_EQ(o.count, int(k.size()));
        for (size_t j = 0; j < k.size(); ++j)
            ASSERT_EQ(out[j], MuLawFromLinear(s[size_t(k[j])])) << j;
    }
    EXPECT_EQ(kept(11), (std::vector<int>{0, 1, 3, 4, 5, 7, 8, 9}));
    auto k1160 = kept(1160);
    EXPECT_EQ(std::count(k1160.begin(), k1160.end(), 579), 0);
    EXPECT_EQ(std::count(k1160.begin(), k1160.end(), 1159), 0);
    EXPECT_EQ(std::count(k1160.begin(), k1160.end(), 577), 1);

    // Decoding: 8 codes give 11 samples, inputs 2, 4 and 6 twice.
    Bytes codes{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97};
    Bytes out8(40, 0);
    CodecOutput o;
    o.data = out8.data();
    ASSERT_TRUE(MuLawDecode(codes.data(), 8, 8, 11025, o));
    ASSERT_EQ(o.count, 11);
    const int order[] = {0, 1, 2, 2, 3, 4, 4, 5, 6, 6, 7};
    for (int j = 0; j < 11; ++j)
        EXPECT_EQ(out8[size_t(j)], uint8_t((LinearFromMuLaw(codes[size_t(order[j])]) >> 8) + 128)) << j;
    Bytes out16(80, 0);
    o.data = out16.data();
    ASSERT_TRUE(MuLawDecode(codes.data(), 16, 16, 11025, o));
    EXPECT_EQ(o.count, 44);  // 22 samples of 2 bytes
}

TEST(Codec, UnsupportedFormatsFailWithOneLogLine)
{
    LogWatch log(GlobalLogEnvironment::Path());
    Bytes in(16, 0x80), out(64, 0);
    CodecOutput o;
    o.data = out.data();
    struct Case {
        std::function<bool()> call;
        std::string text;
        const char* fragment;
    };
    std::vector<Case> cases = {
        {[&] { return MuLawEncode(in.data(), 16, 22050, 1, o); }, "Error SamplesPerSec :22050 format not support",
         "SamplesPerSec"},
        {[&] { return MuLawEncode(in.data(), 16, 8000, 3, o); }, "BlockAlign 3 is not valid.", "BlockAlign"},
        {[&] { return MuLawDecode(in.data(), 16, 12, 8000, o); }, "nBitsPerSample = 12 not supported.",
         "nBitsPerSample"},
        {[&] { return MuLawDecode(in.data(), 16, 8, 16000, o); }, "16000 format is not supported.",
         "format is not supported"},
        // The rate is checked before the block align.
        {[&] { return MuLawEncode(in.data(), 16, 44100, 4, o); }, "Error SamplesPerSec :44100 format not support",
         "SamplesPerSec"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.text);
        log.Mark();
        EXPECT_FALSE(c.call());
        ExpectOneReport(log, "Codec", c.text, "Codec.cpp", c.fragment);
    }
    // Bad buffers fail without touching anything and without a report.
    log.Mark();
    EXPECT_FALSE(MuLawEncode(nullptr, 4, 8000, 1, o));
    EXPECT_FALSE(MuLawEncode(in.data(), -1, 8000, 1, o));
    CodecOutput none;
    EXPECT_FALSE(MuLawDecode(in.data(), 4, 8, 8000, none));
    EXPECT_TRUE(log.NewLines().empty());
}
