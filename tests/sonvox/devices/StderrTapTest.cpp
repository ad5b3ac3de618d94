// Standard error while a stream is open: PortAudio's lines go to the log's
// sink, every other line passes on unchanged to where it went before, and
// once the last stream is closed standard error is what it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "devices/CStderrTap.h"

namespace {

std::mutex g_heardLock;
std::vector<std::string> g_heard;

void Heard(const char* line)
{
    std::lock_guard<std::mutex> lk(g_heardLock);
    g_heard.push_back(line);
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(StderrTap, PortAudioLinesToTheLogTheRestPassesOn)
{
    TempFolder folder;
    const std::string path = folder.File("stderr.txt");
    // Standard error into a file of the test's own for the test's length.
    fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, STDERR_FILENO);
    close(file);

    const std::string paLine = "Expression 'alsa_snd_pcm_poll_descriptors_revents( self->pcm, pfds, self->nfds, "
                               "&revents )' failed in 'src/hostapi/alsa/pa_linux_alsa.c', line: 3665";
    CStderrTap::Acquire(Heard);
    CStderrTap::Acquire(Heard);  // a second stream
    fprintf(stderr, "before the loss\n%s\n", paLine.c_str());
    fflush(stderr);
    CStderrTap::Release();
    fprintf(stderr, "a partial ");  // still through the tap: one stream is open
    fflush(stderr);
    CStderrTap::Release();
    fprintf(stderr, "after\n");
    fflush(stderr);

    // The tap passes on what it read by itself, soon after.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ReadAll(path).find("a partial") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    dup2(saved, STDERR_FILENO);
    close(saved);

    const std::string passed = ReadAll(path);
    EXPECT_NE(passed.find("before the loss\n"), std::string::npos) << passed;
    EXPECT_NE(passed.find("a partial "), std::string::npos) << passed;
    EXPECT_NE(passed.find("after\n"), std::string::npos) << passed;
    EXPECT_EQ(passed.find("pa_linux_alsa"), std::string::npos) << passed;
    std::lock_guard<std::mutex> lk(g_heardLock);
    EXPECT_EQ(g_heard, std::vector<std::string>{paLine});
}

TEST(StderrTap, WhichLinesArePortAudios)
{
    EXPECT_TRUE(
        CStderrTap::IsPortAudioLine("Expression 'PaAlsaStream_WaitForFrames( stream, &framesAvail, &xrun )' failed in "
                                    "'src/hostapi/alsa/pa_linux_alsa.c', line: 4285\n"));
    EXPECT_TRUE(CStderrTap::IsPortAudioLine("Assertion failed in 'src/common/pa_process.c', line 1234\n"));
    EXPECT_FALSE(CStderrTap::IsPortAudioLine("QObject::connect: No such signal\n"));
    EXPECT_FALSE(CStderrTap::IsPortAudioLine("==123==ERROR: AddressSanitizer: heap-use-after-free\n"));
}
