// The edit session's partners in tests: an audio library that records the
// calls and writes real unit WAV files on Save, a view that keeps what it was
// told, and helpers for the files involved.
#pragma once

#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "CAudioImport.h"
#include "FakeAudioLibrary.h"
#include "IEditView.h"
#include "RecordingReport.h"
#include "cMemoryMap.h"

// A unit WAV file's samples; empty (and ok false) when it is not one.
inline std::vector<uint8_t> UnitAudio(const std::string& path, bool* ok = nullptr)
{
    RecordingReport quiet;
    std::vector<uint8_t> data;
    const bool read = cMemoryMap::ReadUnitWav(path.c_str(), 0xFFFFFFFFu, data, quiet);
    if (ok)
        *ok = read;
    return data;
}

inline void WriteUnitWav(const std::string& path, const std::vector<uint8_t>& samples)
{
    std::string error;
    CAudioImport::SaveUnitWav(path.c_str(), samples, error);
}

inline std::vector<uint8_t> Samples(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 5);
    return v;
}

inline std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Makes a file with sox (installed for the tests).
inline bool Sox(const std::string& args)
{
    return std::system(("sox " + args + " 2>/dev/null").c_str()) == 0;
}

class FakeSonvox : public CFakeAudioLibrary {
public:
    int Record() override
    {
        ++records;
        recording = recordResult != 0;
        return recordResult;
    }
    int Stop() override
    {
        ++stops;
        recording = false;
        lost = false;
        return stopResult;
    }
    int Save(const char* path, RecordProcessingParams& params) override
    {
        saved.push_back(params);
        params.gain = params.clipCount = params.snr = 0;
        if (!saveResult) {
            // As the library does when processing fails: the file is gone.
            ::unlink(path);
            return 0;
        }
        if (foreign.empty())
            WriteUnitWav(path, capture);
        else
            std::ofstream(path, std::ios::binary) << foreign;
        params.gain = gain;
        params.snr = snr;
        return 1;
    }
    void PreviewCancel() override { ++cancels; }
    int LoadPlay(const char* path) override
    {
        bool ok = false;
        loaded = UnitAudio(path, &ok);
        return ok ? 1 : 0;
    }
    unsigned GetDuration() override { return unsigned(loaded.size() / 8); }
    void Preview() override { ++previews; }
    int MeterGetPeak(int* peak) override
    {
        if (lost)
            return -1;
        if (peaks.empty())
            return 0;
        *peak = peaks.front();
        peaks.pop_front();
        return 120;
    }

    int recordResult = 1, stopResult = 1;
    bool saveResult = true;
    std::vector<uint8_t> capture = Samples(4000, 1);  // what the next Save writes
    std::string foreign;                              // else these bytes as they are
    double gain = 6, snr = 30;
    std::deque<int> peaks;
    bool lost = false;  // the microphone went away: the library ended the recording

    int records = 0, stops = 0, cancels = 0, previews = 0;
    bool recording = false;
    std::vector<RecordProcessingParams> saved;
    std::vector<uint8_t> loaded;
};

class RecordingView : public IEditView {
public:
    void SetRemainingText(const std::string& text) override { remaining = text; }
    void SetRecordCaption(const char* text) override { recordCaption = text; }
    void SetPlayCaption(const char* text) override { playCaption = text; }
    void SetAppendCaption(const char* text) override { appendCaption = text; }
    void EnableRecord(bool on) override { recordEnabled = on; }
    void StartTimer(unsigned periodMs) override { timer = periodMs; }
    void StopTimer() override { timer = 0; }
    void MeterSetLevel(int level) override { levels.push_back(level); }
    void MeterClear() override { ++meterClears; }
    bool AskSilence(uint32_t roomLeft, uint32_t& ms) override
    {
        silenceRoom = roomLeft;
        ms = silenceMs;
        return silenceOk;
    }
    bool AskAppendFile(std::string& path) override
    {
        path = appendPath;
        return !appendPath.empty();
    }
    bool AskSettings(const RecordProcessingParams& current, RecordProcessingParams& chosen) override
    {
        settingsShown = current;
        if (!settingsOk)
            return false;
        chosen = settingsChosen;
        return true;
    }
    // With holdAside the end of a recording waits for RunHeld, as it waits
    // for its thread in the dialog.
    void RunAside(std::function<void()> work, std::function<void()> done) override
    {
        ++asides;
        if (!holdAside) {
            work();
            done();
            return;
        }
        heldWork = std::move(work);
        heldDone = std::move(done);
    }
    void SetBusy(bool on) override { busy = on; }
    bool Held() const { return bool(heldWork); }
    // Runs the held work, then its ending on "the window's thread".
    void RunHeld()
    {
        std::function<void()> work = std::move(heldWork), done = std::move(heldDone);
        heldWork = heldDone = nullptr;
        work();
        done();
    }

    std::string remaining, recordCaption = "Record", playCaption = "Play", appendCaption = "Append Recording";
    bool recordEnabled = true;
    unsigned timer = 0;
    std::vector<int> levels;
    int meterClears = 0;
    uint32_t silenceMs = 0, silenceRoom = 0;
    bool silenceOk = true;
    std::string appendPath;
    bool settingsOk = true;
    RecordProcessingParams settingsChosen, settingsShown;
    bool holdAside = false, busy = false;
    int asides = 0;
    std::function<void()> heldWork, heldDone;
};
