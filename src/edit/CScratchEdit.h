// Cut and Crop on the scratch WAV file of Edit Message, and their undo. The
// file is read and rewritten whole (mu-law 8 kHz mono); each edit keeps the
// file's previous audio on a short stack. An undo step is good only while the
// file still holds what that edit left: once something else (a recording, a
// silence, an append) rewrites it, the stack is dropped rather than undoing
// that change unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class IOperatorReport;

class CScratchEdit {
public:
    static constexpr size_t kDepth = 8;  // undo steps kept

    explicit CScratchEdit(std::string path) : m_path(std::move(path)) { }

    // Removes samples [from, to); false (file untouched) when the range is
    // empty or the file cannot be read or written, which report tells.
    bool Cut(size_t from, size_t to, IOperatorReport& report);
    // Keeps only samples [from, to).
    bool Crop(size_t from, size_t to, IOperatorReport& report);
    // Puts back what the last Cut or Crop changed; false when there is
    // nothing to undo.
    bool Undo(IOperatorReport& report);
    bool CanUndo() const;
    // Undo steps left (after dropping stale ones).
    size_t Steps() const;

    // Writes samples [from, to) of the file to output (Play Selection).
    bool WriteRange(size_t from, size_t to, const std::string& output, IOperatorReport& report) const;

private:
    struct Step {
        std::vector<uint8_t> before;
        size_t afterSize = 0;
        size_t afterHash = 0;
    };
    static size_t Hash(const std::vector<uint8_t>& codes);
    bool Read(std::vector<uint8_t>& codes, IOperatorReport& report) const;
    // Read, with to cut to the audio's end; false when [from, to) holds nothing.
    bool ReadRange(size_t from, size_t& to, std::vector<uint8_t>& codes, IOperatorReport& report) const;
    bool Replace(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, IOperatorReport& report);
    // Drops the stack when the file no longer holds what the last step left.
    void DropStale() const;

    std::string m_path;
    mutable std::deque<Step> m_steps;
};
