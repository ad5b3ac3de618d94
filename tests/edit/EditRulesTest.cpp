// The plain rules under the edit dialogs: how boxes read numbers, what the
// silence dialog accepts, and how the level meter moves over time.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "CFieldCheck.h"
#include "CMeterBallistics.h"
#include "CSilenceAmount.h"

namespace {

const char* const kBetweenHalfAndOne = "Please enter a number between 0.5 and 1.";

TEST(FieldCheck, NumbersShowWithFifteenSignificantDigits)
{
    EXPECT_EQ(CFieldCheck::FormatNumber(0.9998), "0.9998");
    EXPECT_EQ(CFieldCheck::FormatNumber(1.0), "1");
    EXPECT_EQ(CFieldCheck::FormatNumber(0.02), "0.02");
    EXPECT_EQ(CFieldCheck::FormatNumber(0.0), "0");
    EXPECT_EQ(CFieldCheck::FormatNumber(-0.5), "-0.5");
    EXPECT_EQ(CFieldCheck::FormatNumber(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(CFieldCheck::FormatNumber(123456789012345678.0), "1.23456789012346e+17");
    EXPECT_EQ(CFieldCheck::FormatNumber(0.00001), "1e-05");
}

TEST(FieldCheck, ResultsShowRoundedToThreeSignificantDigits)
{
    for (const auto& [value, shown] : {std::pair<double, const char*>{-1.06175300664568, "-1.06"},
                                       {88.1234, "88.1"},
                                       {37.0, "37"},
                                       {0.0, "0"},
                                       {1.0 / 3.0, "0.333"},
                                       {-12.345, "-12.3"},
                                       {12.5, "12.5"},
                                       {-1.0, "-1"},
                                       {9.996, "10"},
                                       {1440000.0, "1440000"},
                                       {123456.78, "123457"},
                                       {0.000123456, "0.000123"},
                                       {1e-9, "0"},
                                       {-1e-9, "0"},
                                       {HUGE_VAL, "inf"}})
        EXPECT_EQ(CFieldCheck::FormatResult(value), shown) << value;
}

TEST(FieldCheck, StoredFormIsSixDecimals)
{
    EXPECT_EQ(CFieldCheck::FormatFixed(0.9998), "0.999800");
    EXPECT_EQ(CFieldCheck::FormatFixed(0.02), "0.020000");
    EXPECT_EQ(CFieldCheck::FormatFixed(1.0), "1.000000");
    EXPECT_EQ(CFieldCheck::FormatFixed(5.0), "5.000000");
    EXPECT_EQ(CFieldCheck::FormatFixed(0.0000004), "0.000000");
}

TEST(FieldCheck, DoubleBoxAcceptsOneNumberBetweenBlanksWithinRangeEnds)
{
    std::string message;
    for (const auto& [text, expected] : {std::pair<const char*, double>{"0.5", 0.5},
                                         {"1", 1.0},
                                         {" \t0.75  ", 0.75},
                                         {"1e0", 1.0},
                                         {".6", 0.6},
                                         {"+0.9998", 0.9998}}) {
        double value = -1;
        EXPECT_TRUE(CFieldCheck::ReadDouble(text, 0.5, 1.0, value, message)) << text;
        EXPECT_DOUBLE_EQ(value, expected) << text;
    }
}

TEST(FieldCheck, DoubleBoxRefusesTextAndOutOfRangeWithTheirMessages)
{
    for (const char* text : {"", "   ", "abc", "0.5x", "1 2", "-", "."}) {
        double value = 0.75;
        std::string message;
        EXPECT_FALSE(CFieldCheck::ReadDouble(text, 0.5, 1.0, value, message)) << text;
        EXPECT_EQ(message, "Please enter a number.") << text;
        EXPECT_EQ(value, 0.75) << "a refused box leaves the value alone: " << text;
    }
    for (const char* text : {"2.000000", "0.49999", "1.0000001", "-1", "inf", "nan", "-nan"}) {
        double value = 0.75;
        std::string message;
        EXPECT_FALSE(CFieldCheck::ReadDouble(text, 0.5, 1.0, value, message)) << text;
        EXPECT_EQ(message, kBetweenHalfAndOne) << text;
        EXPECT_EQ(value, 0.75) << text;
    }
    std::string message;
    double value = 0;
    EXPECT_FALSE(CFieldCheck::ReadDouble("5.5", 0.0, 5.0, value, message));
    EXPECT_EQ(message, "Please enter a number between 0 and 5.");
}

TEST(FieldCheck, UnsignedBoxTakesDigitsOnlyThenItsRange)
{
    std::string message;
    for (const auto& [text, expected] :
         {std::pair<const char*, uint32_t>{"500", 500}, {"0", 0}, {" 2000\t", 2000}, {"+7", 7}, {"0007", 7}}) {
        uint32_t value = 99;
        EXPECT_TRUE(CFieldCheck::ReadUInt(text, 0, 2000, value, message)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text :
         {"", " ", "-1", "-0", "abc", "12a", "1.5", "1 2", "+", "4294967296", "99999999999999999999999"}) {
        uint32_t value = 99;
        EXPECT_FALSE(CFieldCheck::ReadUInt(text, 0, 2000, value, message)) << text;
        EXPECT_EQ(message, "Please enter a positive integer.") << text;
        EXPECT_EQ(value, 99u) << text;
    }
    for (const char* text : {"2001", "4294967295"}) {
        uint32_t value = 99;
        EXPECT_FALSE(CFieldCheck::ReadUInt(text, 0, 2000, value, message)) << text;
        EXPECT_EQ(message, "Please enter an integer between 0 and 2000.") << text;
        EXPECT_EQ(value, 99u) << text;
    }
}

TEST(FieldCheck, StandardConversionsReadTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(CFieldCheck::TextToDouble("0.999800"), 0.9998);
    EXPECT_DOUBLE_EQ(CFieldCheck::TextToDouble("  2.5abc"), 2.5);
    EXPECT_EQ(CFieldCheck::TextToDouble("abc"), 0.0);
    EXPECT_EQ(CFieldCheck::TextToDouble(""), 0.0);
    EXPECT_TRUE(std::isnan(CFieldCheck::TextToDouble("nan")));

    EXPECT_EQ(CFieldCheck::TextToInt("500"), 500);
    EXPECT_EQ(CFieldCheck::TextToInt(" -5"), -5);
    EXPECT_EQ(CFieldCheck::TextToInt("12abc"), 12);
    EXPECT_EQ(CFieldCheck::TextToInt("x12"), 0);
    EXPECT_EQ(CFieldCheck::TextToInt("99999999999"), INT32_MAX);
    EXPECT_EQ(CFieldCheck::TextToInt("-99999999999"), INT32_MIN);
}

TEST(SilenceAmount, MaximumIsRoomOverEightCappedAtOneSecond)
{
    EXPECT_EQ(CSilenceAmount(4120577).Maximum(), 1000u);
    EXPECT_EQ(CSilenceAmount(4120577).RangeText(), "(0 - 1000)");
    EXPECT_EQ(CSilenceAmount(UINT32_MAX).Maximum(), 1000u);
    EXPECT_EQ(CSilenceAmount(8007).Maximum(), 1000u);
    EXPECT_EQ(CSilenceAmount(7999).Maximum(), 999u);
    EXPECT_EQ(CSilenceAmount(4000).RangeText(), "(0 - 500)");
    EXPECT_EQ(CSilenceAmount(7).Maximum(), 0u);
    EXPECT_EQ(CSilenceAmount(7).RangeText(), "(0 - 0)");
    EXPECT_EQ(CSilenceAmount(0).Maximum(), 0u);
}

TEST(SilenceAmount, AmountAboveMaximumGetsItsOwnMessage)
{
    const CSilenceAmount rule(4000);
    uint32_t amount = 0;
    std::string message;
    EXPECT_FALSE(rule.Check("600", amount, message));
    EXPECT_EQ(message, "Please enter a value between 0 and 500");
    EXPECT_EQ(amount, 0u);
    EXPECT_TRUE(rule.Check("500", amount, message));
    EXPECT_EQ(amount, 500u);
    EXPECT_TRUE(rule.Check("0", amount, message));
    EXPECT_EQ(amount, 0u);
}

TEST(SilenceAmount, TinyRoomAcceptsOnlyZero)
{
    const CSilenceAmount rule(7);
    uint32_t amount = 5;
    std::string message;
    EXPECT_FALSE(rule.Check("1", amount, message));
    EXPECT_EQ(message, "Please enter a value between 0 and 0");
    EXPECT_EQ(amount, 5u);
    EXPECT_TRUE(rule.Check("0", amount, message));
    EXPECT_EQ(amount, 0u);
}

TEST(SilenceAmount, BoxRulesComeBeforeTheMaximum)
{
    const CSilenceAmount rule(4000);
    uint32_t amount = 0;
    std::string message;
    EXPECT_FALSE(rule.Check("12ab", amount, message));
    EXPECT_EQ(message, "Please enter a positive integer.");
    EXPECT_FALSE(rule.Check("-3", amount, message));
    EXPECT_EQ(message, "Please enter a positive integer.");
    EXPECT_FALSE(rule.Check("", amount, message));
    EXPECT_EQ(message, "Please enter a positive integer.");
    EXPECT_FALSE(rule.Check("1001", amount, message));
    EXPECT_EQ(message, "Please enter an integer between 0 and 1000.");
}

// ---- the meter's motion

using B = CMeterBallistics;

// The input level that sits at db dBFS.
int LevelAt(double db)
{
    return int(std::lround(B::kFullScale * std::pow(10.0, db / 20.0)));
}

TEST(MeterBallistics, LevelsMapOntoTheDbScale)
{
    EXPECT_EQ(B::LevelToDb(0), B::kFloorDb);
    EXPECT_EQ(B::LevelToDb(32767), 0.0);
    EXPECT_NEAR(B::LevelToDb(16384), -6.02, 0.01);
    EXPECT_NEAR(B::LevelToDb(328), -40.0, 0.02);
    // Below the floor, and outside the range, clamp.
    EXPECT_EQ(B::LevelToDb(1), B::kFloorDb);
    EXPECT_EQ(B::LevelToDb(-5), B::kFloorDb);
    EXPECT_EQ(B::LevelToDb(40000), 0.0);
    EXPECT_EQ(B::LevelToDb(INT32_MAX), 0.0);
    EXPECT_EQ(B::LevelToDb(INT32_MIN), B::kFloorDb);

    EXPECT_EQ(B::Fraction(B::kFloorDb), 0.0);
    EXPECT_EQ(B::Fraction(0.0), 1.0);
    EXPECT_DOUBLE_EQ(B::Fraction(-30.0), 0.5);
    EXPECT_EQ(B::Fraction(-80.0), 0.0);
    EXPECT_EQ(B::Fraction(3.0), 1.0);
}

TEST(MeterBallistics, ZonesAreGreenYellowRedFromLeftToRight)
{
    EXPECT_EQ(B::ZoneOf(B::kFloorDb), B::Zone::Green);
    EXPECT_EQ(B::ZoneOf(-12.01), B::Zone::Green);
    EXPECT_EQ(B::ZoneOf(-12.0), B::Zone::Yellow);
    EXPECT_EQ(B::ZoneOf(-3.01), B::Zone::Yellow);
    EXPECT_EQ(B::ZoneOf(-3.0), B::Zone::Red);
    EXPECT_EQ(B::ZoneOf(0.0), B::Zone::Red);
    // In input levels: a third of full scale is yellow, a quarter still
    // green, 90 % red.
    EXPECT_EQ(B::ZoneOf(B::LevelToDb(32767 / 3)), B::Zone::Yellow);
    EXPECT_EQ(B::ZoneOf(B::LevelToDb(32767 / 4)), B::Zone::Green);
    EXPECT_EQ(B::ZoneOf(B::LevelToDb(32767 * 9 / 10)), B::Zone::Red);
    EXPECT_EQ(B::ZoneOf(B::LevelToDb(LevelAt(-20))), B::Zone::Green);
}

TEST(MeterBallistics, StartsAndClearsToRest)
{
    B meter;
    EXPECT_TRUE(meter.AtRest(0));
    EXPECT_TRUE(meter.AtRest(123456));
    EXPECT_EQ(meter.BarDb(5000), B::kFloorDb);

    meter.SetLevel(32767, 1000);
    EXPECT_EQ(meter.BarDb(1000), 0.0);
    EXPECT_EQ(meter.PeakDb(1000), 0.0);
    EXPECT_FALSE(meter.AtRest(1000));
    meter.Clear();
    EXPECT_TRUE(meter.AtRest(1000));
    EXPECT_EQ(meter.BarDb(1000), B::kFloorDb);
    EXPECT_EQ(meter.PeakDb(1000), B::kFloorDb);

    // A level of 0 at rest leaves it at rest.
    meter.SetLevel(0, 2000);
    EXPECT_TRUE(meter.AtRest(2000));
}

TEST(MeterBallistics, BarRisesAtOnceAndFallsSmoothly)
{
    B meter;
    const uint32_t t0 = 10000;
    meter.SetLevel(32767, t0);
    // The input drops to nothing: the bar follows it down gradually.
    meter.SetLevel(0, t0 + 15);
    EXPECT_NEAR(meter.BarDb(t0 + 15), -0.45, 1e-9);
    EXPECT_NEAR(meter.BarDb(t0 + 1000), -30.0, 1e-9);

    double last = meter.BarDb(t0 + 15);
    for (uint32_t t = t0 + 15; t <= t0 + 2100; t += 15) {
        meter.SetLevel(0, t);  // the recorder keeps sending silence
        const double now = meter.BarDb(t);
        EXPECT_LE(now, last) << t;
        EXPECT_LE(last - now, 0.5) << "a tick's fall stays small at " << t;
        last = now;
    }
    EXPECT_EQ(meter.BarDb(t0 + 2100), B::kFloorDb);

    // A loud input lifts the falling bar at once.
    meter.SetLevel(32767, t0 + 3000);
    meter.SetLevel(LevelAt(-40), t0 + 3300);
    EXPECT_NEAR(meter.BarDb(t0 + 3300), -9.0, 1e-9);
    meter.SetLevel(LevelAt(-6), t0 + 3315);
    EXPECT_NEAR(meter.BarDb(t0 + 3315), -6.0, 0.01);
}

TEST(MeterBallistics, PeakHoldsThenFallsBackAndNeverSitsBelowTheBar)
{
    B meter;
    const uint32_t t0 = 500;
    meter.SetLevel(LevelAt(-6), t0);
    for (uint32_t t = t0 + 15; t <= t0 + 1500; t += 15) {
        meter.SetLevel(LevelAt(-40), t);
        EXPECT_NEAR(meter.PeakDb(t), -6.0, 0.01) << "held at " << t;
    }
    for (uint32_t t = t0 + 1515; t <= t0 + 3600; t += 15) {
        meter.SetLevel(LevelAt(-40), t);
        EXPECT_GE(meter.PeakDb(t), meter.BarDb(t)) << t;
        if (t == t0 + 2010) {
            EXPECT_NEAR(meter.PeakDb(t), -16.2, 0.01) << "falling at 20 dB/s";
        }
    }
    // The input holds the bar at -40, and the falling mark stops on it.
    EXPECT_NEAR(meter.PeakDb(t0 + 3600), -40.0, 0.01);

    // A new, higher peak during the hold starts the hold again.
    B again;
    again.SetLevel(LevelAt(-20), 0);
    again.SetLevel(LevelAt(-10), 1000);
    EXPECT_NEAR(again.PeakDb(2400), -10.0, 0.01);
    EXPECT_NEAR(again.PeakDb(3000), -20.0, 0.01);
}

TEST(MeterBallistics, ComesToRestOnlyWhenThePeakMarkHasFallenToo)
{
    B meter;
    meter.SetLevel(32767, 0);
    // The bar is gone after 2 s; the mark holds 1.5 s and falls 60 dB in 3 s.
    EXPECT_EQ(meter.BarDb(2000), B::kFloorDb);
    EXPECT_FALSE(meter.AtRest(2000));
    EXPECT_FALSE(meter.AtRest(4400));
    EXPECT_TRUE(meter.AtRest(4500));
}

TEST(MeterBallistics, TickCountWrapIsHarmless)
{
    B meter;
    // A reading just before the last level shows that level, not a wrap.
    meter.SetLevel(32767, 5000);
    EXPECT_EQ(meter.BarDb(4990), 0.0);
    EXPECT_EQ(meter.PeakDb(4990), 0.0);
    meter.Clear();

    const uint32_t before = 0xFFFFFF00u;
    meter.SetLevel(32767, before);
    const uint32_t after = before + 272;  // wrapped past zero
    EXPECT_LT(after, before);
    EXPECT_NEAR(meter.BarDb(after), -8.16, 1e-9);
    EXPECT_NEAR(meter.PeakDb(after), 0.0, 1e-9);
}

}  // namespace
