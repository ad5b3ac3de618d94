// ormid-cli read, write, verify and gang programming through ser2net (started
// by the test) in front of simulated units: both kinds of network port, a
// gang that mixes them with a local port, a server killed in the middle of
// a write (the next write finishes through the journal), a server fallen
// silent (the time-outs end the write), nobody listening,
// a second client and a malformed name. Only 127.0.0.1 is contacted.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "Ser2netServer.h"
#include "SimProcess.h"
#include "StateFolder.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "WaitFor.h"
#include "cMemoryMap.h"

namespace {

class NetworkTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Ser2netServer::Available()) {
            ASSERT_FALSE(Ser2netServer::MustRun()) << "ser2net is not installed (scripts/install-deps.sh installs it)";
            GTEST_SKIP() << "ser2net is not installed";
        }
        QuietReport report;
        FillImage(image, {9000, 12000});  // sectors 0 to 3
        ASSERT_TRUE(image.WriteImageFile(imagePath.c_str(), report));
    }

    // Units 0 and 1 behind the server, unit 2 on its own.
    void StartUnits(int count)
    {
        std::vector<std::string> devices;
        for (int i = 0; i < count; i++) {
            sims[i].reset(new SimProcess);
            ASSERT_TRUE(sims[i]->Start({"--erase-ms", "0", "--flash", Flash(i)}));
            if (i < 2)
                devices.push_back(sims[i]->Port());
        }
        server = std::make_unique<Ser2netServer>(scratch.Path(), devices);
        ASSERT_TRUE(server->Start()) << scratch.Read("ser2net.log");
    }

    int Run(const std::vector<std::string>& args, std::string* err, int seconds = 120)
    {
        CliProcess run;
        run.Start(args, scratch.File("err" + std::to_string(++m_runs)));
        const int code = run.Wait(seconds);
        *err = run.Stderr();
        return code;
    }

    std::string Flash(int i) const { return scratch.File("flash" + std::to_string(i)); }

    bool HoldsTheImage(int i)
    {
        sims[i]->Stop();
        const std::vector<uint8_t> flash = ReadBytes(Flash(i));
        return flash.size() >= cMemoryMap::kImageSize &&
               std::memcmp(flash.data(), image.GetImageBuffer(), cMemoryMap::kImageSize) == 0;
    }

    StateFolder state;
    TempFolder scratch;
    cMemoryMap image;
    const std::string imagePath = scratch.File("shop.txi");
    std::unique_ptr<SimProcess> sims[3];
    std::unique_ptr<Ser2netServer> server;
    int m_runs = 0;
};

}  // namespace

TEST_F(NetworkTransferTest, WriteVerifyAndReadThroughEitherKindOfPort)
{
    StartUnits(1);
    std::string err;
    ASSERT_EQ(Run({"write", "--verify", "--port", server->At(0).Rfc2217(), imagePath}, &err), 0) << err;
    EXPECT_NE(err.find("Verify OK"), std::string::npos) << err;
    EXPECT_EQ(Run({"verify", "--port", server->At(0).Tcp(), imagePath}, &err), 0) << err;
    const std::string out = scratch.File("read.txi");
    ASSERT_EQ(Run({"read", "--port", server->At(0).Rfc2217(), out}, &err), 0) << err;
    EXPECT_EQ(ReadBytes(out), ReadBytes(imagePath));
    EXPECT_TRUE(HoldsTheImage(0));
}

TEST_F(NetworkTransferTest, AGangMixesNetworkAndLocalPortsInOneReport)
{
    StartUnits(3);
    const std::string report = scratch.File("report.jsonl");
    std::string err;
    const std::vector<std::string> ports = {server->At(0).Rfc2217(), server->At(1).Tcp(), sims[2]->Port()};
    std::vector<std::string> args = {"write", "--verify", "--report", report};
    for (const std::string& port : ports)
        args.insert(args.end(), {"--port", port});
    args.push_back(imagePath);
    ASSERT_EQ(Run(args, &err), 0) << err;
    const std::vector<uint8_t> lines = ReadBytes(report);
    const std::string text(lines.begin(), lines.end());
    for (const std::string& port : ports) {
        EXPECT_NE(text.find("\"port\":\"" + port + "\""), std::string::npos) << text;
        EXPECT_NE(err.find(port + ": completed in "), std::string::npos) << err;
    }
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(HoldsTheImage(i)) << i;
}

