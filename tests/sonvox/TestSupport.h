// Helpers shared by the library's tests: temporary folders, WAV fixtures and
// reading the diagnostics log back from its file.
#pragma once

#include "CAudioLog.h"
#include "CWaveFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline fs::path MakeTempDir(const std::string& tag)
{
    fs::path d = fs::temp_directory_path() / ("sonvox-" + tag + "-" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

inline std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes a WAV file with CWaveFile and returns its path.
inline std::string WriteWav(const fs::path& p, const Bytes& data, uint16_t tag = 7, uint32_t rate = 8000,
                            uint16_t bits = 8, uint16_t channels = 1)
{
    CWaveFile w;
    EXPECT_TRUE(w.OpenWrite(p.string().c_str(), tag, rate, bits, channels));
    if (!data.empty()) {
        EXPECT_EQ(w.Write(data.data(), unsigned(data.size())), data.size());
    }
    w.CloseWrite();
    return p.string();
}

// Splits a log file into its lines (without CR LF).
inline std::vector<std::string> LogLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// One failure report read back from the log.
struct Report {
    std::string unit;
    int line = 0;
    std::string text;
};

// Parses "YYYY-MM-DD HH:MM:SS:mmm <unit> ln:<n> - <text>".
inline bool ParseReport(const std::string& logLine, Report& r)
{
    static const std::regex re(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} (\w+) ln:(\d+) - (.*)$)");
    std::smatch m;
    if (!std::regex_match(logLine, m, re))
        return false;
    r.unit = m[1];
    r.line = std::stoi(m[2]);
    r.text = m[3];
    return true;
}

// The given line of a source file of the library.
inline std::string SourceLine(const std::string& file, int line)
{
    std::ifstream in(std::string(ORMID_SOURCE_DIR) + "/src/sonvox/" + file);
    std::string s;
    for (int i = 1; i <= line && std::getline(in, s); ++i) { }
    return s;
}

// Reads what the process-wide log gained since the mark was set.
class LogWatch {
public:
    explicit LogWatch(fs::path path) : m_path(std::move(path)) { Mark(); }
    void Mark() { m_mark = fs::exists(m_path) ? fs::file_size(m_path) : 0; }
    std::vector<std::string> NewLines() const
    {
        std::string all = ReadAll(m_path);
        return LogLines(all.size() > m_mark ? all.substr(m_mark) : std::string());
    }
    // The new reports; every new line must be one.
    std::vector<Report> NewReports() const
    {
        std::vector<Report> out;
        for (auto& l : NewLines()) {
            Report r;
            EXPECT_TRUE(ParseReport(l, r)) << l;
            out.push_back(r);
        }
        return out;
    }

private:
    fs::path m_path;
    uintmax_t m_mark = 0;
};

// Expects exactly one new report, from unit, with text, whose line number
// points at the statement in file that raised it (fragment found there).
inline void ExpectOneReport(const LogWatch& log, const char* unit, const std::string& text, const char* file,
                            const char* fragment)
{
    auto reports = log.NewReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].unit, unit);
    EXPECT_EQ(reports[0].text, text);
    EXPECT_NE(SourceLine(file, reports[0].line).find(fragment), std::string::npos)
        << file << ":" << reports[0].line << " is: " << SourceLine(file, reports[0].line);
}

// Opens the process-wide log once, in a temporary folder, for the whole run.
class GlobalLogEnvironment : public ::testing::Environment {
public:
    static fs::path Path() { return Dir() / "Audio.log"; }
    void SetUp() override { ASSERT_TRUE(TheAudioLog().Open(Path().string().c_str())); }
    void TearDown() override { fs::remove_all(Dir()); }

private:
    static fs::path Dir()
    {
        static fs::path d = MakeTempDir("log");
        return d;
    }
};
