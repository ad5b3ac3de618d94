// The report from this machine's GStreamer registry: with the base plugins
// installed it lists real drivers; with no plugins at all it is still the
// whole layout with an empty driver list.
#include "CCodecReport.h"
#include "CGstCodecRegistry.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace {

std::string BuildReport(CGstCodecRegistry& registry)
{
    CCodecReport report(registry);
    report.Build();
    EXPECT_TRUE(report.Failures().empty()) << report.Failures().front();
    return report.Text();
}

void ExpectLayout(const std::string& text)
{
    EXPECT_TRUE(std::regex_search(text, std::regex("^ACM version: [0-9]+\\.[0-9]{2} build [0-9]+( \\(Retail\\))?\n\n\n"
                                                   "ACM METRICS:\n\n"
                                                   "[0-9]+ codecs installed\n[0-9]+ converter drivers installed\n"
                                                   "[0-9]+ drivers installed\n[0-9]+ disabled drivers installed\n"
                                                   "[0-9]+ filters installed\n[0-9]+ hardware drivers\n\n"
                                                   "ENABLED DRIVERS :\n")))
        << text;
}

}  // namespace

TEST(GstRegistryTest, ListsTheInstalledAudioPlugins)
{
    CGstCodecRegistry registry;
    const std::string text = BuildReport(registry);
    ExpectLayout(text);
    // gstreamer1.0-plugins-base: audioconvert converts and filters raw audio.
    const std::string id = [] {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%8.8X", CGstCodecRegistry::DriverId("audioconvert"));
        return std::string(buf);
    }();
    const size_t at = text.find("Driver ID: " + id +
                                " supports:\nSame format conversions\nFiltering\n\n"
                                "Short name: audioconvert\n");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("Supports 1 formats\nSupports 1 filter formats\n\n1, audio/x-raw\n", at), std::string::npos);
    // Every driver has its details and at least one format.
    const std::regex block("\n-{59}\nDriver ID: [0-9A-F]{8} supports:\n(?:[A-Za-z ]+\n)+\nShort name: \\S+\n"
                           "Long name:  .*\nCopyright:  .*\nLicensing:  .*\nFeatures:   .+\n"
                           "Supports ([0-9]+) formats\nSupports [0-9]+ filter formats\n\n(?:[0-9]+, audio/\\S+\n)+");
    size_t blocks = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), block); it != std::sregex_iterator(); ++it)
        ++blocks;
    EXPECT_GT(blocks, 0u);
    size_t separators = 0;
    for (size_t p = text.find("-----\nDriver ID"); p != std::string::npos; p = text.find("-----\nDriver ID", p + 1))
        ++separators;
    EXPECT_EQ(blocks, separators);
}

TEST(GstRegistryTest, DriverIdsAreStable)
{
    EXPECT_EQ(CGstCodecRegistry::DriverId(""), 0x811C9DC5u);
    EXPECT_EQ(CGstCodecRegistry::DriverId("a"), 0xE40C292Cu);
    EXPECT_NE(CGstCodecRegistry::DriverId("alaw"), CGstCodecRegistry::DriverId("mulaw"));
}

TEST(GstRegistryTest, WithoutPluginsTheReportIsStillWhole)
{
    // GStreamer reads its plugin paths once per process: a child process
    // with an empty plugin folder and a registry file of its own.
    TempFolder dir;
    EXPECT_EXIT(
        {
            setenv("GST_PLUGIN_SYSTEM_PATH_1_0", dir.Path().c_str(), 1);
            setenv("GST_PLUGIN_PATH_1_0", dir.Path().c_str(), 1);
            setenv("GST_REGISTRY_1_0", dir.File("registry.bin").c_str(), 1);
            CGstCodecRegistry registry;
            CCodecReport report(registry);
            report.Build();
            const std::string& text = report.Text();
            const std::string tail = "0 codecs installed\n0 converter drivers installed\n0 drivers installed\n"
                                     "0 disabled drivers installed\n0 filters installed\n0 hardware drivers\n\n"
                                     "ENABLED DRIVERS :\n";
            const bool ok = text.rfind("ACM version: ", 0) == 0 && text.size() > tail.size() &&
                            text.compare(text.size() - tail.size(), tail.size(), tail) == 0 &&
                            report.Failures().empty();
            if (!ok)
                std::fprintf(stderr, "%s", text.c_str());
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