TEST_F(NetworkTransferTest, AServerKilledMidWriteEndsItAndTheNextWriteCompletes)
{
    StartUnits(1);
    const std::string port = server->At(0).Rfc2217();
    CliProcess first;
    first.Start({"write", "--port", port, imagePath}, scratch.File("first"));
    ASSERT_TRUE(WaitFor([&] { return first.Stderr().find("Transmitting sector 1") != std::string::npos; }, 60000))
        << first.Stderr();
    server->Kill();
    EXPECT_EQ(first.Wait(30), 1) << first.Stderr();
    EXPECT_NE(first.Stderr().find("Transfer stopped - the connection to 127.0.0.1:" +
                                  std::to_string(server->At(0).rfc2217Port) + " was lost"),
              std::string::npos)
        << first.Stderr();

    // The server back on the same address: the journal of the cut write is
    // found by the address, and the write finishes the unit.
    ASSERT_TRUE(server->Start()) << scratch.Read("ser2net.log");
    std::string err;
    EXPECT_EQ(
        Run({"write", "--port", "RFC2217://127.0.0.1:" + std::to_string(server->At(0).rfc2217Port), imagePath}, &err),
        0)
        << err;
    EXPECT_TRUE(HoldsTheImage(0));
}

TEST_F(NetworkTransferTest, AServerFallenSilentIsNoticedByTheTimeOuts)
{
    StartUnits(1);
    CliProcess first;
    first.Start({"write", "--port", server->At(0).Tcp(), imagePath}, scratch.File("first"));
    ASSERT_TRUE(WaitFor([&] { return first.Stderr().find("Transmitting sector 1") != std::string::npos; }, 60000))
        << first.Stderr();
    server->Pause();  // the connection stays up; nothing more comes through
    EXPECT_EQ(first.Wait(60), 1) << first.Stderr();
    EXPECT_NE(first.Stderr().find("Write failed: Timeout"), std::string::npos) << first.Stderr();
    server->Resume();
}

TEST_F(NetworkTransferTest, NobodyListeningASecondClientAndAMalformedNameAreTold)
{
    StartUnits(1);
    std::string err;
    const int unused = Ser2netServer::FreePort();
    EXPECT_EQ(Run({"verify", "--port", "tcp://127.0.0.1:" + std::to_string(unused), imagePath}, &err), 2) << err;
    EXPECT_NE(err.find("Could not connect to 127.0.0.1:" + std::to_string(unused) + ": Connection refused"),
              std::string::npos)
        << err;

    // Another client holds the unit's device through the raw port.
    CliProcess holder;
    holder.Start({"write", "--no-timeouts", "--port", server->At(0).Tcp(), imagePath}, scratch.File("holder"));
    ASSERT_TRUE(WaitFor([&] { return holder.Stderr().find("Transmitting sector") != std::string::npos; }, 60000))
        << holder.Stderr();
    EXPECT_EQ(Run({"verify", "--port", server->At(0).Rfc2217(), imagePath}, &err), 2) << err;
    EXPECT_NE(err.find("127.0.0.1:" + std::to_string(server->At(0).rfc2217Port) + " is in use by another client"),
              std::string::npos)
        << err;
    EXPECT_EQ(holder.Wait(120), 0) << holder.Stderr();

    EXPECT_EQ(Run({"verify", "--port", "rfc2217://127.0.0.1", imagePath}, &err), 2) << err;
    EXPECT_NE(err.find("expected rfc2217://HOST:PORT or tcp://HOST:PORT"), std::string::npos) << err;
}
