// The shared library as a client sees it: exactly the functions of sonvox.h
// are exported (the 21 of its table and PreviewLost after them), and each can
// be looked up by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::set<std::string> kExports = {
    "Audio_Init",      "Audio_Release", "Record",       "Stop",         "Save",        "Preview",
    "PreviewCancel",   "LoadPlay",      "LoadPage",     "GetBuff",      "PageCancel",  "LoadPlaySilence",
    "LoadPageSilence", "SetNormValue",  "NormUpdate",   "GetBuffCount", "IsValidFile", "GetCoderInfor",
    "GetDuration",     "GetSilentBuff", "MeterGetPeak", "PreviewLost",
};

const std::string kLibrary = std::string(ORMID_BIN_DIR) + "/libsonvox.so";

}  // namespace

TEST(ExportList, ExactlyTheFunctionsOfTheHeader)
{
    std::string cmd = "nm -D --defined-only '" + kLibrary + "'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> functions, others;
    char line[1024];
    while (fgets(line, sizeof line, p)) {
        std::istringstream in(line);
        std::string addr, type, name;
        if (!(in >> addr >> type >> name))
            continue;
        (type == "T" ? functions : others).insert(name);
    }
    ASSERT_EQ(pclose(p), 0) << cmd;
    EXPECT_EQ(functions, kExports);
    EXPECT_TRUE(others.empty()) << *others.begin();
}

TEST(ExportList, EveryFunctionResolvesFromTheLoadedLibrary)
{
    void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const auto& name : kExports)
        EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    // Internals stay hidden.
    for (const char* hidden :
         {"MuLawEncode", "LogPrintf", "_Z11MuLawEncodePKhiitR11CodecOutput", "_ZN9CWaveFile8OpenReadEPKc"})
        EXPECT_EQ(dlsym(lib, hidden), nullptr) << hidden;
    using GetSilentBuffFn = int (*)(unsigned char*);
    auto silent = reinterpret_cast<GetSilentBuffFn>(dlsym(lib, "GetSilentBuff"));
    ASSERT_NE(silent, nullptr);
    unsigned char buf[240] = {};
    EXPECT_EQ(silent(buf), 240);
    EXPECT_EQ(buf[239], 0xF0);
    dlclose(lib);
}
