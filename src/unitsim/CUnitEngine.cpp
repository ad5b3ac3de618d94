#include "CUnitEngine.h"

#include <cstring>

#include "CUnitFlash.h"
#include "CUnitLog.h"
#include "IUnitLink.h"

namespace {

// Stray bytes of the "garbage" fault: high-bit bytes, so never a valid ack.
const uint8_t kGarbage[] = {0xF8, 0x80, 0xFE};

constexpr size_t kMaxLine = 16;

bool ParseSectorCommand(const std::string& line, char letter, int* sector)
{
    if (line.size() != 3 || line[0] != letter)
        return false;
    if (line[1] < '0' || line[1] > '9' || line[2] < '0' || line[2] > '9')
        return false;
    *sector = (line[1] - '0') * 10 + (line[2] - '0');
    return true;
}

}  // namespace

CUnitEngine::CUnitEngine(CUnitFlash& flash, CFaultPlan& faults, IUnitLink& link, CUnitLog* log,
                         const SUnitTiming& timing)
    : m_flash(flash), m_faults(faults), m_link(link), m_log(log), m_timing(timing)
{
}

void CUnitEngine::Feed(const uint8_t* data, size_t n, uint64_t nowMs)
{
    m_nowMs = nowMs;
    for (size_t i = 0; i < n && !m_vanished; ++i) {
        const uint8_t b = data[i];
        if (m_rxSector >= 0) {
            m_rxLastMs = nowMs;
            TakeSectorByte(b);
            continue;
        }
        if (b == '\r') {
            OnCommand();
            m_line.clear();
            continue;
        }
        // Line feeds and NULs between commands are line noise, not commands.
        if (m_line.empty() && (b == '\n' || b == 0))
            continue;
        m_line += static_cast<char>(b);
        if (m_line.size() >= kMaxLine) {
            if (m_log)
                m_log->Write(
                    "<- noise dropped: %s",
                    CUnitLog::Printable(reinterpret_cast<const uint8_t*>(m_line.data()), m_line.size()).c_str());
            m_line.clear();
        }
    }
}

void CUnitEngine::Idle(uint64_t nowMs)
{
    if (m_rxSector < 0 || m_timing.rxTimeoutMs == 0 || m_vanished || m_rxHold)
        return;
    if (nowMs - m_rxLastMs > m_timing.rxTimeoutMs) {
        if (m_log)
            m_log->Write("   sector %02d transfer dropped after %zu of %zu bytes (line quiet)", m_rxSector,
                         m_rxData.size(), m_rxExpected);
        m_rxSector = -1;
        m_rxData.clear();
    }
}

void CUnitEngine::ResetLine()
{
    m_line.clear();
}

bool CUnitEngine::Fault(EFault kind, EStage stage, int sector)
{
    if (!m_faults.Take(kind, stage, sector))
        return false;
    if (m_log)
        m_log->Write("   fault %s at %s%s", CFaultPlan::KindName(kind), CFaultPlan::StageName(stage),
                     sector >= 0 ? (" sector " + std::to_string(sector)).c_str() : "");
    return true;
}

void CUnitEngine::DoVanish()
{
    if (m_log)
        m_log->Write("   line closed (vanished)");
    m_vanished = true;
    m_link.Vanish();
}

bool CUnitEngine::Reply(EStage stage, int sector, const uint8_t* data, size_t n)
{
    if (Fault(EFault::Garbage, stage, sector)) {
        if (m_log)
            m_log->Write("-> %s", CUnitLog::Printable(kGarbage, sizeof kGarbage).c_str());
        if (!m_link.Send(kGarbage, sizeof kGarbage))
            return false;
    }
    if (n == 0)
        return true;
    if (m_log)
        m_log->Write("-> %s", CUnitLog::Printable(data, n).c_str());
    return m_link.Send(data, n);
}

