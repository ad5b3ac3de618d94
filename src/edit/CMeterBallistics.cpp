#include "CMeterBallistics.h"

#include <algorithm>
#include <cmath>

namespace {
// Milliseconds from then to now on the wrapping tick count; a reading a
// little before then counts as then.
uint32_t Since(uint32_t then, uint32_t now)
{
    const uint32_t elapsed = now - then;
    return int32_t(elapsed) < 0 ? 0 : elapsed;
}
}  // namespace

double CMeterBallistics::LevelToDb(int level)
{
    level = std::clamp(level, 0, kFullScale);
    if (level == 0)
        return kFloorDb;
    return std::max(kFloorDb, 20.0 * std::log10(double(level) / kFullScale));
}

double CMeterBallistics::Fraction(double db)
{
    return std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0);
}

CMeterBallistics::Zone CMeterBallistics::ZoneOf(double db)
{
    if (db >= kRedDb)
        return Zone::Red;
    if (db >= kYellowDb)
        return Zone::Yellow;
    return Zone::Green;
}

void CMeterBallistics::SetLevel(int level, uint32_t nowMs)
{
    const double db = LevelToDb(level);
    // Anchor the bar where it stands now, or higher when the input is.
    m_barDb = std::max(db, BarDb(nowMs));
    m_barMs = nowMs;
    if (db >= PeakDb(nowMs)) {
        m_peakDb = db;
        m_peakMs = nowMs;
    }
}

void CMeterBallistics::Clear()
{
    m_barDb = m_peakDb = kFloorDb;
}

double CMeterBallistics::BarDb(uint32_t nowMs) const
{
    const uint32_t elapsed = Since(m_barMs, nowMs);
    return std::max(kFloorDb, m_barDb - kBarFallDbPerS * elapsed / 1000.0);
}

double CMeterBallistics::PeakDb(uint32_t nowMs) const
{
    const uint32_t elapsed = Since(m_peakMs, nowMs);
    double peak = m_peakDb;
    if (elapsed > kPeakHoldMs)
        peak -= kPeakFallDbPerS * (elapsed - kPeakHoldMs) / 1000.0;
    // The mark never sits below the bar.
    return std::max({kFloorDb, peak, BarDb(nowMs)});
}

bool CMeterBallistics::AtRest(uint32_t nowMs) const
{
    return BarDb(nowMs) <= kFloorDb && PeakDb(nowMs) <= kFloorDb;
}
