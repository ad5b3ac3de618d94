#pragma once
// The unit's command interpreter. Bytes from the host go in through Feed; replies,
// erase and programming delays and faults go out through the link.
//
// Commands end with a carriage return and are echoed whole, followed by a status
// character: 'A' when accepted, 'N' when not.
//   Unn  echo, status, the sector's bytes, their 16-bit sum (low byte first)
//   P1   echo, status; enters programming mode
//   P0   echo, status; leaves programming mode
//   Rnn  echo, status; in programming mode the unit then takes the sector's bytes
//        and their sum, answers 'A' (sum right) or 'N', erases and programs, and
//        answers 'G'

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CFaultPlan.h"

class CUnitFlash;
class CUnitLog;
class IUnitLink;

struct SUnitTiming {
    unsigned eraseMs64 = 600;     // erase and program a 64 KB sector
    unsigned eraseMs8 = 150;      // erase and program an 8 KB sector
    unsigned stallMs = 7000;      // the "stall" fault's pause
    unsigned slowMs = 11000;      // the "slow-prog" fault's programming time
    unsigned rxTimeoutMs = 3000;  // a sector transfer silent this long is dropped (0: never)
};

class CUnitEngine {
public:
    CUnitEngine(CUnitFlash& flash, CFaultPlan& faults, IUnitLink& link, CUnitLog* log, const SUnitTiming& timing);

    void Feed(const uint8_t* data, size_t n, uint64_t nowMs);
    // Drops a sector transfer that has gone quiet for too long.
    void Idle(uint64_t nowMs);
    // Input arrived garbled: whatever partial command was collected is lost.
    void ResetLine();

    bool Vanished() const { return m_vanished; }
    bool ProgramMode() const { return m_programMode; }
    bool ReceivingSector() const { return m_rxSector >= 0; }

private:
    void OnCommand();
    void OnReadCommand(int sector);
    void OnWriteCommand(int sector);
    void OnModeCommand(bool enter);
    void OnSectorReceived();
    void TakeSectorByte(uint8_t b);

    // Sends a reply, logged; garbage faults are applied here. False when the
    // line is gone.
    bool Reply(EStage stage, int sector, const uint8_t* data, size_t n);
    bool Reply(EStage stage, int sector, const std::string& text);
    bool Fault(EFault kind, EStage stage, int sector);
    void DoVanish();

    CUnitFlash& m_flash;
    CFaultPlan& m_faults;
    IUnitLink& m_link;
    CUnitLog* m_log;
    SUnitTiming m_timing;

    std::string m_line;
    bool m_programMode = false;
    bool m_vanished = false;
    uint64_t m_nowMs = 0;

    // Sector being written: -1 while taking commands.
    int m_rxSector = -1;
    std::vector<uint8_t> m_rxData;
    size_t m_rxExpected = 0;
    uint64_t m_rxLastMs = 0;
    bool m_rxStall = false;
    bool m_rxVanish = false;
    bool m_rxHold = false;  // never dropped for quiet, however long
};
