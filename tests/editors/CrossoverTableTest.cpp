#include "editors/CrossoverTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace talvo {
namespace {

TEST(CrossoverTable, NamedPositions) {
    const auto &t = CrossoverTable();
    struct Case { int index; double hz; };
    const Case cases[] = {
        {0, 10},      {35, 19.7},   {65, 35.1},    {100, 68.8},   {114, 90.1},  {115, 94},
        {200, 481},   {238, 1000},  {239, 1020},   {274, 2000},   {326, 5440},  {327, 5500},
        {328, 5660},  {367, 12100}, {368, 12200},  {382, 16000},  {394, 20200},
    };
    for (const auto &c : cases) EXPECT_EQ(t[c.index], c.hz) << "index " << c.index;
}

TEST(CrossoverTable, RisesInSmallStepsOverTheWholeRange) {
    const auto &t = CrossoverTable();
    for (int i = 1; i < kCrossoverCount; ++i) {
        ASSERT_GT(t[i], t[i - 1]) << "index " << i;
        // About 1/36 octave (1.9 %); the irregular entries stretch a step to at most about 4.3 %.
        EXPECT_LT(t[i] / t[i - 1], 1.045) << "index " << i;
    }
    // Three significant digits: every value is a whole number of its third-digit unit.
    for (int i = 0; i < kCrossoverCount; ++i) {
        const double unit = std::pow(10.0, std::floor(std::log10(t[i])) - 2);
        const double steps = t[i] / unit;
        EXPECT_NEAR(steps, std::round(steps), 1e-6) << "index " << i;
    }
}

TEST(CrossoverTable, IndexOfFindsExactValuesOnly) {
    const auto &t = CrossoverTable();
    for (int i = 0; i < kCrossoverCount; ++i) ASSERT_EQ(CrossoverIndexOf(t[i]), i);
    for (double f : {0.0, 9.99, 10.1, 92.0, 999.9, 1000.5, 20200.01, 25000.0, -10.0, std::nan("")})
        EXPECT_EQ(CrossoverIndexOf(f), -1) << f;
}

TEST(SlopeTypeText, AllSixteenTexts) {
    const char *expected[] = {
        "6dB Butterworth",  "12dB/0.5",        "12dB/0.6",         "12dB/0.7",
        "12dB/0.8",         "12dB/1.0",        "12dB/1.2",         "12dB/1.5",
        "12dB/2.0",         "12dB Bessel",     "12dB Butterworth", "18dB Butterworth",
        "24dB butterworth", "24dB Link-Riley", "48dB Butterworth", "48dB Link-Riley",
    };
    for (int i = 0; i < kSlopeTypeCount; ++i) {
        ASSERT_NE(SlopeTypeText(i), nullptr);
        EXPECT_EQ(std::string(SlopeTypeText(i)), expected[i]) << i;
    }
    EXPECT_EQ(SlopeTypeText(-1), nullptr);
    EXPECT_EQ(SlopeTypeText(16), nullptr);
}

}  // namespace
}  // namespace talvo
