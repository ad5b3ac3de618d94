// Undo and Redo of the changes made to the unit image. A step keeps only what
// its command changed: the message table and the runs of image bytes that
// differ inside the range the command reported, never a copy of the whole
// image. To know what those bytes were, the history keeps one copy of the
// image as it last saw it (its base), brought up to date with every step it
// records, undoes or redoes.
//
// The changed mark goes with the steps: undoing returns the mark the image had
// at that step, except that after a save only the saved step is unchanged.
// Undo and Redo mark the sectors they put back as needed for the next write
// to the unit (the unit may hold either version); they never clear a flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "CImageChange.h"

class cMemoryMap;

class CImageHistory {
public:
    static constexpr size_t kMinSteps = 20;  // kept whatever they hold
    static constexpr size_t kMaxSteps = 100;
    static constexpr size_t kBudgetBytes = 64u << 20;  // beyond kMinSteps, older steps go first

    CImageHistory();
    ~CImageHistory();

    // Forgets every step and takes the image as it is (at start, after a load).
    void Reset(const cMemoryMap& map, bool changed);
    // Takes image bytes [begin, end) as they are now, as no step (the table
    // stored into the image before a transfer).
    void Adopt(const cMemoryMap& map, uint32_t begin, uint32_t end);
    // After a command: keeps what changed within change as one step, which
    // drops the steps that could be redone. False when nothing changed.
    bool Record(const cMemoryMap& map, const CImageChange& change, bool changedBefore, bool changedAfter);

    bool CanUndo() const { return m_position > 0; }
    bool CanRedo() const { return m_position < m_steps.size(); }
    // Put the image back one step, or forward again; false when there is
    // none. changed: the changed mark the image has now.
    bool Undo(cMemoryMap& map, bool& changed);
    bool Redo(cMemoryMap& map, bool& changed);
    // The image as it stands is what the image file now holds.
    void Saved();

    size_t Steps() const { return m_steps.size(); }
    // What the history holds: its base copy and every step.
    size_t MemoryBytes() const;

private:
    struct Run {
        uint32_t at;
        std::vector<uint8_t> bytes;  // the other version of image bytes at..
    };
    struct Step {
        uint8_t table[192];  // the other version of the table
        std::vector<Run> runs;
        size_t Bytes() const;
    };
    // Exchanges the step's version with the image's: undo and redo alike.
    void Swap(cMemoryMap& map, Step& step);
    void Trim();

    std::unique_ptr<uint8_t[]> m_base;
    uint8_t m_baseTable[192] = {};
    std::vector<Step> m_steps;
    std::vector<bool> m_marks;  // the changed mark at each position: one more than steps
    size_t m_position = 0;      // steps before it are done
};
