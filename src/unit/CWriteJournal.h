// The journal of the write in progress on one port: the sector a write has
// started to send and the unit has not yet confirmed, and which process on
// which boot of the computer sends it. It is written before each sector goes
// out and removed once the unit confirms it or the write ends with no sector
// open. A journal that outlives its write (the program killed or crashed, the
// computer's power cut) tells the next transfer on that port that the unit
// may still be taking that sector's bytes, and that the sector may not hold
// what it should.
//
// The journals live in the user's state folder ($XDG_STATE_HOME/ORMID/journal,
// else ~/.local/state/ORMID/journal), one file per port: unlike the runtime
// folder, it survives the reboot that follows a power cut, and the unit on
// its own supply may still be waiting inside its sector then.
#pragma once

#include <cstdint>
#include <string>

class CWriteJournal {
public:
    struct Entry {
        bool present = false;
        int sector = -1;      // -1: the file names none that is valid
        std::string started;  // local time the sector was started
        long pid = 0;
        // The write that left it no longer runs: its process is gone, the
        // computer was started again since, or it was an earlier write of
        // this very process that ended with the sector open.
        bool interrupted = false;
    };

    CWriteJournal() = default;
    explicit CWriteJournal(const std::string& portName);

    static std::string Folder();
    const std::string& Path() const { return m_path; }

    Entry Read() const;
    // Before the sector goes out. False (logged) when the journal cannot be
    // written; the write goes on without it.
    bool Begin(uint8_t sector);
    void Clear();

private:
    std::string m_port;
    std::string m_path;
};
