// The library's process-global state, shared by the exports, the playback
// thread and the recorder. The queues, the meter tap and the log live for
// the rest of the process once the library is loaded.
#pragma once

#include "CBlockQueue.h"
#include "CMeterTap.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CWaveFile;

struct RecordingFormat {
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
    uint16_t channels = 1;
};

class SonvoxState {
public:
    SonvoxState();
    ~SonvoxState();

    std::atomic<int> initialised{0};
    // Set by the first Audio_Init of the process.
    bool firstInitDone = false;
    // Chosen by Audio_Init; kept across Audio_Release.
    RecordingFormat format;
    // Folder of the library's own file, without a trailing separator.
    std::string moduleFolder;

    CBlockQueue playQueue;  // filled by the client, emptied by the playback thread
    CBlockQueue pageQueue;  // client thread only
    CMeterTap meterTap;     // filled by the recorder, emptied by MeterGetPeak

    // The WAV reader of LoadPlay, LoadPage, IsValidFile, GetDuration and the
    // debug copy; created on first need, deleted by Audio_Release. Guarded by
    // readerLock.
    std::mutex readerLock;
    std::unique_ptr<CWaveFile> sharedReader;
};

SonvoxState& State();

// Folder of the file that holds this library (or program, when linked in).
std::string FindModuleFolder();
