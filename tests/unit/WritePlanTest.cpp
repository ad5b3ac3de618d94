// The write plan: which sectors a write sends and a verify reads, and the
// line an operator reads before anything is opened.
#include <gtest/gtest.h>

#include "CWritePlan.h"
#include "TestImages.h"

TEST(WritePlan, DescribesWhatAWriteSends)
{
    struct Case {
        std::vector<uint32_t> lengths;
        int baud;
        const char* text;
    } cases[] = {
        {{24000}, 115200, "4 sectors, 32,768 bytes, about 4 s at 115200 baud"},
        {{24000}, 57600, "4 sectors, 32,768 bytes, about 7 s at 57600 baud"},
        {{240000}, 115200, "11 sectors, 262,144 bytes, about 26 s at 115200 baud"},
        {{cMemoryMap::kImageSize - 0x2000}, 115200, "70 sectors, 4,128,768 bytes, about 6 min 40 s at 115200 baud"},
    };
    for (const Case& c : cases) {
        cMemoryMap image;
        FillImage(image, c.lengths);
        EXPECT_EQ(CWritePlan::ForWrite(image, c.baud).Describe(), c.text) << c.lengths[0];
    }
}

TEST(WritePlan, SendsOnlyNeededSectorsAndVerifiesEveryUsedOne)
{
    cMemoryMap image;
    FillImage(image, {240000});
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        image.ClearSectorNeeded(s);
    EXPECT_EQ(CWritePlan::ForWrite(image, 115200).Describe(), "0 sectors, 0 bytes, about 0 s at 115200 baud");
    image.SetSectorNeeded(0);
    EXPECT_EQ(CWritePlan::ForWrite(image, 115200).Describe(), "1 sector, 8,192 bytes, about 1 s at 115200 baud");

    const CWritePlan verify = CWritePlan::ForVerify(image, 115200);
    EXPECT_EQ(verify.Sectors(), 11);
    // No programming wait: a read-back of the same sectors is quicker than their write.
    image.RebuildNeededSectors();
    EXPECT_LT(verify.Seconds(), CWritePlan::ForWrite(image, 115200).Seconds());
}

TEST(WritePlan, DurationTexts)
{
    const std::pair<double, const char*> cases[] = {{0, "0 s"},        {12.4, "12 s"},      {59.6, "1 min 0 s"},
                                                    {65, "1 min 5 s"}, {3725, "1 h 2 min"}, {-3, "0 s"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(CWritePlan::Duration(seconds), text) << seconds;
    EXPECT_EQ(CWritePlan::Grouped(4128768), "4,128,768");
    EXPECT_EQ(CWritePlan::Grouped(999), "999");
}
