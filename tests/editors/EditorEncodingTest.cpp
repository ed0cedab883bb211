// What the editors put on the wire and show, for the values that matter: gains, delays,
// limiter parameters, fractional slider positions and the per-mode panel diagram.

#include <array>
#include <cmath>
#include <limits>

#include <ostream>

#include <gtest/gtest.h>

#include "editors/DelayModel.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "editors/SliderValue.h"

namespace talvo::testing {
namespace {

struct GainCase {
    const char *name;
    int position;
    std::array<std::uint8_t, 3> bytes;
    const char *text;
};

// Test lists show the case's name.
void PrintTo(const GainCase &c, std::ostream *os)
{
    *os << c.name;
}

class GainEncoding : public ::testing::TestWithParam<GainCase> {};

TEST_P(GainEncoding, BytesAndText)
{
    const GainCase &c = GetParam();
    EXPECT_EQ(GainBytes(c.position), c.bytes);
    EXPECT_EQ(GainText(c.position).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Positions, GainEncoding,
                         ::testing::Values(GainCase{"Bottom", -600, {60, 0, 85}, "-60.0dB"},
                                           GainCase{"Top", 60, {6, 0, 170}, "6.0dB"},
                                           GainCase{"Zero", 0, {0, 0, 170}, "0.0dB"},
                                           GainCase{"MinusHalf", -5, {0, 50, 85}, "-0.5dB"},
                                           GainCase{"MinusTwelveAndHalf", -125, {12, 50, 85}, "-12.5dB"},
                                           GainCase{"PlusPointSeven", 7, {0, 70, 170}, "0.7dB"},
                                           GainCase{"MinusThreePointFive", -35, {3, 50, 85}, "-3.5dB"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct DelayCase {
    const char *name;
    int position;
    DelayUnit unit;
    std::array<std::uint8_t, 2> bytes;
    const char *text;
};

// Test lists show the case's name.
void PrintTo(const DelayCase &c, std::ostream *os)
{
    *os << c.name;
}

class DelayEncoding : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelayEncoding, BytesAndText)
{
    const DelayCase &c = GetParam();
    EXPECT_EQ(DelayBytes(c.position), c.bytes);
    EXPECT_EQ(DelayText(c.position, c.unit).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Positions, DelayEncoding,
                         ::testing::Values(DelayCase{"ZeroMs", 0, DelayUnit::Millisecond, {0, 0}, "0.00MS"},
                                           DelayCase{"SevenMs", 700, DelayUnit::Millisecond, {7, 0}, "7.00MS"},
                                           DelayCase{"FiveHundredths", 5, DelayUnit::Millisecond, {0, 5}, "0.05MS"},
                                           DelayCase{"HalfwayMs", 350, DelayUnit::Millisecond, {3, 50}, "3.50MS"},
                                           DelayCase{"HalfwayMeter", 350, DelayUnit::Meter, {3, 50}, "1.20M"},
                                           DelayCase{"HalfwayFeet", 350, DelayUnit::Feet, {3, 50}, "3.94FT"},
                                           DelayCase{"SevenMsInMeter", 700, DelayUnit::Meter, {7, 0}, "2.40M"},
                                           DelayCase{"OneMsInFeet", 100, DelayUnit::Feet, {1, 0}, "1.13FT"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DelayUnits, TypedValueGivesTheSliderPosition)
{
    // One meter is 291.55 positions (to two decimals), which the slider takes as 292.
    EXPECT_NEAR(DelayPositionFor(1, DelayUnit::Meter), 291.55, 0.005);
    EXPECT_EQ(SliderPosition(DelayPositionFor(1, DelayUnit::Meter), kDelaySliderMin, kDelaySliderMax), 292);
    EXPECT_EQ(DelayText(292, DelayUnit::Meter).toStdString(), "1.00M");
    EXPECT_EQ(SliderPosition(DelayPositionFor(3.5, DelayUnit::Millisecond), kDelaySliderMin, kDelaySliderMax), 350);
    EXPECT_EQ(DelayUnitData(DelayUnit::Meter).maximum, 2.401);
    EXPECT_EQ(DelayUnitData(DelayUnit::Feet).maximum, 7.88);
    EXPECT_STREQ(DelayUnitData(DelayUnit::Feet).suffix, "FT");
}

struct SliderCase {
    const char *name;
    double position;
    int min;
    int max;
    int taken;
};

// Test lists show the case's name.
void PrintTo(const SliderCase &c, std::ostream *os)
{
    *os << c.name;
}

class SliderPositions : public ::testing::TestWithParam<SliderCase> {};

TEST_P(SliderPositions, FractionsRoundUpAndEndsLimit)
{
    const SliderCase &c = GetParam();
    EXPECT_EQ(SliderPosition(c.position, c.min, c.max), c.taken);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SliderPositions,
    ::testing::Values(SliderCase{"Whole", 35, -600, 60, 35}, SliderCase{"FractionUp", 291.55, 0, 700, 292},
                      SliderCase{"NegativeFractionUp", -125.5, -600, 60, -125},
                      // 1.1 x 10 computes as 11.000000000000002: still 11.
                      SliderCase{"BinaryNoiseIsWhole", 1.1 * 10.0, -600, 60, 11},
                      SliderCase{"BelowRange", -700, -600, 60, -600}, SliderCase{"AboveRange", 1000.5, 0, 700, 700},
                      SliderCase{"NotANumber", std::numeric_limits<double>::quiet_NaN(), 0, 64, 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct LimiterCase {
    const char *name;
    LimiterParameter parameter;
    int value;
    QByteArray bytes;
    const char *text;
};

// Test lists show the case's name.
void PrintTo(const LimiterCase &c, std::ostream *os)
{
    *os << c.name;
}

class LimiterEncoding : public ::testing::TestWithParam<LimiterCase> {};

TEST_P(LimiterEncoding, BytesAndText)
{
    const LimiterCase &c = GetParam();
    EXPECT_EQ(LimiterBytes(c.parameter, c.value).toHex().toStdString(), c.bytes.toHex().toStdString());
    EXPECT_EQ(LimiterText(c.parameter, c.value).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LimiterEncoding,
    ::testing::Values(LimiterCase{"ThresholdBottom", LimiterParameter::Threshold, 0, QByteArray("\x00", 1), "-41dB"},
                      LimiterCase{"ThresholdZeroDb", LimiterParameter::Threshold, 41, QByteArray("\x29", 1), "0dB"},
                      LimiterCase{"ThresholdTop", LimiterParameter::Threshold, 64, QByteArray("\x40", 1), "23dB"},
                      LimiterCase{"AttackTop", LimiterParameter::Attack, 1000, QByteArray("\x03\xE8", 2), "1000"},
                      LimiterCase{"HoldZero", LimiterParameter::Hold, 0, QByteArray("\x00\x00", 2), "0"},
                      LimiterCase{"DecayLowByteOnly", LimiterParameter::Decay, 255, QByteArray("\x00\xFF", 2), "255"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(EditorTraits, LeftAndRightDiffer)
{
    EXPECT_EQ(GainTraits(0).normalCommand, 2);
    EXPECT_EQ(GainTraits(1).sineCommand, 100);
    EXPECT_EQ(GainTraits(0).timerIntervalMs, 350);
    EXPECT_EQ(GainTraits(1).timerIntervalMs, 300);
    EXPECT_EQ(GainTraits(0).wheelStep, 100);
    EXPECT_EQ(GainTraits(1).wheelStep, 5);
    EXPECT_TRUE(GainTraits(0).trackClickPages);
    EXPECT_TRUE(GainTraits(1).dragAnywhere);
    EXPECT_STREQ(GainTraits(1).caption, "RIGHT VOL");
    EXPECT_EQ(DelayTraits(1).command, 156);
    EXPECT_EQ(LimiterTraits(1).commands, (std::array<std::uint8_t, 4>{157, 192, 190, 193}));
    EXPECT_STREQ(LimiterTraits(0).objectName, "TForm11");
}

struct DiagramCase {
    const char *name;
    Mode mode;
    bool rightChain;
    std::array<bool, 6> arrows14to19;
};

// Test lists show the case's name.
void PrintTo(const DiagramCase &c, std::ostream *os)
{
    *os << c.name;
}

class ModeDiagram : public ::testing::TestWithParam<DiagramCase> {};

TEST_P(ModeDiagram, ShowsTheRoutingOfTheMode)
{
    const DiagramCase &c = GetParam();
    const PanelDiagram d = DiagramFor(c.mode);
    EXPECT_EQ(d.rightChainShown, c.rightChain);
    for (int n = 14; n <= 19; ++n)
        EXPECT_EQ(d.ArrowShown(n), c.arrows14to19[static_cast<std::size_t>(n - 14)]) << "iLedArrow" << n;
    for (int n = 7; n <= 12; ++n)
        EXPECT_EQ(d.ArrowShown(n), c.rightChain) << "iLedArrow" << n;
    for (int n : {1, 6, 13})
        EXPECT_TRUE(d.ArrowShown(n)) << "iLedArrow" << n;
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeDiagram,
                         ::testing::Values(DiagramCase{"Stereo", Mode::Stereo, true, {true, false, false, false, false, false}},
                                           DiagramCase{"Bridge", Mode::Bridge, false, {false, true, true, true, true, false}},
                                           DiagramCase{"Mono", Mode::Mono, false, {false, false, false, true, false, true}}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvo::testing
