#include "SonvoxLib.h"

#include "CWaveFile.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace fs = std::filesystem;

std::string SonvoxLib::Load(const std::string& folder)
{
    std::error_code ec;
    for (const char* name : {"libsonvox.so", "liblevelcut.so"}) {
        fs::copy_file(fs::path(ORMID_BIN_DIR) / name, fs::path(folder) / name, fs::copy_options::overwrite_existing,
                      ec);
        if (ec)
            return std::string("cannot copy ") + name + ": " + ec.message();
    }
    std::string lib = folder + "/libsonvox.so";
    handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return dlerror();
    bool ok = true;
    auto bind = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
        ok = ok && fn;
    };
    bind(Audio_Init, "Audio_Init");
    bind(Audio_Release, "Audio_Release");
    bind(Record, "Record");
    bind(Stop, "Stop");
    bind(Save, "Save");
    bind(Preview, "Preview");
    bind(PreviewCancel, "PreviewCancel");
    bind(PreviewLost, "PreviewLost");
    bind(LoadPlay, "LoadPlay");
    bind(MeterGetPeak, "MeterGetPeak");
    bind(GetDuration, "GetDuration");
    return ok ? std::string() : "missing export";
}

void SonvoxLib::Unload()
{
    if (handle) {
        Audio_Release();
        dlclose(handle);
    }
    handle = nullptr;
}

TempDir::TempDir()
{
    std::string tmpl = (fs::temp_directory_path() / "sonvox-devices-XXXXXX").string();
    if (mkdtemp(tmpl.data()))
        path = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!path.empty())
        fs::remove_all(path, ec);
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path)
{
    std::vector<uint8_t> b = ReadFile(path);
    return std::string(b.begin(), b.end());
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool ReadWav(const std::string& path, WavData& out)
{
    CWaveFile wav;
    if (!wav.OpenRead(path.c_str()))
        return false;
    out.tag = wav.FormatTag();
    out.channels = wav.Channels();
    out.bits = wav.BitsPerSample();
    out.rate = wav.SamplesPerSec();
    out.data.resize(wav.BytesAvailable());
    return out.data.empty() || wav.Read(out.data.data(), unsigned(out.data.size())) == out.data.size();
}

bool WriteWav(const std::string& path, uint16_t tag, uint32_t rate, uint16_t bits, const std::vector<uint8_t>& data)
{
    CWaveFile wav;
    bool ok =
        wav.OpenWrite(path.c_str(), tag, rate, bits, 1) && wav.Write(data.data(), unsigned(data.size())) == data.size();
    return wav.CloseWrite() == 1 && ok;
}

bool Shell(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}
