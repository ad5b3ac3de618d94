// The selection in Edit Message's waveform, in samples of the scratch WAV:
// a press sets the anchor and the start of Play, a drag selects from the
// anchor, Shift+Left/Right moves the selection's free end, a click without a
// drag clears it. Kept within the audio's length when that changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CWaveSelection {
public:
    // What Shift+Left/Right moves the free end by: a tenth of a second.
    static constexpr size_t kKeyStep = 800;

    // The audio's length; a selection or cursor beyond it is cut back.
    void SetLength(size_t samples);
    size_t Length() const { return m_length; }

    // Mouse: press at a sample, drag to another, release.
    void Press(size_t at);
    void DragTo(size_t at);
    // Shift+Left (negative) or Shift+Right: the free end moves by steps of
    // kKeyStep, starting from the cursor when nothing is selected.
    void Extend(int steps);
    void Clear();
    // The selection becomes [from, to) (sorted, kept within the length);
    // the cursor moves to its start.
    void Select(size_t from, size_t to);

    bool HasSelection() const { return End() > Start(); }
    size_t Start() const;
    size_t End() const;
    // Where Play starts: the last press, or the selection's start.
    size_t Cursor() const { return m_anchor; }

    // ", selection 2.0 to 3.5 seconds"; empty without a selection.
    std::string Describe(unsigned rate) const;

private:
    size_t Clamp(size_t at) const { return at < m_length ? at : m_length; }

    size_t m_length = 0;
    size_t m_anchor = 0;  // the end that stays
    size_t m_free = 0;    // the end that moves
};
