// The level meter as a real widget: SetLevel only schedules a repaint, the
// fall timer stops itself at rest, and what it paints follows the level.
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QTest>

#include "CDialogUnits.h"
#include "CMeter.h"

namespace {

// Counts the paint events a widget receives.
class CPaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

class MeterWidgetTest : public QObject {
    Q_OBJECT

private:
    // A meter shown at its edit-dialog size, with nothing pending.
    static void ShowMeter(CMeter& meter)
    {
        meter.resize(meter.sizeHint());
        meter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&meter));
        QCoreApplication::processEvents();
    }

    // The colour in the middle row at a fraction of the width.
    static QColor ColourAt(CMeter& meter, double fraction)
    {
        const QImage image = meter.grab().toImage();
        return image.pixelColor(int(fraction * (image.width() - 1)), image.height() / 2);
    }

private slots:
    void sizeIsTheEditDialogsPlace()
    {
        CMeter meter;
        const QSize hint = meter.sizeHint();
        QCOMPARE(hint, CDialogUnits(meter.font()).Size(105, 11));
        QVERIFY(hint.width() > 4 * hint.height());
        QVERIFY(hint.height() >= 8);
    }

    void setLevelSchedulesButDoesNotPaint()
    {
        CMeter meter;
        ShowMeter(meter);
        CPaintCounter counter;
        meter.installEventFilter(&counter);
        for (int i = 0; i < 10; ++i)
            meter.SetLevel(2000 * i);
        QCOMPARE(counter.paints, 0);
        QTRY_VERIFY(counter.paints > 0);
        // Ten levels in a row are one repaint, not ten.
        QVERIFY(counter.paints < 10);
    }

    void levelsClampAndClearReturnsToRest()
    {
        CMeter meter;
        ShowMeter(meter);
        meter.SetLevel(100000);
        const uint32_t now = CMeter::NowMs();
        QCOMPARE(meter.Ballistics().PeakDb(now), 0.0);
        QVERIFY(meter.Falling());
        meter.Clear();
        QVERIFY(!meter.Falling());
        QVERIFY(meter.Ballistics().AtRest(CMeter::NowMs()));

        // Below the scale there is nothing to show and nothing to time.
        meter.SetLevel(-7);
        QVERIFY(!meter.Falling());
        QVERIFY(meter.Ballistics().AtRest(CMeter::NowMs()));
    }

    void fallTimerStopsItselfAtRest()
    {
        CMeter meter;
        ShowMeter(meter);
        // About -58 dBFS: the mark holds 1.5 s, then has little to fall.
        meter.SetLevel(40);
        QVERIFY(meter.Falling());
        QTRY_VERIFY_WITH_TIMEOUT(!meter.Falling(), 10000);
        QVERIFY(meter.Ballistics().AtRest(CMeter::NowMs()));
    }

    // A screen reader finds a named progress bar whose value is how far the
    // bar reaches on the scale: -30 dBFS is half way, full scale 100, and
    // it falls back to 0 as the bar does.
    void readsAsAProgressBarOfItsReach()
    {
        CMeter meter;
        uint32_t now = 1000;
        meter.SetClock([&now] { return now; });
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&meter);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::ProgressBar);
        QCOMPARE(a->text(QAccessible::Name), QString("Input level"));
        QAccessibleValueInterface* value = a->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->minimumValue().toInt(), 0);
        QCOMPARE(value->maximumValue().toInt(), 100);
        QCOMPARE(value->currentValue().toInt(), 0);

        const struct {
            int level;
            int percent;
        } cases[] = {{1036, 50}, {32767, 100}, {0, 100}};  // 0: the bar is still up, falling
        for (const auto& c : cases) {
            meter.SetLevel(c.level);
            QCOMPARE(value->currentValue().toInt(), c.percent);
        }
        QCOMPARE(a->text(QAccessible::Value), QString("100%"));
        now += 1000;  // 30 dB down
        QCOMPARE(value->currentValue().toInt(), 50);
        meter.Clear();
        QCOMPARE(value->currentValue().toInt(), 0);
    }

    void paintsZonesLitUpToTheLevel()
    {
        CMeter meter;
        ShowMeter(meter);
        // At rest every zone is dark.
        const QColor restGreen = ColourAt(meter, 0.25);
        const QColor restRed = ColourAt(meter, 0.985);
        QVERIFY2(restGreen.green() < 100, qPrintable(restGreen.name()));
        QVERIFY2(restRed.red() < 100, qPrintable(restRed.name()));

        meter.SetLevel(32767);
        const QColor green = ColourAt(meter, 0.25);
        const QColor yellow = ColourAt(meter, 0.875);
        const QColor red = ColourAt(meter, 0.975);
        QVERIFY2(green.green() > 150 && green.red() < 100, qPrintable(green.name()));
        QVERIFY2(yellow.red() > 150 && yellow.green() > 150 && yellow.blue() < 100, qPrintable(yellow.name()));
        QVERIFY2(red.red() > 150 && red.green() < 100, qPrintable(red.name()));

        // Half scale on the dB axis (-30 dBFS): lit left of the middle,
        // dark a little right of it (the peak mark sits at the middle).
        meter.Clear();
        meter.SetLevel(1036);
        const QColor lit = ColourAt(meter, 0.40);
        const QColor dark = ColourAt(meter, 0.60);
        QVERIFY2(lit.green() > 150, qPrintable(lit.name()));
        QVERIFY2(dark.green() < 100, qPrintable(dark.name()));

        meter.Clear();
        const QColor cleared = ColourAt(meter, 0.25);
        QVERIFY2(cleared.green() < 100, qPrintable(cleared.name()));
    }
};

QTEST_MAIN(MeterWidgetTest)
#include "MeterWidgetTest.moc"
