#include "editors/FrequencyText.h"

#include "editors/CrossoverTable.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(FormatFrequency, StandardForm) {
    struct Case { double hz; const char *text; };
    const Case cases[] = {
        {10, "10Hz"},        {35.1, "35.1Hz"},     {19.7, "19.7Hz"},     {90.1, "90.1Hz"},
        {1000, "1000Hz"},    {1020, "1.02KHz"},    {2000, "2.0KHz"},     {16000, "16.0KHz"},
        {5440, "5.44KHz"},   {10100, "10.1KHz"},   {20200, "20.2KHz"},   {12100, "12.1KHz"},
    };
    for (const auto &c : cases) EXPECT_EQ(FormatFrequency(c.hz), QString::fromLatin1(c.text)) << c.hz;
}

TEST(FormatFrequency, EveryTableValueIsShortAndReadsBack) {
    for (double hz : CrossoverTable()) {
        const QString text = FormatFrequency(hz);
        EXPECT_LE(text.size(), 9) << text.toStdString();
        const auto back = ParseFrequencyText(text, QLocale::c());
        ASSERT_TRUE(back.has_value()) << text.toStdString();
        EXPECT_DOUBLE_EQ(*back, hz) << text.toStdString();
    }
}

TEST(FormatFrequency, AfterSlopeClickNoPointPadding) {
    EXPECT_EQ(FormatFrequency(2000, FrequencyTextForm::PlainKilo), QStringLiteral("2KHz"));
    EXPECT_EQ(FormatFrequency(16000, FrequencyTextForm::PlainKilo), QStringLiteral("16KHz"));
    EXPECT_EQ(FormatFrequency(1020, FrequencyTextForm::PlainKilo), QStringLiteral("1.02KHz"));
    EXPECT_EQ(FormatFrequency(1000, FrequencyTextForm::PlainKilo), QStringLiteral("1000Hz"));
    EXPECT_EQ(FormatFrequency(35.1, FrequencyTextForm::PlainKilo), QStringLiteral("35.1Hz"));
}

TEST(ParseFrequencyText, Examples) {
    struct Case { const char *text; double hz; };
    const Case cases[] = {
        {"1k", 1000},       {"1000Hz", 1000},   {"92", 92},         {"1.5 kHz", 1500},
        {"35.1Hz", 35.1},   {"16.0KHz", 16000}, {"2KHz", 2000},     {" 440 ", 440},
        {"5", 5},           {"25k", 25000},     {"hz100", 100},     {"-3", -3},
        {"1234567", 1234567},
    };
    for (const auto &c : cases) {
        const auto v = ParseFrequencyText(QString::fromLatin1(c.text), QLocale::c());
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(*v, c.hz) << c.text;
    }
}

TEST(ParseFrequencyText, NotANumber) {
    for (const char *text : {"abc", "", "   ", "Hz", "k", "1..2", "1.2.3", "1,5", "inf", "nan", "--1"})
        EXPECT_FALSE(ParseFrequencyText(QString::fromLatin1(text), QLocale::c()).has_value()) << '"' << text << '"';
}

TEST(ParseFrequencyText, SystemDecimalSeparatorAndPoint) {
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_DOUBLE_EQ(ParseFrequencyText(QStringLiteral("1,5k"), german).value(), 1500.0);
    // The boxes are written with a point, so that must read back too.
    EXPECT_DOUBLE_EQ(ParseFrequencyText(QStringLiteral("1.02KHz"), german).value(), 1020.0);
    EXPECT_DOUBLE_EQ(ParseFrequencyText(QStringLiteral("35.1Hz"), german).value(), 35.1);
}

TEST(CrossoverPositionForFrequency, TypedFrequencySelectsThePosition) {
    struct Case { double hz; int minimum; int maximum; int position; };
    const Case cases[] = {
        {1000, 0, 382, 238},   // "1k" / "1000Hz" on the high-pass bar
        {1000, 65, 394, 238},  // and on the low-pass bar
        {92, 0, 394, 115},     // the next table value at or above: 94 Hz
        {90.1, 0, 394, 114},
        {5, 0, 382, 0},        // below 10 Hz: the minimum
        {-3, 0, 382, 0},
        {25000, 65, 394, 394}, // above the maximum: the maximum
        {20000, 0, 382, 382},  // above 16 kHz on a bar limited to 382
        {20, 65, 394, 65},     // below the low-pass minimum (35.1 Hz)
        {500, 200, 394, 202},
        {450, 200, 394, 200},  // below the raised minimum
        {16000.5, 0, 394, 383},
        {20200, 0, 394, 394},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CrossoverPositionForFrequency(c.hz, c.minimum, c.maximum), c.position) << c.hz;
    // Every table value selects its own index.
    for (int i = 0; i < kCrossoverCount; ++i)
        EXPECT_EQ(CrossoverPositionForFrequency(CrossoverTable()[i], 0, 394), i);
}

}  // namespace
}  // namespace talvo
