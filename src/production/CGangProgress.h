// What a window shows of a gang that runs on another thread: the gang's
// observer takes each unit's state on the stepping thread, at most every
// 50 ms, and the window's thread reads the copy whenever it likes. Nothing of
// the gang itself is touched from the window's thread while it runs.
#pragma once

#include <chrono>
#include <mutex>
#include <vector>

#include "CGangTransfer.h"
#include "CProgramRun.h"

class CGangProgress : public CGangTransfer::IObserver {
public:
    struct Unit {
        CProgramRun::State state = CProgramRun::State::Waiting;
        int sector = -1;
        int percent = 0;
        double seconds = 0;
        // The transfer has ended: its outcome, taken once.
        bool ended = false;
        CGangTransfer::Outcome outcome;
    };

    explicit CGangProgress(CGangTransfer& gang);

    void OnStatus(size_t unit, const std::string& text) override;
    void OnWake() override;

    // The latest copy, one entry per unit of the gang.
    std::vector<Unit> Units() const;

    // After the run: the row's result of a unit's outcome.
    static void Finish(CProgramRun& run, size_t unit, const CGangTransfer::Outcome& outcome);

private:
    void Take();

    CGangTransfer& m_gang;
    mutable std::mutex m_mutex;
    std::vector<Unit> m_units;
    bool m_news = true;
    std::chrono::steady_clock::time_point m_last{};
};
