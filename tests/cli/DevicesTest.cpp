// ormid-cli devices and doctor on the sound devices: the settings the ORMID
// program stores, read back without Qt, and the devices of a real sound
// server (a private PulseAudio daemon) with the program's choice among them.
#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

#include "CliSettings.h"
#include "PulseServer.h"
#include "RequireRealPart.h"
#include "TempFolder.h"

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs ormid-cli; its exit code and standard output.
std::pair<int, std::string> Cli(const std::string& args)
{
    std::string out;
    FILE* p = popen((ORMID_BIN_DIR "/ormid-cli " + args + " 2>/dev/null").c_str(), "r");
    char buffer[4096];
    while (p && fgets(buffer, sizeof buffer, p))
        out += buffer;
    const int status = p ? pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

void Store(const std::string& file, const char* key, const QString& value)
{
    QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
    settings.beginGroup("Settings");
    settings.setValue(key, value);
}

}  // namespace

// Device names hold what the desktop gives them: commas, quotes, letters
// beyond ASCII; QSettings escapes each its own way.
TEST(CliSettings, ReadsBackWhatTheProgramStores)
{
    TempFolder folder;
    const std::string file = folder.File("ORMID.conf");
    const QString names[] = {"Speaker Two",
                             "HDA Intel PCH: ALC892 Analog (hw:0,0)",
                             QString::fromUtf8("Mikrofon f\xc3\xbcr \"Sprache\" \\ links"),
                             " padded ",
                             "@first",
                             "tab\there; semi=colon"};
    for (const QString& name : names) {
        Store(file, "Sound output device", name);
        Store(file, "Image file path", "/x");
        EXPECT_EQ(SettingFromText(FileText(file), "Sound output device"), name.toStdString()) << FileText(file);
    }
    EXPECT_EQ(SettingFromText(FileText(file), "Sound input device"), "");
    EXPECT_EQ(SettingFromText("[Other]\nSound%20input%20device=x\n", "Sound input device"), "");
}

TEST(CliDevices, ListsTheServersDevicesAndTheOnesOrmidUses)
{
    PulseServer server;
    const std::string why = server.Start();
    REQUIRE_REAL_PART("a sound server", PulseServer::Program().empty() ? why : std::string());
    ASSERT_EQ(why, "");
    server.Use();
    const std::string conf = std::string(getenv("XDG_CONFIG_HOME")) + "/Tarlex/ORMID.conf";
    Store(conf, "Sound output device", "Speaker Two");
    Store(conf, "Sound input device", "Gone Microphone");

    const auto [code, out] = Cli("devices");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "Microphones (input):\n"
                   "  System default  (used)\n"
                   "  Test Microphone\n"
                   "  Second Microphone\n"
                   "Speakers (output):\n"
                   "  System default\n"
                   "  Speaker One\n"
                   "  Speaker Two  (used)\n"
                   "  Feed\n"
                   "  Feed Two\n");

    const auto [doctorCode, report] = Cli("doctor");
    EXPECT_EQ(doctorCode, 1);
    EXPECT_NE(report.find("  speaker used: Speaker Two (chosen in ORMID)\n"), std::string::npos) << report;
    EXPECT_NE(report.find("  microphone used: System default (\"Gone Microphone\" chosen in ORMID is not connected)"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("problem: The sound input device \"Gone Microphone\" is not connected"), std::string::npos)
        << report;
}
