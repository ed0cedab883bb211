#include "programs/Windows1252.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(Windows1252, EveryByteSurvivesTextAndBack)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    const QString text = Windows1252ToString(all);
    ASSERT_EQ(text.size(), 256);
    const std::optional<QByteArray> back = StringToWindows1252(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Windows1252, CharactersOfTheHighControlRange)
{
    struct Case { unsigned char byte; char16_t code; };
    const Case cases[] = {
        {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x8D, 0x008D}, {0x8F, 0x008F},
        {0x90, 0x0090}, {0x92, 0x2019}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0xE9, 0x00E9},
        {0xA0, 0x00A0}, {0x41, 0x0041},
    };
    for (const Case &c : cases) {
        const QString text = Windows1252ToString(QByteArray(1, static_cast<char>(c.byte)));
        EXPECT_EQ(text, QString(QChar(c.code))) << int(c.byte);
        EXPECT_EQ(StringToWindows1252(QString(QChar(c.code))), QByteArray(1, static_cast<char>(c.byte)));
    }
}

TEST(Windows1252, CharactersWithoutAByteAreRefusedOrReplaced)
{
    // U+0080 is not byte 80 (that is the euro sign), and CJK or emoji have no byte at all.
    const QString text = QStringLiteral("ab\u0080c");
    qsizetype bad = -1;
    EXPECT_FALSE(StringToWindows1252(text, &bad).has_value());
    EXPECT_EQ(bad, 2);
    EXPECT_FALSE(StringToWindows1252(QStringLiteral("\u4E2D")).has_value());
    EXPECT_EQ(StringToWindows1252Lossy(QStringLiteral("a\u4E2D\U0001F600b")), QByteArray("a??b"));
}

TEST(Windows1252, ProgramNameBytesPadsAndCuts)
{
    const auto bytes = [](const char *s) {
        std::array<std::uint8_t, kNameSize> a;
        std::copy_n(s, kNameSize, a.begin());
        return a;
    };
    EXPECT_EQ(ProgramNameBytes(QStringLiteral("Bass")), bytes("Bass      "));
    EXPECT_EQ(ProgramNameBytes(QString()), bytes("          "));
    EXPECT_EQ(ProgramNameBytes(QStringLiteral("Subwoofer 12")), bytes("Subwoofer "));
    EXPECT_EQ(ProgramNameBytes(QStringLiteral("Caf\u00E9 \u20AC")), bytes("Caf\xE9 \x80    "));
    EXPECT_EQ(ProgramNameText(bytes("Caf\xE9 \x80    ")), QStringLiteral("Caf\u00E9 \u20AC    "));
}

}  // namespace
}  // namespace talvo
