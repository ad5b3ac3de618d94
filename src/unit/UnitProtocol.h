// The unit's protocol as the transfers speak it: its commands and the
// characters of its replies, the layout of the replies, the line speeds, the
// time limits and the states a transfer goes through. Each is named here once;
// the session and the steppers use these names only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct UnitProtocol {
    // ---- Commands: ASCII, ended by a carriage return, no other framing ----
    static constexpr const char* kEnterPgmModeCommand = "P1\r";
    static constexpr const char* kLeavePgmModeCommand = "P0\r";
    static constexpr uint32_t kModeCommandBytes = 3;
    // The letter, the sector in two digits with a leading zero, a carriage
    // return: "U07\r" reads sector 7, "R07\r" announces its write.
    static constexpr char kReadSectorLetter = 'U';
    static constexpr char kWriteSectorLetter = 'R';
    static std::string SectorCommand(char letter, uint8_t sector)
    {
        char text[16];
        snprintf(text, sizeof text, "%c%02d\r", letter, int(sector));
        return text;
    }

    // ---- The unit's status characters ----
    static constexpr uint8_t kAccepted = 'A';
    static constexpr uint8_t kRefused = 'N';
    static constexpr uint8_t kProgrammed = 'G';
    // Put into the examined byte before a reply is asked for, so that a reply
    // that has not arrived never passes as an acknowledgement.
    static constexpr uint8_t kNotAnswered = 'X';

    // ---- Replies of the write, received at the start of its ack area ----
    // The echo of "P1\r" or "P0\r", then the status.
    static constexpr uint32_t kModeReplyBytes = 4;
    // The echo of "Rnn\r", then the status.
    static constexpr uint32_t kSectorStartReplyBytes = 5;
    // The checksum's status, then the programming result, asked for together.
    static constexpr uint32_t kChecksumReplyBytes = 2;
    static constexpr uint32_t kChecksumStatusAt = 0;
    static constexpr uint32_t kPgmResultAt = 1;

    // ---- A read reply: the echo and the status, the sector, its checksum ----
    static constexpr uint32_t kReadReplyLead = 5;
    static constexpr uint32_t kChecksumBytes = 2;  // low byte first
    static constexpr uint32_t kReadReplyExtra = kReadReplyLead + kChecksumBytes;

    // ---- Sizes on the line ----
    static constexpr uint32_t kBlockSize = 1024;  // bytes handed over per step
    static constexpr uint32_t kLargestSectorBytes = 65536;
    // Room for the reply of any sector: every reply lands at the start of the
    // read buffer, so it need not hold the whole memory (many units at once
    // each have one).
    static constexpr uint32_t kReadBufferSize = kLargestSectorBytes + kReadReplyExtra;
    static constexpr uint32_t kQueueSize = 4096;  // the driver's queues, bytes
    // Filler that completes any cut-off sector: the largest one and its checksum.
    static constexpr uint32_t kFillerBytes = kLargestSectorBytes + kChecksumBytes;
    // How far the filler may run ahead of the line, bytes.
    static constexpr uint32_t kFillerLead = 2048;

    // ---- Line speeds: the baud list's first entry, then its second ----
    struct LineSpeed {
        int32_t baud;
        float msPerByte;  // for the line-time limits
    };
    static constexpr LineSpeed kLineSpeeds[2] = {{115200, 0.08681f}, {57600, 0.17361f}};

    // ---- Time limits and periods ----
    static constexpr uint32_t kAckTimeoutMs = 5000;  // mode and sector-start acks, sector 0
    static constexpr uint32_t kPgmResultTimeoutMs = 10000;
    // Added to a reply's line time for the limits that grow with its length.
    static constexpr uint32_t kLineTimeMarginMs = 5000;
    // Silence after "P1" that starts completing a cut-off sector.
    static constexpr uint32_t kRecoveryProbeMs = 1000;
    // Quiet line that starts every transfer and ends the recovery; it
    // outlasts the pauses of a sender whose output was held while nobody read
    // it.
    static constexpr uint32_t kSettleQuietMs = 200;
    static constexpr unsigned kReadPeriodMs = 200;  // step timer while reading
    static constexpr unsigned kWritePeriodMs = 80;  // step timer while writing

    // ---- States: the protocol-state field of the request; 0 is idle ----
    enum : uint8_t {
        kIdle = 0,
        // The write.
        kEnterPgmMode = 1,
        kAwaitPgmModeAck = 2,
        kNextNeededSector = 3,
        kAwaitSectorStartAck = 4,
        kSendSectorData = 5,
        kSendChecksum = 6,
        kAwaitChecksumAck = 7,
        kAwaitPgmResult = 8,
        kLeavePgmMode = 9,
        kAwaitExitAck = 10,
        // A unit that does not answer "P1" may still be taking the bytes of a
        // sector whose write was cut off: complete it, then start again.
        kCompletePartialSector = 11,
        // Every transfer starts here too: what a unit still sends for an
        // interrupted transfer is dropped until the line is quiet.
        kSettleLine = 12,
        // The read; the verify uses its last two.
        kRequestSector0 = 23,
        kReceiveSector0 = 24,
        kNextSector = 25,
        kReceiveSector = 26,
    };

    static constexpr bool IsWriteState(uint8_t state) { return state >= kEnterPgmMode && state <= kAwaitExitAck; }
    static constexpr bool IsRecoveryState(uint8_t state)
    {
        return state == kCompletePartialSector || state == kSettleLine;
    }
    static constexpr bool IsReadState(uint8_t state) { return state >= kRequestSector0 && state <= kReceiveSector; }
    // States that act as soon as they are entered, without waiting for the line.
    static constexpr bool ActsOnEntry(uint8_t state)
    {
        return state == kEnterPgmMode || state == kNextNeededSector || state == kSendSectorData ||
               state == kSendChecksum || state == kLeavePgmMode || state == kCompletePartialSector ||
               state == kRequestSector0 || state == kNextSector;
    }
};
