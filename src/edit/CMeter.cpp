#include "CMeter.h"

#include <QAccessible>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>

#include "CDialogUnits.h"
#include "CMeterAccessible.h"

namespace {

// Lit and unlit colours of each zone.
struct ZoneColours {
    QColor lit;
    QColor unlit;
};

ZoneColours ColoursOf(CMeterBallistics::Zone zone)
{
    switch (zone) {
    case CMeterBallistics::Zone::Red:
        return {QColor(232, 48, 40), QColor(74, 26, 24)};
    case CMeterBallistics::Zone::Yellow:
        return {QColor(236, 208, 32), QColor(72, 66, 20)};
    case CMeterBallistics::Zone::Green:
    default:
        return {QColor(48, 200, 64), QColor(22, 60, 28)};
    }
}

// The scale's marks, in dBFS.
const double kMarksDb[] = {-48, -36, -24, -12, -6, -3};

}  // namespace

CMeter::CMeter(QWidget* parent) : QWidget(parent)
{
    setObjectName("CMeter");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    CMeterAccessible::Install();
}

uint32_t CMeter::NowMs()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int CMeter::Percent() const
{
    return int(CMeterBallistics::Fraction(m_ballistics.BarDb(m_clock())) * 100.0 + 0.5);
}

void CMeter::AnnounceValue(bool now)
{
    if (!QAccessible::isActive())
        return;
    const int value = Percent();
    const uint32_t at = m_clock();
    if (value == m_announced || (!now && at - m_announcedMs < kValueEventMs))
        return;
    m_announced = value;
    m_announcedMs = at;
    QAccessibleValueChangeEvent event(this, value);
    QAccessible::updateAccessibility(&event);
}

void CMeter::SetLevel(int level)
{
    const uint32_t now = m_clock();
    const bool wasAtRest = m_ballistics.AtRest(now);
    m_ballistics.SetLevel(level, now);
    AnnounceValue(false);
    if (m_ballistics.AtRest(now)) {
        if (!wasAtRest)
            update();
        return;
    }
    update();
    if (!m_fallTimer.isActive())
        m_fallTimer.start(kFallTickMs, Qt::CoarseTimer, this);
}

void CMeter::Clear()
{
    m_ballistics.Clear();
    m_fallTimer.stop();
    AnnounceValue(true);
    update();
}

QSize CMeter::sizeHint() const
{
    // The size the edit dialog gives it: 105 x 11 dialog units.
    return CDialogUnits(font()).Size(105, 11);
}

QSize CMeter::minimumSizeHint() const
{
    return QSize(60, 8);
}

void CMeter::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_fallTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    const bool atRest = m_ballistics.AtRest(m_clock());
    if (atRest)
        m_fallTimer.stop();
    AnnounceValue(atRest);
    update();
}

void CMeter::paintEvent(QPaintEvent*)
{
    const uint32_t now = m_clock();
    const double bar = CMeterBallistics::Fraction(m_ballistics.BarDb(now));
    const double peakDb = m_ballistics.PeakDb(now);

    QPainter painter(this);
    const QRect all = rect();
    // A sunken frame around the scale.
    painter.fillRect(all, palette().color(QPalette::Dark));
    painter.fillRect(all.adjusted(1, 1, 0, 0), palette().color(QPalette::Light));
    const QRect inner = all.adjusted(1, 1, -1, -1);
    painter.fillRect(inner, QColor(24, 24, 24));
    const QRect scale = inner.adjusted(1, 1, -1, -1);
    if (scale.width() <= 0 || scale.height() <= 0)
        return;

    auto xOf = [&scale](double fraction) { return scale.left() + int(fraction * scale.width() + 0.5); };
    const int yellowX = xOf(CMeterBallistics::Fraction(CMeterBallistics::kYellowDb));
    const int redX = xOf(CMeterBallistics::Fraction(CMeterBallistics::kRedDb));
    const int barX = xOf(bar);
    const int endX = scale.left() + scale.width();

    // Each zone: lit up to the bar, unlit beyond.
    struct Span {
        int from, to;
        CMeterBallistics::Zone zone;
    };
    const Span spans[] = {{scale.left(), yellowX, CMeterBallistics::Zone::Green},
                          {yellowX, redX, CMeterBallistics::Zone::Yellow},
                          {redX, endX, CMeterBallistics::Zone::Red}};
    for (const Span& span : spans) {
        const ZoneColours colours = ColoursOf(span.zone);
        const int litTo = std::clamp(barX, span.from, span.to);
        if (litTo > span.from)
            painter.fillRect(QRect(span.from, scale.top(), litTo - span.from, scale.height()), colours.lit);
        if (span.to > litTo)
            painter.fillRect(QRect(litTo, scale.top(), span.to - litTo, scale.height()), colours.unlit);
    }

    // Scale marks: short notches at the top and bottom edges.
    const int notch = std::max(2, scale.height() / 4);
    for (double db : kMarksDb) {
        const int x = xOf(CMeterBallistics::Fraction(db));
        painter.fillRect(QRect(x, scale.top(), 1, notch), QColor(10, 10, 10));
        painter.fillRect(QRect(x, scale.bottom() - notch + 1, 1, notch), QColor(10, 10, 10));
    }

    // The held peak: a bright mark two pixels wide.
    if (peakDb > CMeterBallistics::kFloorDb) {
        const int x = std::min(xOf(CMeterBallistics::Fraction(peakDb)), endX - 2);
        QColor mark = ColoursOf(CMeterBallistics::ZoneOf(peakDb)).lit.lighter(130);
        painter.fillRect(QRect(x, scale.top(), 2, scale.height()), mark);
    }
}
