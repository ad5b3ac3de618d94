#include <gtest/gtest.h>

#include <sys/stat.h>

#include "CIniFile.h"
#include "TempFolder.h"

namespace {

struct IniCase {
    const char* title;
    std::string text;
    const char* section;
    const char* key;
    bool found;
    const char* value;
};

}  // namespace

TEST(IniFile, ReadValueCases)
{
    const std::string overlong = "[DEBUG]\nX=" + std::string(260, 'a') + "\nLog=1\n";
    // A NUL inside a line does not end what is compared.
    const std::string nulKey("[DEBUG]\nLog\0x=1\n", 17);
    const std::string nulSection("[DEBUG]\0x\nLog=1\n", 17);
    const IniCase cases[] = {
        {"plain", "[DEBUG]\nLog=1\n", "[DEBUG]", "Log", true, "1"},
        {"lower-case section and key", "[debug]\nlog=7\n", "[DEBUG]", "Log", true, "7"},
        {"CR LF line ends", "[DEBUG]\r\nLog=3\r\n", "[DEBUG]", "Log", true, "3"},
        {"value read as written", "[DEBUG]\nLog= 2 \n", "[DEBUG]", "Log", true, " 2 "},
        {"blank before the equals sign", "[DEBUG]\nLog =1\n", "[DEBUG]", "Log", false, ""},
        {"later key in the section", "[DEBUG]\nLevel=4\nLog=5\n", "[DEBUG]", "Log", true, "5"},
        {"key in another section", "[DEBUG]\nLevel=4\n[OTHER]\nLog=5\n", "[DEBUG]", "Log", false, ""},
        {"section missing", "[OTHER]\nLog=5\n", "[DEBUG]", "Log", false, ""},
        {"section text must match whole line", "[DEBUG] \nLog=1\n", "[DEBUG]", "Log", false, ""},
        {"line without equals joins the next", "[DEBUG]\nnote\nLog=1\n", "[DEBUG]", "Log", false, ""},
        {"last line without newline", "[DEBUG]\nLog=9", "[DEBUG]", "Log", true, "9"},
        {"key without equals at the end", "[DEBUG]\nLog", "[DEBUG]", "Log", false, ""},
        {"overlong line", overlong, "[DEBUG]", "Log", false, ""},
        {"NUL inside the key", nulKey, "[DEBUG]", "Log", false, ""},
        {"NUL inside the section line", nulSection, "[DEBUG]", "Log", false, ""},
    };
    for (const IniCase& c : cases) {
        TempFolder folder;
        folder.Write("test.ini", c.text);
        std::string value = "untouched";
        CIniFile ini(folder.Path());
        EXPECT_EQ(ini.ReadValue("test.ini", c.section, c.key, value), c.found) << c.title;
        EXPECT_EQ(value, c.found ? std::string(c.value) : "untouched") << c.title;
    }
}

TEST(IniFile, MissingFileAndReuse)
{
    TempFolder folder;
    std::string value = "untouched";
    CIniFile ini(folder.Path() + "/");
    EXPECT_FALSE(ini.ReadValue("absent.ini", "[DEBUG]", "Log", value));
    EXPECT_EQ(value, "untouched");

    folder.Write("a.ini", "[A]\nk=1\n[B]\nk=2\n");
    ASSERT_TRUE(ini.OpenFile("a.ini"));
    // FindSection rewinds, so sections can be visited in any order.
    ASSERT_TRUE(ini.FindSection("[B]"));
    EXPECT_TRUE(ini.FindKey("K", value));
    EXPECT_EQ(value, "2");
    ASSERT_TRUE(ini.FindSection("[a]"));
    EXPECT_TRUE(ini.FindKey("k", value));
    EXPECT_EQ(value, "1");
    ini.Close();
    EXPECT_FALSE(ini.FindSection("[A]"));
}

// A FIFO or a folder of the INI file's name is not read (and never blocks).
TEST(IniFile, OnlyRegularFilesAreRead)
{
    TempFolder folder;
    ASSERT_EQ(::mkfifo(folder.File("TXDoruvevAzad.ini").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(folder.File("folder.ini").c_str(), 0755), 0);
    std::string value = "untouched";
    CIniFile ini(folder.Path());
    EXPECT_FALSE(ini.ReadValue("TXDoruvevAzad.ini", "[DEBUG]", "Log", value));
    EXPECT_FALSE(ini.ReadValue("folder.ini", "[DEBUG]", "Log", value));
    EXPECT_EQ(value, "untouched");
}
