#pragma once
// Faults the simulated unit can be told to commit. A fault is written as
// KIND[:WHEN], WHEN being a comma list of "once" (the default), "always",
// "sector=N" and "cmd=STAGE". A fault with a sector or stage fires every time
// that sector or stage comes up unless "once" is given as well.

#include <string>
#include <vector>

enum class EFault {
    NoReply,      // say nothing at all
    Partial,      // stop part-way through a reply
    BadChecksum,  // read reply carries a wrong checksum
    FlipBit,      // read reply with one data bit flipped, checksum of the clean data
    WrongAck,     // 'N' where 'A' belongs, 'A' where 'G' belongs
    NoG,          // accept the checksum, then never report the programming result
    Garbage,      // a few stray bytes before a reply
    Stall,        // pause in the middle of a sector, either direction
    SlowProgram,  // programming takes longer than the host waits
    Vanish,       // the line disappears mid-transfer (master closed)
    HoldSector,   // a sector write cut off part-way is never dropped
};

// Points of the exchange at which a fault can strike.
enum class EStage {
    U,        // reply to "Unn\r"
    R,        // reply to "Rnn\r" and the sector data that follows it
    P1,       // reply to "P1\r"
    P0,       // reply to "P0\r"
    Sum,      // acknowledgement of a written sector's checksum
    Program,  // programming result
};

class CFaultPlan {
public:
    // Adds one fault from its text; false with a message when the text is wrong.
    bool Add(const std::string& text, std::string* error);

    // True when a fault of this kind fires now. A fired "once" fault is spent.
    // sector is -1 for stages without one (P1, P0).
    bool Take(EFault kind, EStage stage, int sector);

    bool Empty() const { return m_faults.empty(); }

    static const char* KindName(EFault kind);
    static const char* StageName(EStage stage);
    // Whether a fault of this kind has any meaning at this stage.
    static bool Applies(EFault kind, EStage stage);
    // The option help: kinds, stages and the WHEN syntax.
    static std::string Help();

private:
    struct SFault {
        EFault kind;
        bool once = true;
        bool spent = false;
        int sector = -1;  // -1: any
        int stage = -1;   // -1: any applicable stage, else an EStage value
    };
    std::vector<SFault> m_faults;
};
