// A private copy of libsonvox.so (and the liblevelcut.so it binds) in a
// temporary folder, loaded with dlopen. Each copy is a fresh instance of the
// library with its own folder, so "Levelcut.txt", "Debug.wav" and the
// diagnostics log of one test never meet another's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SonvoxLib {
    int (*Audio_Init)(uint32_t, const char*, int) = nullptr;
    int (*Audio_Release)() = nullptr;
    int (*Record)() = nullptr;
    int (*Stop)() = nullptr;
    int (*Save)(const char*, double, double, double, int, double*, double*, double*) = nullptr;
    int (*Preview)() = nullptr;
    int (*PreviewCancel)() = nullptr;
    int (*PreviewLost)() = nullptr;
    int (*LoadPlay)(const char*) = nullptr;
    int (*MeterGetPeak)(int*) = nullptr;
    unsigned (*GetDuration)() = nullptr;

    // Copies the libraries into folder and loads the copy; empty on success,
    // else what went wrong.
    std::string Load(const std::string& folder);
    void Unload();
    ~SonvoxLib() { Unload(); }

    void* handle = nullptr;
};

// A temporary folder that is removed with everything in it.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::vector<uint8_t> ReadFile(const std::string& path);
bool FileExists(const std::string& path);
std::string ReadText(const std::string& path);

// A WAV file's format and data bytes, read without the library.
struct WavData {
    uint16_t tag = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<uint8_t> data;
};
bool ReadWav(const std::string& path, WavData& out);
bool WriteWav(const std::string& path, uint16_t tag, uint32_t rate, uint16_t bits, const std::vector<uint8_t>& data);

// Runs a shell command; true when it exits 0.
bool Shell(const std::string& command);
