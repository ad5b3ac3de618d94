#include "CGangProgress.h"

#include "TransferTexts.h"

namespace {

constexpr std::chrono::milliseconds kEvery{50};

}  // namespace

CGangProgress::CGangProgress(CGangTransfer& gang) : m_gang(gang), m_units(gang.Count()) { }

void CGangProgress::OnStatus(size_t, const std::string&)
{
    m_news = true;
}

void CGangProgress::OnWake()
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_news && now - m_last < kEvery)
        return;
    if (now - m_last < kEvery / 5)
        return;  // a burst of statuses is taken once
    m_last = now;
    m_news = false;
    Take();
}

void CGangProgress::Take()
{
    std::vector<Unit> units = Units();
    for (size_t i = 0; i < units.size(); ++i) {
        Unit& unit = units[i];
        if (unit.ended)
            continue;
        // Every unit has been started before the first wake: one that does
        // not run has ended (or never opened its port).
        if (!m_gang.Running(i)) {
            unit.ended = true;
            unit.outcome = m_gang.GetOutcome(i);
            continue;
        }
        const CGangTransfer::Outcome outcome = m_gang.GetOutcome(i);
        unit.state = outcome.verifying ? CProgramRun::State::Verifying : CProgramRun::State::Writing;
        unit.sector = m_gang.CurrentSector(i);
        unit.percent = m_gang.Percent(i);
        unit.seconds = outcome.seconds;
    }
    const std::lock_guard<std::mutex> hold(m_mutex);
    m_units.swap(units);
}

std::vector<CGangProgress::Unit> CGangProgress::Units() const
{
    const std::lock_guard<std::mutex> hold(m_mutex);
    return m_units;
}

void CGangProgress::Finish(CProgramRun& run, size_t unit, const CGangTransfer::Outcome& outcome)
{
    if (outcome.result == CGangTransfer::Result::Completed) {
        run.Succeed(unit, outcome.seconds);
        return;
    }
    std::string reason;
    if (outcome.result == CGangTransfer::Result::Interrupted)
        reason = CProgramRun::kStoppedReason;
    else if (!outcome.openFailure.empty())
        reason = outcome.openFailure;
    else if (outcome.verify == CGangTransfer::Verify::Differs) {
        reason = outcome.differing.size() == 1 ? "differs in sector" : "differs in sectors";
        for (size_t i = 0; i < outcome.differing.size(); ++i)
            reason += (i ? ", " : " ") + std::to_string(outcome.differing[i]);
    } else
        reason = StatusOneLine(outcome.status);
    if (reason.empty())
        reason = CGangTransfer::ResultWord(outcome.result);
    run.Fail(unit, reason, outcome.seconds);
}
