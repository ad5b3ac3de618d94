// Where the memory map under the panel's list draws what: the unit's memory
// as one bar, each message's share, the room left and the sectors the next
// write sends, in pixels of a bar of a given width; its tool tips, its
// description for a screen reader and the line under it. No widgets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class cMemoryMap;

struct SMapSpan {
    int slot = -1;  // 0-7; -1 for the room left
    int x0 = 0;     // pixels [x0, x1) of the bar
    int x1 = 0;
    uint32_t start = 0;
    uint32_t length = 0;
    uint8_t firstSector = 0;
    uint8_t lastSector = 0;
};

class CMemoryMapLayout {
public:
    static constexpr int kMinMessageWidth = 2;  // a short message stays visible

    CMemoryMapLayout(const cMemoryMap& map, int width, int baud);

    // The messages holding audio, in address order.
    const std::vector<SMapSpan>& Messages() const { return m_messages; }
    // What follows the last message; empty (x0 == x1) when the memory is full.
    const SMapSpan& Room() const { return m_room; }
    // Pixel ranges of the needed sectors, neighbours joined.
    const std::vector<std::pair<int, int>>& Hatched() const { return m_hatched; }

    // The message under pixel x, or -1.
    int SlotAt(int x) const;
    // "Message 3: start 0x012000, 2.40 s (19,200 bytes), sectors 3-5"
    std::string ToolTip(int slot) const;
    // "3 messages use 1,234,567 of 4,128,768 bytes (30 %); 2,894,201 bytes left. 9 sectors to write, ..."
    std::string Description() const;
    // "9 sectors to write, about 1 min 5 s at 115200 baud"; "Nothing to write"
    const std::string& WriteLine() const { return m_writeLine; }

    // The pixel of an address in a bar of the given width.
    static int X(uint32_t address, int width);

private:
    std::vector<SMapSpan> m_messages;
    SMapSpan m_room;
    std::vector<std::pair<int, int>> m_hatched;
    std::string m_writeLine;
    uint32_t m_used = 0;
};
