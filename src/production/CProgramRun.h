// What the "Program Units" window shows and allows, without its widgets: one
// row per unit of the batch (port, state, percent, elapsed time), the phase
// of the batch, which buttons work in it, the summary line, and which ports a
// start, a retry or the next batch runs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CProgramRun {
public:
    enum class Phase { Ready, Running, Stopping, Finished };
    enum class State { Waiting, Writing, Verifying, Done, Failed };

    struct Row {
        std::string port;
        State state = State::Waiting;
        int sector = -1;     // the sector being written, -1 when not known
        std::string reason;  // why it failed
        int percent = 0;
        double seconds = 0;
    };

    struct Buttons {
        bool start = false;
        bool stop = false;
        bool retry = false;
        bool nextBatch = false;
        // The port check boxes, the baud rate and the options.
        bool settings = false;
    };

    Phase GetPhase() const { return m_phase; }
    const std::vector<Row>& Rows() const { return m_rows; }

    // A new batch on the checked ports (each once): every row Waiting. False
    // when a run is going on or no port is given.
    bool Start(const std::vector<std::string>& ports);
    // After a batch: only the failed rows run again, the others keep their
    // result. False when nothing failed or a run is going on.
    bool Retry();
    // After a batch: the rows are cleared and the same ports run again with
    // the units the operator has put in.
    bool NextBatch();
    // The operator pressed Stop: the run ends once every transfer has.
    void Stop();

    // The ports the run started by Start, Retry or NextBatch drives, in the
    // order of its units.
    std::vector<std::string> RunPorts() const;
    // News of the run's unit (an index into RunPorts()).
    void Update(size_t unit, State state, int sector, int percent, double seconds);
    void Fail(size_t unit, const std::string& reason, double seconds);
    void Succeed(size_t unit, double seconds);
    // Every transfer has ended; a unit the run left unfinished failed.
    void Finish();

    Buttons Enabled(bool havePorts, bool haveImage) const;
    size_t Programmed() const;
    size_t Failed() const;
    // "N of M units programmed, K failed".
    std::string Summary() const;
    // "Waiting", "Writing sector N", "Verifying", "Done", "Failed: reason".
    static std::string StateText(const Row& row);

    static const char* const kStoppedReason;

private:
    Row* RunRow(size_t unit);

    Phase m_phase = Phase::Ready;
    std::vector<Row> m_rows;
    std::vector<size_t> m_runRows;  // the rows the current run drives
};
