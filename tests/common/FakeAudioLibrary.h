// The audio library for machines without a sound card: it "records" a fixed
// number of mu-law bytes into a real WAV file on Save, reports a steady input
// peak and the duration of the WAV file it loads (44-byte header, 8 bytes a
// millisecond), plays nothing, and keeps a list of its calls.
#pragma once

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "IAudioLibrary.h"
#include "cMemoryMap.h"

class CFakeAudioLibrary : public IAudioLibrary {
public:
    std::vector<std::string> calls;
    int initResult = 1;
    int loadResult = 1;
    int saveResult = 1;
    uint32_t savedBytes = 4000;  // audio bytes each Save writes
    int peak = 12000;
    int speakerLost = 0;  // PreviewLost's answer
    unsigned duration = 0;
    std::string initLog;
    std::string loadedPath;
    // Runs at the start of Save (on the thread that saves): a test holds the
    // save there to look at the dialog meanwhile.
    std::function<void()> beforeSave;

    int Init(const char* logPath) override
    {
        initLog = logPath;
        return Call("Audio_Init", initResult);
    }
    void Release() override { Call("Audio_Release", 0); }
    int Record() override { return Call("Record", 1); }
    int Stop() override { return Call("Stop", 1); }
    int Save(const char* path, RecordProcessingParams& params) override
    {
        Call("Save", 0);
        if (beforeSave)
            beforeSave();
        if (!saveResult) {
            std::remove(path);
            params.gain = params.clipCount = params.snr = 0;
            return 0;
        }
        std::vector<uint8_t> bytes(cMemoryMap::kWavHeaderSize + savedBytes);
        cMemoryMap::BuildWavHeader(savedBytes, bytes.data());
        for (uint32_t i = 0; i < savedBytes; ++i)
            bytes[cMemoryMap::kWavHeaderSize + i] = uint8_t(0x40 + i % 64);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        params.gain = 6;
        params.snr = 30;
        return 1;
    }
    int MeterGetPeak(int* level) override
    {
        Call("MeterGetPeak", 0);
        *level = peak;
        return 160;
    }
    void PreviewCancel() override { Call("PreviewCancel", 0); }
    int LoadPlay(const char* path) override
    {
        loadedPath = path;
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const long long size = in ? static_cast<long long>(in.tellg()) : 0;
        duration = size > 44 ? unsigned((size - 44) / 8) : 0;
        return Call("LoadPlay", loadResult);
    }
    unsigned GetDuration() override { return unsigned(Call("GetDuration", int(duration))); }
    void Preview() override { Call("Preview", 0); }
    // Asked on every tick of a preview: not one of the calls counted.
    int PreviewLost() override { return speakerLost; }

    int Count(const std::string& name) const
    {
        int n = 0;
        for (const std::string& c : calls)
            n += c == name;
        return n;
    }

protected:
    int Call(const char* name, int result)
    {
        calls.push_back(name);
        return result;
    }
};
