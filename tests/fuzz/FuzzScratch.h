// The per-process folder where fuzz runs put their files: made on first use
// under the system's temporary folder, removed when the process ends. Runs
// use fixed names inside it, so a run depends on its input alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzScratch {
public:
    static FuzzScratch& Instance();

    // The full path of a file in the folder.
    std::string Path(const char* name) const { return m_folder + "/" + name; }
    // Replaces the file with the bytes; false when it cannot be written.
    bool WriteFile(const char* name, const void* data, size_t size) const;
    // The whole file; false when it cannot be read.
    bool ReadFile(const char* name, std::string& bytes) const;
    void Remove(const char* name) const;

    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;

private:
    FuzzScratch();
    ~FuzzScratch();
    std::string m_folder;
};
