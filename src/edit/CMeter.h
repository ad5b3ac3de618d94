// The input level meter of the "Edit Message" dialog: a horizontal bar on a
// -60..0 dBFS scale in green, yellow and red, with a peak-hold mark. The edit
// dialog hands it a peak about 66 times a second while recording; SetLevel
// only notes the level and asks for a repaint, which Qt coalesces. A light
// timer keeps the bar falling between levels and stops once it is at rest.
// A screen reader reads it as a progress bar of 0-100 (CMeterAccessible).
#pragma once

#include <QBasicTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "CMeterBallistics.h"

class CMeter : public QWidget {
    Q_OBJECT

public:
    explicit CMeter(QWidget* parent = nullptr);

    // A peak of 16-bit input, 0-32767; values outside are clamped.
    void SetLevel(int level);
    // Back to rest.
    void Clear();

    // How far the bar reaches along the scale now, 0 at rest to 100.
    int Percent() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // For tests and the benchmark: the motion, and whether the fall timer runs.
    const CMeterBallistics& Ballistics() const { return m_ballistics; }
    bool Falling() const { return m_fallTimer.isActive(); }
    static uint32_t NowMs();
    // The clock the motion is read on; NowMs unless replaced (a picture of
    // the meter that must not depend on when it is painted).
    void SetClock(std::function<uint32_t()> clock) { m_clock = std::move(clock); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    static constexpr int kFallTickMs = 30;
    // A screen reader hears of a new value at most this often.
    static constexpr uint32_t kValueEventMs = 250;

    // Tells a screen reader the value, when it changed and not too often.
    void AnnounceValue(bool now);

    CMeterBallistics m_ballistics;
    std::function<uint32_t()> m_clock = NowMs;
    QBasicTimer m_fallTimer;
    int m_announced = 0;
    uint32_t m_announcedMs = 0;
};
