// The codec information report built over a fake registry: every line of the
// text, the version forms, the order of the support lines and what each
// failure leaves out, ends and logs.
#include "CAudioLog.h"
#include "CCodecReport.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

namespace {

struct FakeRegistry : ICodecRegistry {
    uint32_t version = 0x03320000;  // 3.50 build 0
    std::map<CodecMetric, unsigned long> counts = {{CodecMetric::Codecs, 2},  {CodecMetric::Converters, 1},
                                                   {CodecMetric::Drivers, 4}, {CodecMetric::DisabledDrivers, 1},
                                                   {CodecMetric::Filters, 1}, {CodecMetric::HardwareDrivers, 0}};
    std::map<CodecMetric, int> metricErrors;
    std::vector<CodecDriver> drivers = {{0x00A1B2C3, kSupportCodec | kSupportFilter},
                                        {0xDEADBEEF, kSupportAsync | kSupportConverter}};
    int enumError = kCodecOk;
    std::set<uint32_t> detailsFail, openFail, sizeFail, formatsFail;
    std::vector<std::string> calls;

    uint32_t Version() override { return version; }
    int Metric(CodecMetric which, unsigned long& count) override
    {
        if (metricErrors.count(which))
            return metricErrors[which];
        count = counts[which];
        return kCodecOk;
    }
    int EnumDrivers(std::vector<CodecDriver>& out) override
    {
        out = enumError ? std::vector<CodecDriver>() : drivers;
        return enumError;
    }
    int Details(uint32_t id, CodecDriverDetails& d) override
    {
        if (detailsFail.count(id))
            return kCodecInvalidHandle;
        d.shortName = "drv" + std::to_string(id & 0xF);
        d.longName = "Driver " + std::to_string(id & 0xF);
        d.copyright = "(c) Someone";
        d.licensing = "LGPL";
        d.features = "enc dec";
        d.formatTags = 2;
        d.filterTags = 1;
        return kCodecOk;
    }
    int Open(uint32_t id) override
    {
        calls.push_back("open " + std::to_string(id));
        return openFail.count(id) ? kCodecNotPossible : kCodecOk;
    }
    int MaxFormatSize(uint32_t id, unsigned& size) override
    {
        size = 12;
        return sizeFail.count(id) ? kCodecInvalidParam : kCodecOk;
    }
    int EnumFormats(uint32_t id, std::vector<CodecFormat>& formats) override
    {
        formats = {{1, "audio/x-raw"}, {2, "audio/x-mulaw"}};
        return formatsFail.count(id) ? kCodecInvalidFlag : kCodecOk;
    }
    void Close(uint32_t id) override { calls.push_back("close " + std::to_string(id)); }
};

const char* const kSeparator = "\n-----------------------------------------------------------\n";

std::string DriverBlock(const char* idLine, const char* supportLines, int n)
{
    const std::string k = std::to_string(n);
    return std::string(kSeparator) + idLine + supportLines + "\n" + "Short name: drv" + k + "\nLong name:  Driver " +
           k +
           "\nCopyright:  (c) Someone\nLicensing:  LGPL\nFeatures:   enc dec\n"
           "Supports 2 formats\nSupports 1 filter formats\n\n1, audio/x-raw\n2, audio/x-mulaw\n";
}

const std::string kHead = "ACM version: 3.50 build 0 (Retail)\n\n\nACM METRICS:\n\n"
                          "2 codecs installed\n1 converter drivers installed\n4 drivers installed\n"
                          "1 disabled drivers installed\n1 filters installed\n0 hardware drivers\n"
                          "\nENABLED DRIVERS :\n";
const std::string kFirst =
    DriverBlock("Driver ID: 00A1B2C3 supports:\n", "Different format conversions\nFiltering\n", 3);
const std::string kSecond =
    DriverBlock("Driver ID: DEADBEEF supports:\n", "Async conversions\nSame format conversions\n", 15);

std::string Build(FakeRegistry& registry, std::vector<std::string>* failures = nullptr)
{
    CCodecReport report(registry);
    report.Build();
    if (failures)
        *failures = report.Failures();
    return report.Text();
}

// "CoderInfor ln:N - text" with any line number.
void ExpectFailures(const std::vector<std::string>& failures, const std::vector<std::string>& texts)
{
    ASSERT_EQ(failures.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string prefix = failures[i].substr(0, failures[i].find(" - ") + 3);
        EXPECT_TRUE(std::regex_match(prefix, std::regex("CoderInfor ln:[0-9]+ - "))) << failures[i];
        EXPECT_EQ(failures[i].substr(prefix.size()), texts[i]);
    }
}

}  // namespace

TEST(CodecReportTest, FullReportHasEveryLineInOrder)
{
    FakeRegistry registry;
    std::vector<std::string> failures;
    EXPECT_EQ(Build(registry, &failures), kHead + kFirst + kSecond);
    EXPECT_TRUE(failures.empty());
    const std::vector<std::string> calls = {"open 10597059", "close 10597059", "open 3735928559", "close 3735928559"};
    EXPECT_EQ(registry.calls, calls);
}

