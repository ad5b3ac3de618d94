#include "CWritePlan.h"

#include <algorithm>
#include <cmath>

#include "UnitProtocol.h"
#include "cMemoryMap.h"

namespace {

constexpr double kBitsPerByte = 10;  // 8N1: a start and a stop bit
// The unit's erase-and-program time for a sector of each size.
constexpr double kProgramSeconds64K = 0.600;
constexpr double kProgramSeconds8K = 0.150;
// Turn-around per sector and per mode command: the program's step and the
// unit's reply each take up to a tick before the next byte goes out.
constexpr double kTurnSeconds = 0.040;
// Opening the port and letting the line settle before the first command.
constexpr double kStartSeconds = 0.200;

uint32_t SectorBytes(uint8_t sector)
{
    return cMemoryMap::GetSectorEnd(sector) - cMemoryMap::GetSectorStart(sector);
}

}  // namespace

CWritePlan::CWritePlan(std::vector<uint8_t> sectors, int baud, bool write) : m_sectors(std::move(sectors)), m_baud(baud)
{
    using P = UnitProtocol;
    const double perByte = baud > 0 ? kBitsPerByte / baud : 0;
    uint64_t lineBytes = 0;
    double waits = 0;
    for (uint8_t sector : m_sectors) {
        const uint32_t bytes = SectorBytes(sector);
        m_bytes += bytes;
        const uint32_t command = uint32_t(P::SectorCommand(P::kWriteSectorLetter, sector).size());
        if (write) {
            lineBytes += command + P::kSectorStartReplyBytes + bytes + P::kChecksumBytes + P::kChecksumReplyBytes;
            waits += (bytes > 0x2000 ? kProgramSeconds64K : kProgramSeconds8K) + kTurnSeconds;
        } else {
            lineBytes += command + bytes + P::kReadReplyExtra;
            waits += kTurnSeconds;
        }
    }
    if (write && !m_sectors.empty()) {
        lineBytes += 2 * (P::kModeCommandBytes + P::kModeReplyBytes);
        waits += 2 * kTurnSeconds;
    }
    m_seconds = m_sectors.empty() ? 0 : kStartSeconds + double(lineBytes) * perByte + waits;
}

CWritePlan CWritePlan::ForWrite(const cMemoryMap& image, int baud)
{
    std::vector<uint8_t> sectors;
    for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
        if (image.IsSectorNeeded(s))
            sectors.push_back(s);
    return CWritePlan(std::move(sectors), baud, true);
}

CWritePlan CWritePlan::ForVerify(const cMemoryMap& image, int baud)
{
    std::vector<uint8_t> sectors;
    const int last = std::min<int>(image.GetLastUsedSector(), cMemoryMap::kSectorCount - 1);
    for (int s = 0; s <= last; ++s)
        sectors.push_back(uint8_t(s));
    return CWritePlan(std::move(sectors), baud, false);
}

std::string CWritePlan::Grouped(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(size_t(at), ",");
    return digits;
}

std::string CWritePlan::Duration(double seconds)
{
    const long total = std::max(0L, std::lround(seconds));
    const long h = total / 3600, min = total % 3600 / 60, s = total % 60;
    if (h > 0)
        return std::to_string(h) + " h " + std::to_string(min) + " min";
    if (min > 0)
        return std::to_string(min) + " min " + std::to_string(s) + " s";
    return std::to_string(s) + " s";
}

std::string CWritePlan::Describe() const
{
    return std::to_string(Sectors()) + (Sectors() == 1 ? " sector, " : " sectors, ") + Grouped(m_bytes) +
           (m_bytes == 1 ? " byte" : " bytes") + ", about " + Duration(m_seconds) + " at " + std::to_string(m_baud) +
           " baud";
}
