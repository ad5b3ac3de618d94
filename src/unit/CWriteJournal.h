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
// else ~/.local/state/ORMID/journal), one file per unit: unlike the runtime
// folder, it survives the reboot that follows a power cut, and the unit on
// its own supply may still be waiting inside its sector then. A port's name
// is reused for other units (pseudo-terminal numbers, ttyUSB0 for the next
// adapter), so the file is named after the port's identity and says which
// unit it belongs to; a journal of another unit, or one that does not parse,
// never starts a recovery.
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
        // Something other than the user's regular file holds the journal's
        // place: the notice for the operator, given once per run.
        std::string notice;
    };

    CWriteJournal() = default;
    explicit CWriteJournal(const std::string& portName);

    static std::string Folder();
    const std::string& Path() const { return m_path; }
    const std::string& Unit() const { return m_unit; }

    // A journal that does not parse, or is too large to be one, is removed
    // (logged) and reads as absent.
    Entry Read() const;
    // Before the sector goes out. False (logged) when the journal cannot be
    // written; the write goes on without it, and notice is set the first
    // time in the run its place is taken by something else.
    bool Begin(uint8_t sector, std::string* notice = nullptr);
    void Clear();

    // The largest journal read; a real one is a few hundred bytes.
    static constexpr size_t kMaxBytes = 4096;

private:
    std::string Notice(int error) const;

    std::string m_port;
    std::string m_unit;
    std::string m_name;
    std::string m_path;
};
