// An audio library for a machine without a sound card: it "records" a fixed
// number of mu-law bytes into a real WAV file on Save, reports a steady input
// peak and the duration of the file it loads, and keeps a list of its calls.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "IEditSonvox.h"
#include "cMemoryMap.h"

class CRecordingSonvox : public IEditSonvox {
public:
    std::vector<std::string> calls;
    uint32_t savedBytes = 4000;  // audio bytes each Save writes
    int peak = 12000;
    int saveResult = 1;
    unsigned duration = 0;
    // Runs at the start of Save (on the thread that saves): a test holds the
    // save there to look at the dialog meanwhile.
    std::function<void()> beforeSave;

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
    void PreviewCancel() override { Call("PreviewCancel", 0); }
    int LoadPlay(const char* path) override
    {
        Call("LoadPlay", 0);
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const long long size = in ? static_cast<long long>(in.tellg()) : 0;
        duration = size > 44 ? unsigned((size - 44) / 8) : 0;
        return in ? 1 : 0;
    }
    unsigned GetDuration() override { return unsigned(Call("GetDuration", int(duration))); }
    void Preview() override { Call("Preview", 0); }
    int MeterGetPeak(int* level) override
    {
        Call("MeterGetPeak", 0);
        *level = peak;
        return 160;
    }

    int Count(const std::string& name) const
    {
        int n = 0;
        for (const std::string& c : calls)
            n += c == name;
        return n;
    }

private:
    int Call(const char* name, int result)
    {
        calls.push_back(name);
        return result;
    }
};
