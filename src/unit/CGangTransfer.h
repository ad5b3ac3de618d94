// One image programmed into (or compared with) many units at once. The units
// share one read-only copy of the image's bytes and of its needed sectors;
// each has its own line and serial worker, its own needed-sector flags and
// its own CUnitTransfer, so every unit runs the same protocol
// steps, time limits and recovery as a transfer on its own; one thread steps
// them all, waking only on a tick or a worker's news. A unit that fails never
// stops the others. With one unit and an echo it shows what a single
// transfer shows.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CTransferSession.h"
#include "CWritePlan.h"

class cMemoryMap;

class CGangTransfer {
public:
    enum class Kind { Write, Verify };
    enum class Result { Completed, Failed, Interrupted };
    // None: no read-back was asked for; NotDone: asked for, it did not end.
    enum class Verify { None, NotDone, Ok, Differs };
    // "completed", "failed", "interrupted".
    static const char* ResultWord(Result result);

    // Told on the stepping thread.
    class IObserver {
    public:
        virtual ~IObserver() = default;
        virtual void OnStatus(size_t unit, const std::string& text) = 0;
        // After every wake of the loop: a display may refresh.
        virtual void OnWake() { }
    };

    struct Outcome {
        Result result = Result::Failed;
        std::string status;                 // the last status, line breaks as the transfer wrote them
        std::string heldStatus;             // the last status if the echo held it back for the caller
        int endSector = -1;                 // the sector it was on when it ended, or -1
        std::string openFailure;            // why the port could not be opened, or empty
        std::vector<std::string> messages;  // message boxes the transfer raised
        double seconds = 0;
        size_t sectorsWritten = 0;
        Verify verify = Verify::None;
        std::vector<uint8_t> differing;
        bool started = false;    // the port opened and the transfer ran
        bool verifying = false;  // it was reading back or verifying when it ended
    };

    // settings: baud, time-outs, recovery and read-back for every unit; the
    // port names come from ports.
    CGangTransfer(const cMemoryMap& image, const std::vector<std::string>& ports, const TransferSettings& settings);
    ~CGangTransfer();

    // A single unit's texts on echo, as a transfer on its own shows them.
    void SetEcho(FILE* echo, bool progressLine);
    void SetObserver(IObserver* observer) { m_observer = observer; }

    // Starts every unit and steps them until all have ended; false when stop
    // ended them.
    bool Run(Kind kind, const std::atomic<bool>* stop);

    size_t Count() const { return m_units.size(); }
    // What a write sends each unit, and about how long it takes one.
    const CWritePlan& Plan() const { return m_plan; }
    const std::string& Port(size_t unit) const;
    Outcome GetOutcome(size_t unit) const;

    // What a display shows while they run.
    bool Running(size_t unit) const;
    int Percent(size_t unit) const;
    double BytesPerSecond(size_t unit) const;
    int CurrentSector(size_t unit);
    const std::string& Status(size_t unit) const;

private:
    struct Unit;

    std::shared_ptr<const uint8_t[]> m_bytes;  // the image, read by every unit
    CWritePlan m_plan;                         // the sectors the image needs written
    std::vector<std::unique_ptr<Unit>> m_units;
    TransferSettings m_settings;
    IObserver* m_observer = nullptr;
    Kind m_kind = Kind::Write;
};
