// ormid-cli write with several ports: three simulated units programmed at
// once, one of them faulty, interrupted, or on a port already in use.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CSerialPort.h"
#include "CliProcess.h"
#include "StateFolder.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "SimProcess.h"
#include "WaitFor.h"
#include "cMemoryMap.h"

namespace {

class GangTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QuietReport report;
        FillImage(image, {9000, 12000});  // sectors 0 to 3
        ASSERT_TRUE(image.WriteImageFile(imagePath.c_str(), report));
    }

    // Three units at 115200 baud, paced; unit 1 with the given faults.
    void StartUnits(const std::vector<std::string>& faults = {})
    {
        for (int i = 0; i < 3; i++) {
            std::vector<std::string> args = {"--erase-ms", "0", "--flash", Flash(i)};
            if (i == 1)
                for (const std::string& fault : faults)
                    args.insert(args.end(), {"--fault", fault});
            sims[i].reset(new SimProcess);
            ASSERT_TRUE(sims[i]->Start(args));
        }
    }

    std::vector<std::string> Write(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"write", "--verify"};
        for (auto& sim : sims)
            args.insert(args.end(), {"--port", sim->Port()});
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(imagePath);
        return args;
    }

    void ExpectAnotherRunCompletesEveryUnit()
    {
        CliProcess again;
        again.Start(Write(), scratch.File("again"));
        EXPECT_EQ(again.Wait(120), 0) << again.Stderr();
        for (int i = 0; i < 3; i++)
            EXPECT_TRUE(HoldsTheImage(i)) << i;
    }

    std::string Flash(int i) const { return scratch.File("flash" + std::to_string(i)); }

    // The whole flash of a unit (after it ended) equals the image.
    bool HoldsTheImage(int i)
    {
        sims[i]->Stop();
        const std::vector<uint8_t> flash = ReadBytes(Flash(i));
        return flash.size() >= cMemoryMap::kImageSize &&
               memcmp(flash.data(), image.GetImageBuffer(), cMemoryMap::kImageSize) == 0;
    }

    StateFolder state;
    TempFolder scratch;
    cMemoryMap image;
    const std::string imagePath = scratch.File("shop.txi");
    std::unique_ptr<SimProcess> sims[3];
};

// The last line of a port: its summary.
std::string LastLineOf(const std::string& err, const std::string& port)
{
    const size_t at = ("\n" + err).rfind("\n" + port + ": ");
    if (at == std::string::npos)
        return std::string();
    const size_t end = err.find('\n', at);
    return err.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace

TEST_F(GangTransferTest, AFaultyUnitNeverStopsTheOthersAndASecondRunCompletesIt)
{
    // Unit 1 answers the read-back of sector 2 once with a wrong checksum.
    StartUnits({"bad-checksum:sector=2,once"});
    const std::string report = scratch.File("report.jsonl");
    CliProcess first;
    first.Start(Write({"--report", report}), scratch.File("first"));
    EXPECT_EQ(first.Wait(120), 1) << first.Stderr();
    const std::string err = first.Stderr();
    for (int i = 0; i < 3; i++) {
        const std::string summary = LastLineOf(err, sims[i]->Port());
        EXPECT_EQ(summary.find(i == 1 ? ": failed in " : ": completed in "), sims[i]->Port().size()) << err;
        EXPECT_NE(summary.find(i == 1 ? "Checksum error - sector 2" : "verify OK"), std::string::npos) << summary;
    }

    // One JSON object per unit, each port once.
    const std::vector<uint8_t> bytes = ReadBytes(report);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    std::vector<std::string> ports;
    while (std::getline(lines, line)) {
        QJsonParseError error{};
        const QJsonObject unit = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        ports.push_back(unit["port"].toString().toStdString());
        const bool faulty = ports.back() == sims[1]->Port();
        EXPECT_EQ(unit["result"].toString(), faulty ? "failed" : "completed") << line;
        EXPECT_EQ(unit["verify"].toString(), faulty ? "not done" : "ok") << line;
        EXPECT_EQ(unit["sectors_written"].toInt(), 4) << line;
        EXPECT_EQ(unit["image"].toString().toStdString(), imagePath);
        EXPECT_EQ(unit["image_crc32"].toString().size(), 8) << line;
    }
    std::sort(ports.begin(), ports.end());
    std::vector<std::string> expected = {sims[0]->Port(), sims[1]->Port(), sims[2]->Port()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ports, expected);

    ExpectAnotherRunCompletesEveryUnit();
}

TEST_F(GangTransferTest, CtrlCStopsEveryUnitAndLeavesThePortsFree)
{
    StartUnits();
    CliProcess run;
    run.Start(Write(), scratch.File("run"));
    auto allSending = [&] {
        const std::string err = run.Stderr();
        for (auto& sim : sims)
            if (err.find(sim->Port() + ": Transmitting sector 1") == std::string::npos)
                return false;
        return true;
    };
    ASSERT_TRUE(WaitFor(allSending)) << run.Stderr();
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(10), 130) << run.Stderr();
    for (auto& sim : sims)
        EXPECT_EQ(LastLineOf(run.Stderr(), sim->Port()).find(sim->Port() + ": interrupted in "), 0u) << run.Stderr();

    // Every port was closed: the next run has them all.
    ExpectAnotherRunCompletesEveryUnit();
}

TEST_F(GangTransferTest, APortInUseFailsAloneWithItsReason)
{
    StartUnits();
    CSerialPort held;
    ASSERT_EQ(held.Open(sims[2]->Port().c_str(), 0, 0), 0);
    CliProcess run;
    run.Start(Write(), scratch.File("run"));
    EXPECT_EQ(run.Wait(120), 1) << run.Stderr();
    EXPECT_EQ(LastLineOf(run.Stderr(), sims[2]->Port()),
              sims[2]->Port() + ": failed in 0.0 s, 0 sectors written, verify not done - The port " + sims[2]->Port() +
                  " is in use by another program.")
        << run.Stderr();
    held.Close();
    for (int i = 0; i < 2; i++)
        EXPECT_TRUE(HoldsTheImage(i)) << i;
}
