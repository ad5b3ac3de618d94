// The input level meter of the "Edit Message" dialog: a horizontal bar on a
// -60..0 dBFS scale in green, yellow and red, with a peak-hold mark. The edit
// dialog hands it a peak about 66 times a second while recording; SetLevel
// only notes the level and asks for a repaint, which Qt coalesces. A light
// timer keeps the bar falling between levels and stops once it is at rest.
#pragma once

#include <QBasicTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "CMeterBallistics.h"

class CMeter : public QWidget {
public:
    explicit CMeter(QWidget* parent = nullptr);

    // A peak of 16-bit input, 0-32767; values outside are clamped.
    void SetLevel(int level);
    // Back to rest.
    void Clear();

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

    CMeterBallistics m_ballistics;
    std::function<uint32_t()> m_clock = NowMs;
    QBasicTimer m_fallTimer;
};
