#include "CGangTransfer.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

#include "CConsoleTransferView.h"
#include "CSerialTransferLink.h"
#include "CUnitTransfer.h"
#include "TransferLoop.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"
#include "serialport.h"

namespace {

using Clock = std::chrono::steady_clock;

// A unit's view: keeps what the transfer shows, tells the gang's observer of
// each status and notes when the transfer started and ended.
class CGangUnitView : public CConsoleTransferView {
public:
    CGangUnitView(CGangTransfer::IObserver* const& observer, size_t unit) : m_observer(observer), m_unit(unit) { }

    void SetStatus(const std::string& text) override
    {
        CConsoleTransferView::SetStatus(text);
        if (m_observer)
            m_observer->OnStatus(m_unit, text);
    }
    bool StartTimer(unsigned periodMs) override
    {
        m_start = m_end = Clock::now();
        return CConsoleTransferView::StartTimer(periodMs);
    }
    void StopTimer() override
    {
        CConsoleTransferView::StopTimer();
        m_end = Clock::now();
        m_byOperator = m_stop && m_stop->load();
    }

    void WatchStop(const std::atomic<bool>* stop) { m_stop = stop; }
    bool EndedByOperator() const { return m_byOperator; }
    double Seconds() const
    {
        const auto end = TimerRunning() ? Clock::now() : m_end;
        return std::chrono::duration<double>(end - m_start).count();
    }

private:
    CGangTransfer::IObserver* const& m_observer;
    size_t m_unit;
    const std::atomic<bool>* m_stop = nullptr;
    bool m_byOperator = false;
    Clock::time_point m_start = Clock::now(), m_end = m_start;
};

uint32_t SectorLength(int sector)
{
    return cMemoryMap::GetSectorEnd(uint8_t(sector)) - cMemoryMap::GetSectorStart(uint8_t(sector));
}

}  // namespace

struct CGangTransfer::Unit {
    Unit(const std::string& portName, size_t index, IObserver* const& observer,
         const std::shared_ptr<const uint8_t[]>& bytes)
        : port(portName), image(bytes), view(observer, index), transfer(image, link, view)
    {
    }

    std::string port;
    cMemoryMap image;  // the gang's bytes, this unit's table and needed sectors
    CSerialPort serial;
    CSerialTransferLink link{serial};
    CGangUnitView view;
    CUnitTransfer transfer;
    std::string openFailure;
    bool started = false;
    uint64_t plannedBytes = 0;  // what the progress will count, for the percentage
};

CGangTransfer::CGangTransfer(const cMemoryMap& image, const std::vector<std::string>& ports,
                             const TransferSettings& settings)
    : m_bytes(image.ShareImage()), m_plan(CWritePlan::ForWrite(image, settings.baudPosition == 1 ? 57600 : 115200)),
      m_settings(settings)
{
    // One copy of the bytes for every unit (they only read them) and one
    // plan of the sectors to write.
    for (size_t i = 0; i < ports.size(); ++i) {
        m_units.emplace_back(new Unit(ports[i], i, m_observer, m_bytes));
        // Each unit clears its own needed sectors as it programs them.
        for (uint8_t s : m_plan.SectorList())
            m_units.back()->image.SetSectorNeeded(s);
    }
}

CGangTransfer::~CGangTransfer() = default;

void CGangTransfer::SetEcho(FILE* echo, bool progressLine)
{
    for (auto& unit : m_units)
        unit->view.SetEcho(echo, progressLine);
}

bool CGangTransfer::Run(Kind kind, const std::atomic<bool>* stop)
{
    m_kind = kind;
    std::vector<LoopUnit> running;
    for (auto& unit : m_units) {
        TransferSettings settings = m_settings;
        settings.portName = unit->port;
        unit->view.WatchStop(stop);
        // Without the image's bytes there is nothing to send or compare.
        if (!m_bytes) {
            unit->view.SetStatus(strerror(ENOMEM));
            continue;
        }
        if (kind == Kind::Write)
            unit->transfer.StartWrite(settings);
        else
            unit->transfer.StartVerify(settings);
        if (!unit->view.TimerRunning()) {
            // In use, gone, no permission: this unit only.
            if (unit->transfer.LastOpenError() != 0)
                unit->openFailure = CSerial::OpenFailureText(unit->port, unit->transfer.LastOpenError());
            continue;
        }
        // The bytes the progress will count: every sector to write, and to
        // read back; or every sector to compare.
        const int last = std::min<int>(unit->image.GetLastUsedSector(), kLastImageSector);
        for (int s = 0; s < cMemoryMap::kSectorCount; ++s) {
            if (kind == Kind::Write && unit->image.IsSectorNeeded(uint8_t(s)))
                unit->plannedBytes += SectorLength(s) * (settings.verifyAfterWrite ? 2 : 1);
            else if (kind == Kind::Verify && s <= last)
                unit->plannedBytes += SectorLength(s);
        }
        unit->started = true;
        running.push_back({&unit->transfer, &unit->view});
    }
    return RunTransferLoops(running, stop, 0, true, [this] {
        if (m_observer)
            m_observer->OnWake();
    });
}

const char* CGangTransfer::ResultWord(Result result)
{
    switch (result) {
    case Result::Completed:
        return "completed";
    case Result::Interrupted:
        return "interrupted";
    default:
        return "failed";
    }
}

const std::string& CGangTransfer::Port(size_t unit) const
{
    return m_units[unit]->port;
}

CGangTransfer::Outcome CGangTransfer::GetOutcome(size_t index) const
{
    Unit& unit = *m_units[index];
    Outcome outcome;
    outcome.status = unit.view.Status();
    outcome.heldStatus = unit.view.HeldStatus();
    outcome.endSector = unit.transfer.EndSector();
    outcome.openFailure = unit.openFailure;
    outcome.messages = unit.view.Messages();
    outcome.seconds = unit.view.Seconds();
    outcome.sectorsWritten = unit.transfer.SectorsWritten();
    outcome.differing = unit.transfer.DifferingSectors();
    if (unit.transfer.Verified())
        outcome.verify = outcome.differing.empty() ? Verify::Ok : Verify::Differs;
    else if (m_kind == Kind::Verify || m_settings.verifyAfterWrite)
        outcome.verify = Verify::NotDone;
    outcome.started = unit.started;
    outcome.verifying = unit.transfer.Verifying();
    if (unit.transfer.Completed() && outcome.differing.empty())
        outcome.result = Result::Completed;
    else if (unit.view.EndedByOperator())
        outcome.result = Result::Interrupted;
    else
        outcome.result = Result::Failed;
    return outcome;
}

bool CGangTransfer::Running(size_t unit) const
{
    return m_units[unit]->view.TimerRunning();
}

int CGangTransfer::Percent(size_t index) const
{
    const Unit& unit = *m_units[index];
    if (unit.transfer.Completed())
        return 100;
    if (unit.plannedBytes == 0)
        return 0;
    return int(std::min<uint64_t>(99, unit.view.BytesMoved() * 100 / unit.plannedBytes));
}

double CGangTransfer::BytesPerSecond(size_t index) const
{
    const Unit& unit = *m_units[index];
    const double seconds = unit.view.Seconds();
    return seconds > 0 ? double(unit.view.BytesMoved()) / seconds : 0.0;
}

int CGangTransfer::CurrentSector(size_t unit)
{
    return m_units[unit]->transfer.CurrentSector();
}

const std::string& CGangTransfer::Status(size_t unit) const
{
    return m_units[unit]->view.Status();
}