TEST(CodecReportTest, VersionLine)
{
    struct Case {
        uint32_t version;
        const char* line;
    };
    const Case cases[] = {
        {0x03320000, "ACM version: 3.50 build 0 (Retail)\n"},
        {0x04000A28, "ACM version: 4.00 build 2600\n"},
        {0x01050007, "ACM version: 1.05 build 7\n"},
        {0xFFFFFFFF, "ACM version: 255.255 build 65535\n"},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        registry.version = c.version;
        const std::string text = Build(registry);
        EXPECT_EQ(text.substr(0, text.find('\n') + 1), c.line);
    }
}

TEST(CodecReportTest, FailedCountsAreLeftOutAndLogged)
{
    FakeRegistry registry;
    registry.metricErrors = {{CodecMetric::Converters, kCodecNotSupported}, {CodecMetric::HardwareDrivers, 99}};
    std::vector<std::string> failures;
    const std::string text = Build(registry, &failures);
    EXPECT_EQ(text.find("converter drivers installed"), std::string::npos);
    EXPECT_EQ(text.find("hardware drivers"), std::string::npos);
    EXPECT_NE(text.find("2 codecs installed\n4 drivers installed\n1 disabled drivers installed\n"
                        "1 filters installed\n\nENABLED DRIVERS :\n"),
              std::string::npos);
    ExpectFailures(failures, {"The index specified in uMetric is not supported.", "Error Unknown."});
}

TEST(CodecReportTest, FailedEnumerationEndsAfterTheHeading)
{
    FakeRegistry registry;
    registry.enumError = kCodecInvalidParam;
    std::vector<std::string> failures;
    const std::string text = Build(registry, &failures);
    EXPECT_EQ(text, kHead);
    ExpectFailures(failures, {"At least one parameter is invalid."});
}

TEST(CodecReportTest, DriverThatCannotBeOpenedEndsTheListAfterItsDetails)
{
    FakeRegistry registry;
    registry.openFail = {0x00A1B2C3};
    std::vector<std::string> failures;
    const std::string text = Build(registry, &failures);
    EXPECT_EQ(text, kHead + kFirst.substr(0, kFirst.find("1, audio/x-raw")));
    ExpectFailures(failures, {"The index specified in uMetric cannot be returned for the specified hao."});
    // Never opened, so never closed; the second driver is not asked.
    EXPECT_EQ(registry.calls, std::vector<std::string>{"open 10597059"});
}

TEST(CodecReportTest, OtherDriverStepFailuresEndTheListAfterThatDriver)
{
    {
        // Details: the block is left out, the formats still listed.
        FakeRegistry registry;
        registry.detailsFail = {0x00A1B2C3};
        std::vector<std::string> failures;
        const std::string text = Build(registry, &failures);
        const std::string details =
            kFirst.substr(kFirst.find("Short name"), kFirst.find("1, audio") - kFirst.find("Short name"));
        std::string expected = kFirst;
        expected.erase(expected.find(details), details.size());
        EXPECT_EQ(text, kHead + expected);
        ExpectFailures(failures, {"The specified handle is invalid."});
    }
    {
        // Formats and the description size: listed as far as given, closed.
        FakeRegistry registry;
        registry.formatsFail = {0x00A1B2C3};
        registry.sizeFail = {0x00A1B2C3};
        std::vector<std::string> failures;
        EXPECT_EQ(Build(registry, &failures), kHead + kFirst);
        ExpectFailures(failures, {"At least one parameter is invalid.", "At least one flag is invalid."});
        EXPECT_EQ(registry.calls.back(), "close 10597059");
    }
    {
        // A failure in the last driver changes nothing after it.
        FakeRegistry registry;
        registry.formatsFail = {0xDEADBEEF};
        EXPECT_EQ(Build(registry), kHead + kFirst + kSecond);
    }
}

TEST(CodecReportTest, ErrorTextsOfTheRegistry)
{
    EXPECT_STREQ(CCodecReport::ErrorText(kCodecBusy),
                 "The conversion stream cannot be closed because an asynchronous conversion is still in "
                 "progress.");
    EXPECT_STREQ(CCodecReport::ErrorText(kCodecUnprepared),
                 "The stream header specified in pash is currently not prepared.");
    EXPECT_STREQ(CCodecReport::ErrorText(kCodecOk), "Error Unknown.");
}

TEST(CodecReportTest, FailuresGoToTheDiagnosticsLog)
{
    TempFolder dir;
    ASSERT_TRUE(TheAudioLog().Open(dir.File("Audio.log").c_str()));
    FakeRegistry registry;
    registry.openFail = {0xDEADBEEF};
    std::vector<std::string> failures;
    Build(registry, &failures);
    ASSERT_EQ(failures.size(), 1u);
    const std::string log = dir.Read("Audio.log");
    EXPECT_NE(log.find(" " + failures[0] + "\r\n"), std::string::npos) << log;
}
