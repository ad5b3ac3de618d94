#include "CProgramRun.h"

#include <algorithm>

const char* const CProgramRun::kStoppedReason = "stopped";

bool CProgramRun::Start(const std::vector<std::string>& ports)
{
    if (m_phase == Phase::Running || m_phase == Phase::Stopping || ports.empty())
        return false;
    m_rows.clear();
    m_runRows.clear();
    for (const std::string& port : ports) {
        // A port named twice would be opened twice by one run.
        if (std::any_of(m_rows.begin(), m_rows.end(), [&](const Row& row) { return row.port == port; }))
            continue;
        Row row;
        row.port = port;
        m_runRows.push_back(m_rows.size());
        m_rows.push_back(row);
    }
    m_phase = Phase::Running;
    return true;
}

bool CProgramRun::Retry()
{
    if (m_phase != Phase::Finished || Failed() == 0)
        return false;
    m_runRows.clear();
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].state != State::Failed)
            continue;
        m_rows[i] = Row{m_rows[i].port};
        m_runRows.push_back(i);
    }
    m_phase = Phase::Running;
    return true;
}

bool CProgramRun::NextBatch()
{
    if (m_phase != Phase::Finished || m_rows.empty())
        return false;
    std::vector<std::string> ports;
    for (const Row& row : m_rows)
        ports.push_back(row.port);
    m_phase = Phase::Ready;
    return Start(ports);
}

void CProgramRun::Stop()
{
    if (m_phase == Phase::Running)
        m_phase = Phase::Stopping;
}

std::vector<std::string> CProgramRun::RunPorts() const
{
    std::vector<std::string> ports;
    for (size_t row : m_runRows)
        ports.push_back(m_rows[row].port);
    return ports;
}

CProgramRun::Row* CProgramRun::RunRow(size_t unit)
{
    return unit < m_runRows.size() ? &m_rows[m_runRows[unit]] : nullptr;
}

void CProgramRun::Update(size_t unit, State state, int sector, int percent, double seconds)
{
    Row* row = RunRow(unit);
    // A result stands; late news of the transfer does not undo it.
    if (!row || row->state == State::Done || row->state == State::Failed)
        return;
    row->state = state;
    row->sector = sector;
    row->percent = std::clamp(percent, 0, 100);
    row->seconds = seconds;
}

void CProgramRun::Fail(size_t unit, const std::string& reason, double seconds)
{
    if (Row* row = RunRow(unit)) {
        row->state = State::Failed;
        row->reason = reason;
        row->seconds = seconds;
    }
}

void CProgramRun::Succeed(size_t unit, double seconds)
{
    if (Row* row = RunRow(unit)) {
        row->state = State::Done;
        row->percent = 100;
        row->seconds = seconds;
    }
}

void CProgramRun::Finish()
{
    if (m_phase != Phase::Running && m_phase != Phase::Stopping)
        return;
    for (size_t index : m_runRows) {
        Row& row = m_rows[index];
        if (row.state != State::Done && row.state != State::Failed) {
            row.state = State::Failed;
            row.reason = kStoppedReason;
        }
    }
    m_runRows.clear();
    m_phase = Phase::Finished;
}

CProgramRun::Buttons CProgramRun::Enabled(bool havePorts, bool haveImage) const
{
    Buttons buttons;
    const bool idle = m_phase == Phase::Ready || m_phase == Phase::Finished;
    buttons.start = idle && havePorts && haveImage;
    buttons.stop = m_phase == Phase::Running;
    buttons.retry = m_phase == Phase::Finished && haveImage && Failed() > 0;
    buttons.nextBatch = m_phase == Phase::Finished && haveImage && !m_rows.empty();
    buttons.settings = idle;
    return buttons;
}

size_t CProgramRun::Programmed() const
{
    return size_t(std::count_if(m_rows.begin(), m_rows.end(), [](const Row& row) { return row.state == State::Done; }));
}

size_t CProgramRun::Failed() const
{
    return size_t(
        std::count_if(m_rows.begin(), m_rows.end(), [](const Row& row) { return row.state == State::Failed; }));
}

std::string CProgramRun::Summary() const
{
    return std::to_string(Programmed()) + " of " + std::to_string(m_rows.size()) + " units programmed, " +
           std::to_string(Failed()) + " failed";
}

std::string CProgramRun::StateText(const Row& row)
{
    switch (row.state) {
    case State::Writing:
        return row.sector >= 0 ? "Writing sector " + std::to_string(row.sector) : "Writing";
    case State::Verifying:
        return "Verifying";
    case State::Done:
        return "Done";
    case State::Failed:
        return "Failed: " + row.reason;
    default:
        return "Waiting";
    }
}
