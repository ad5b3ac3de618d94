#include "Processing.h"

#include "CAudioLog.h"
#include "CWaveFile.h"
#include "SafeFile.h"
#include "SonvoxState.h"
#include "levelcut.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const char* const kLogUnit = "AudioAPI";
constexpr size_t kFlagFileBytes = 255;
constexpr size_t kMaxFlagLine = 99;
constexpr uint64_t kMaxCopySeconds = 480;
const char kFlagFileName[] = "Levelcut.txt";
const char kDebugCopyName[] = "Debug.wav";

std::string BesideLibrary(const char* name)
{
    const std::string& folder = State().moduleFolder;
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// One line of the flag file starting at pos: up to CR or LF, at most 99 characters.
std::string FlagLine(const char* text, size_t length, size_t pos)
{
    std::string line;
    while (pos < length && line.size() < kMaxFlagLine && text[pos] != '\r' && text[pos] != '\n' && text[pos] != '\0')
        line += text[pos++];
    return line;
}

}  // namespace

int ReadDebugFlag()
{
    std::string path = BesideLibrary(kFlagFileName);
    // Without blocking, and only a regular file: a FIFO of that name would
    // otherwise hang the read below.
    int error = 0;
    int fd = OpenRegularFile(path.c_str(), O_RDWR | O_CREAT, error);
    if (fd < 0) {
        LogPrintf("AudioAPI ln:%d - Open failed %s", __LINE__, strerror(error == EISDIR ? EINVAL : error));
        return 0;
    }
    char text[kFlagFileBytes];
    ssize_t got = read(fd, text, sizeof text);
    int flag = 0;
    if (got <= 0) {
        char content[kFlagFileBytes] = {};
        snprintf(content, sizeof content, "[Debug]\r\n%d", 0);
        if (pwrite(fd, content, sizeof content, 0) != ssize_t(sizeof content)) {
            // A flag file that cannot be written only means no debug copy.
        }
    } else {
        size_t length = size_t(got);
        std::string first = FlagLine(text, length, 0);
        std::string second = FlagLine(text, length, first.size() + 2);
        flag = atoi(second.c_str());
    }
    close(fd);
    return flag;
}

void MakeDebugCopy(const char* path)
{
    SonvoxState& st = State();
    std::lock_guard<std::mutex> hold(st.readerLock);
    if (!st.sharedReader)
        st.sharedReader.reset(new (std::nothrow) CWaveFile);
    CWaveFile* reader = st.sharedReader.get();
    if (!reader || !reader->OpenRead(path))
        return;
    uint64_t limit = kMaxCopySeconds * uint64_t(reader->AvgBytesPerSec());
    uint32_t length = uint32_t(std::min<uint64_t>(reader->BytesAvailable(), limit));
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[length ? length : 1]);
    if (data && length && reader->Read(data.get(), length) == length) {
        // The copy keeps the capture's own format, so that it plays as recorded.
        std::string copy = BesideLibrary(kDebugCopyName);
        if (reader->OpenWrite(copy.c_str(), 1, reader->SamplesPerSec(), reader->BitsPerSample(), reader->Channels()))
            reader->Write(data.get(), length);
    }
    reader->CloseWrite();  // closes both sides
}

int RunLevelcut(const char* path, double timeConstant, double clipAmount, double thresholdFactor, int initialTrim,
                double* gain, double* clip, double* snr)
{
    if (!gain || !clip || !snr)
        return 1;
    *gain = *clip = *snr = 0.0;
    SetInitialTrim(initialTrim);
    SetThreshold(184.0f);
    SetClipAmount(float(clipAmount));
    SetTimeConstant(float(timeConstant));
    SetThreshFudge(float(thresholdFactor));
    int code = TrimFunc(path);
    if (code != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return code;
    }
    *snr = GetSNR();
    *gain = GetGain();
    *clip = GetClip();
    return 0;
}

const char* LevelcutErrorText(int code)
{
    switch (uint32_t(code)) {
    case 1:
        return "Invalid parameters";
    case 0x20000000u:
        return "Unknown Wave format";
    case 0x40000000u:
        return "Invalid Wave format";
    case 0x80000000u:
        return "Unable to open Wave file";
    default:
        return "Unknown error";
    }
}

bool Processing(const char* path, double timeConstant, double clipAmount, double thresholdFactor, int initialTrim,
                double* gain, double* clip, double* snr)
{
    if (ReadDebugFlag() != 0)
        MakeDebugCopy(path);
    int code = RunLevelcut(path, timeConstant, clipAmount, thresholdFactor, initialTrim, gain, clip, snr);
    if (code != 0) {
        SVLOG("TrimSilence failed. %s", LevelcutErrorText(code));
        return false;
    }
    return true;
}
