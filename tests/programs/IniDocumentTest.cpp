#include <gtest/gtest.h>

#include <QBuffer>

#include "programs/IniDocument.h"

namespace talvo {
namespace {

TEST(IniDocument, ReadsHandWrittenFilesLikeTheProfileFunctions) {
    // BOM, LF and CRLF mixed, spaces around names and '=', comments, odd case, duplicates.
    const QByteArray text =
        "\xEF\xBB\xBF; device list\n"
        "[Count]\r\n"
        "NO = 0\n"
        "\n"
        "  [ 7 ]  \n"
        "Name =  Stage left  \r\n"
        "id=12\n"
        "junk line without equals\n"
        "id=99\n"
        "# comment=ignored\n"
        "subid=\"  256 \"\n"
        "[7]\n"
        "name=second section loses\n";
    const IniDocument doc = IniDocument::Parse(text);
    EXPECT_TRUE(doc.HasSection("count"));
    EXPECT_TRUE(doc.HasSection("7"));
    EXPECT_FALSE(doc.HasSection("8"));
    EXPECT_EQ(doc.Value("count", "no"), "0");
    EXPECT_EQ(doc.Value("7", "NAME"), "Stage left");
    EXPECT_EQ(doc.Value("7", "id"), "12");  // the first occurrence wins
    EXPECT_EQ(doc.Value("7", "subid"), "  256 ");
    EXPECT_EQ(doc.Value("7", "# comment"), std::nullopt);
    EXPECT_EQ(doc.Value("7", "vi"), std::nullopt);
    EXPECT_EQ(doc.Value("8", "name"), std::nullopt);
}

class IniDocumentRoundTrip : public ::testing::TestWithParam<IniDocument::InlineComments> {};

TEST_P(IniDocumentRoundTrip, ValuesSurviveTheText) {
    const QString values[] = {
        "",          "plain",       "a=b=c",        " leading",  "trailing ",  "  both  ",
        "\"quoted\"", "'single'",   "\"",           "\"\"",      "'",          "\"mixed'",
        "[5]",        ";semicolon", "#hash",        "back\\slash", "Ünïcødé ä € 漢字",
        "\"half",     "half'",      "x \"y\" z",   "a ; b",     "/dev/ttyUSB0;x", "\";\""};
    IniDocument doc(GetParam());
    for (int i = 0; i < static_cast<int>(std::size(values)); ++i)
        ASSERT_TRUE(doc.SetValue("s", QString("k%1").arg(i), values[i])) << i;
    const IniDocument reread = IniDocument::Parse(doc.Serialize(), GetParam());
    for (int i = 0; i < static_cast<int>(std::size(values)); ++i)
        EXPECT_EQ(reread.Value("s", QString("k%1").arg(i)), values[i]) << values[i].toStdString();
}

INSTANTIATE_TEST_SUITE_P(, IniDocumentRoundTrip,
                         ::testing::Values(IniDocument::InlineComments::NotAllowed,
                                           IniDocument::InlineComments::Allowed),
                         [](const auto &info) {
                             return info.param == IniDocument::InlineComments::Allowed
                                        ? std::string("WithInlineComments")
                                        : std::string("WithoutInlineComments");
                         });

TEST(IniDocument, InlineCommentsEndTheValueAndStayWhereTheyStoodOnARewrite) {
    const QByteArray text =
        "[deziro232]\n"
        "RS232=3                      ; the remembered COM port number\n"
        "[ports]\n"
        "COM7=\"/dev/odd;name\"   ; quoted, so the first ';' is the device's\n"
        "COM8=/dev/ttyUSB1;no space\n";
    IniDocument doc = IniDocument::Parse(text, IniDocument::InlineComments::Allowed);
    EXPECT_EQ(doc.Value("deziro232", "RS232"), "3");
    EXPECT_EQ(doc.Value("ports", "COM7"), "/dev/odd;name");
    EXPECT_EQ(doc.Value("ports", "COM8"), "/dev/ttyUSB1");

    ASSERT_TRUE(doc.SetValue("deziro232", "RS232", "120"));
    ASSERT_TRUE(doc.SetValue("ports", "COM7", "/dev/a-much-longer-device-name-than-before"));
    EXPECT_EQ(doc.Serialize(u"\n"),
              "[deziro232]\n"
              "RS232=120                    ; the remembered COM port number\n"
              "[ports]\n"
              "COM7=/dev/a-much-longer-device-name-than-before ; quoted, so the first ';' is the device's\n"
              "COM8=/dev/ttyUSB1;no space\n");

    // The device list reads a ';' after '=' as part of the value.
    EXPECT_EQ(IniDocument::Parse(text).Value("deziro232", "RS232"),
              "3                      ; the remembered COM port number");
}

TEST(IniDocument, RefusesWhatWouldBreakTheFile) {
    IniDocument doc;
    ASSERT_TRUE(doc.SetValue("1", "name", "ok"));
    const QByteArray before = doc.Serialize();
    for (const QString &value : {QString("two\nlines"), QString("cr\rhere"), QString("tab\there"),
                                 QString(QChar(0)) + "nul"})
        EXPECT_FALSE(doc.SetValue("1", "name", value));
    EXPECT_FALSE(doc.SetValue("", "name", "x"));
    EXPECT_FALSE(doc.SetValue("a]b", "name", "x"));
    EXPECT_FALSE(doc.SetValue("1", "na=me", "x"));
    EXPECT_FALSE(doc.SetValue("1", " name", "x"));
    EXPECT_FALSE(doc.SetValue("1", "[name", "x"));
    EXPECT_EQ(doc.Serialize(), before);
}

TEST(IniDocument, RewritingKeepsEverythingElseAsItWas) {
    const QByteArray text =
        "; kept comment\r\n"
        "[count]\r\n"
        "no=0\r\n"
        "\r\n"
        "[2]\r\n"
        "VI=0\r\n"
        "extra=kept\r\n"
        "\r\n"
        "; trailing comment of section 2\r\n"
        "[1]\r\n"
        "name=x\r\n";
    IniDocument doc = IniDocument::Parse(text);
    EXPECT_EQ(doc.Serialize(), text);  // untouched text comes back byte for byte
    ASSERT_TRUE(doc.SetValue("2", "vi", "1"));       // existing key, the file's spelling kept
    ASSERT_TRUE(doc.SetValue("2", "name", "Amp"));   // new key after the section's last key
    ASSERT_TRUE(doc.SetValue("9", "id", "4"));       // new section at the end
    EXPECT_EQ(doc.Serialize(),
              "; kept comment\r\n"
              "[count]\r\n"
              "no=0\r\n"
              "\r\n"
              "[2]\r\n"
              "VI=1\r\n"
              "extra=kept\r\n"
              "name=Amp\r\n"
              "\r\n"
              "; trailing comment of section 2\r\n"
              "[1]\r\n"
              "name=x\r\n"
              "\r\n"
              "[9]\r\n"
              "id=4\r\n");
}

TEST(IniDocument, BytesThatAreNotUtf8ReadAsLatin1) {
    const IniDocument doc = IniDocument::Parse("[1]\r\nname=Mischpult S\xfc" "d\r\n");
    EXPECT_EQ(doc.Value("1", "name"), QString::fromUtf8("Mischpult Süd"));
    IniDocument written;
    ASSERT_TRUE(written.SetValue("1", "name", QString::fromUtf8("Süd")));
    EXPECT_EQ(written.Serialize(), QByteArray("[1]\r\nname=S\xc3\xbc" "d\r\n"));
}

}  // namespace
}  // namespace talvo

namespace talvo {
namespace {

// A caller tells a file over the limit by getting limit + 1 bytes; pieces must not lose or
// repeat bytes at their seams.
TEST(ReadAtMost, ReadsUpToOneByteOverTheLimit)
{
    struct Case {
        qsizetype size;
        qint64 limit;
        qsizetype expected;
    };
    const Case cases[] = {{0, 10, 0}, {5, 10, 5}, {10, 10, 10}, {11, 10, 11}, {500, 10, 11},
                          {200000, 1 << 20, 200000}, {200000, 100000, 100001}};
    for (const Case &c : cases) {
        QByteArray data(c.size, '\0');
        for (qsizetype i = 0; i < c.size; ++i) data[i] = static_cast<char>(i * 7 + i / 256);
        QBuffer buffer(&data);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(ReadAtMost(buffer, c.limit), data.left(c.expected)) << c.size << " bytes, limit " << c.limit;
    }
}

}  // namespace
}  // namespace talvo