bool CUnitEngine::Reply(EStage stage, int sector, const std::string& text)
{
    return Reply(stage, sector, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void CUnitEngine::OnCommand()
{
    if (m_log)
        m_log->Write("<- %s\\r",
                     CUnitLog::Printable(reinterpret_cast<const uint8_t*>(m_line.data()), m_line.size()).c_str());
    int sector = -1;
    if (ParseSectorCommand(m_line, 'U', &sector)) {
        OnReadCommand(sector);
    } else if (ParseSectorCommand(m_line, 'R', &sector)) {
        OnWriteCommand(sector);
    } else if (m_line == "P1" || m_line == "P0") {
        OnModeCommand(m_line == "P1");
    } else {
        const std::string reply = m_line + "\rN";
        if (m_log)
            m_log->Write("-> %s",
                         CUnitLog::Printable(reinterpret_cast<const uint8_t*>(reply.data()), reply.size()).c_str());
        m_link.Send(reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
    }
}

void CUnitEngine::OnModeCommand(bool enter)
{
    const EStage stage = enter ? EStage::P1 : EStage::P0;
    const std::string echo = m_line + "\r";
    if (Fault(EFault::NoReply, stage, -1))
        return;
    if (Fault(EFault::Vanish, stage, -1)) {
        DoVanish();
        return;
    }
    if (Fault(EFault::Partial, stage, -1)) {
        m_programMode = enter;
        Reply(stage, -1, echo);
        return;
    }
    if (Fault(EFault::WrongAck, stage, -1)) {
        Reply(stage, -1, echo + "N");
        return;
    }
    m_programMode = enter;
    Reply(stage, -1, echo + "A");
}

void CUnitEngine::OnReadCommand(int sector)
{
    const std::string echo = m_line + "\r";
    if (!CUnitFlash::IsValidSector(sector)) {
        Reply(EStage::U, -1, echo + "N");
        return;
    }
    if (Fault(EFault::NoReply, EStage::U, sector))
        return;

    const uint32_t L = CUnitFlash::SectorSize(sector);
    std::vector<uint8_t> reply(L + 7);
    std::memcpy(reply.data(), echo.data(), 4);
    reply[4] = 'A';
    std::memcpy(reply.data() + 5, m_flash.SectorData(sector), L);
    uint16_t sum = m_flash.SectorChecksum(sector);
    if (Fault(EFault::BadChecksum, EStage::U, sector))
        sum = static_cast<uint16_t>(sum + 1);
    if (Fault(EFault::FlipBit, EStage::U, sector))
        reply[5 + L / 2] ^= 0x01;
    reply[5 + L] = static_cast<uint8_t>(sum & 0xFF);
    reply[6 + L] = static_cast<uint8_t>(sum >> 8);

    const size_t half = 5 + L / 2;
    if (Fault(EFault::Partial, EStage::U, sector)) {
        Reply(EStage::U, sector, reply.data(), half);
        return;
    }
    if (Fault(EFault::Vanish, EStage::U, sector)) {
        if (Reply(EStage::U, sector, reply.data(), half))
            DoVanish();
        return;
    }
    if (Fault(EFault::Stall, EStage::U, sector)) {
        if (!Reply(EStage::U, sector, reply.data(), half))
            return;
        if (m_log)
            m_log->Write("   stalling %u ms", m_timing.stallMs);
        if (!m_link.Pause(m_timing.stallMs))
            return;
        if (m_log)
            m_log->Write("-> %s", CUnitLog::Printable(reply.data() + half, reply.size() - half).c_str());
        m_link.Send(reply.data() + half, reply.size() - half);
        return;
    }
    Reply(EStage::U, sector, reply.data(), reply.size());
}

void CUnitEngine::OnWriteCommand(int sector)
{
    const std::string echo = m_line + "\r";
    if (!CUnitFlash::IsValidSector(sector) || !m_programMode) {
        if (m_log && !m_programMode)
            m_log->Write("   refused: not in programming mode");
        Reply(EStage::R, -1, echo + "N");
        return;
    }
    if (Fault(EFault::NoReply, EStage::R, sector))
        return;
    if (Fault(EFault::Partial, EStage::R, sector)) {
        Reply(EStage::R, sector, echo);
        return;
    }
    if (Fault(EFault::WrongAck, EStage::R, sector)) {
        Reply(EStage::R, sector, echo + "N");
        return;
    }
    // Decided now, acted on when half the sector has come in.
    m_rxStall = Fault(EFault::Stall, EStage::R, sector);
    m_rxVanish = Fault(EFault::Vanish, EStage::R, sector);
    m_rxHold = Fault(EFault::HoldSector, EStage::R, sector);
    if (!Reply(EStage::R, sector, echo + "A"))
        return;
    m_rxSector = sector;
    m_rxExpected = CUnitFlash::SectorSize(sector) + 2;
    m_rxData.clear();
    m_rxData.reserve(m_rxExpected);
    m_rxLastMs = m_nowMs;
}

void CUnitEngine::TakeSectorByte(uint8_t b)
{
    m_rxData.push_back(b);
    if (m_rxData.size() == CUnitFlash::SectorSize(m_rxSector) / 2) {
        if (m_rxVanish) {
            DoVanish();
            return;
        }
        if (m_rxStall) {
            if (m_log)
                m_log->Write("   stalling %u ms with %zu bytes in", m_timing.stallMs, m_rxData.size());
            m_link.Pause(m_timing.stallMs);
        }
    }
    if (m_rxData.size() == m_rxExpected)
        OnSectorReceived();
}

void CUnitEngine::OnSectorReceived()
{
    const int sector = m_rxSector;
    m_rxSector = -1;
    const uint32_t L = CUnitFlash::SectorSize(sector);
    uint32_t total = 0;
    for (uint32_t i = 0; i < L; ++i)
        total += m_rxData[i];
    const uint16_t computed = static_cast<uint16_t>(total);
    const uint16_t received = static_cast<uint16_t>(m_rxData[L] | (m_rxData[L + 1] << 8));
    if (m_log)
        m_log->Write("<- %u bytes of sector %02d, checksum %04X (computed %04X)", L + 2, sector, received, computed);

    if (Fault(EFault::NoReply, EStage::Sum, sector))
        return;
    if (computed != received) {
        Reply(EStage::Sum, sector, "N");
        return;
    }
    if (Fault(EFault::WrongAck, EStage::Sum, sector)) {
        Reply(EStage::Sum, sector, "N");
        return;
    }
    if (!Reply(EStage::Sum, sector, "A"))
        return;

    if (Fault(EFault::NoReply, EStage::Program, sector) || Fault(EFault::NoG, EStage::Program, sector))
        return;
    unsigned ms = L == 0x2000 ? m_timing.eraseMs8 : m_timing.eraseMs64;
    if (Fault(EFault::SlowProgram, EStage::Program, sector))
        ms = m_timing.slowMs;
    if (ms > 0 && !m_link.Pause(ms))
        return;
    m_flash.ProgramSector(sector, m_rxData.data());
    std::string error;
    const bool saved = m_flash.Save(&error);
    if (m_log)
        m_log->Write("   sector %02d programmed in %u ms%s%s", sector, ms, saved ? "" : ", NOT SAVED: ", error.c_str());
    if (!saved) {
        Reply(EStage::Program, sector, "N");
        return;
    }
    Reply(EStage::Program, sector, Fault(EFault::WrongAck, EStage::Program, sector) ? "A" : "G");
}
