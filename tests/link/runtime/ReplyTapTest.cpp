// The reply tap and the reply parser must agree on every frame, however the stream is cut.

#include <random>

#include <gtest/gtest.h>

#include "link/ReplyParser.h"
#include "link/ReplyTap.h"

namespace talvo {
namespace {

TEST(ReplyTap, AgreesWithTheParserOnNoisyStreamsByteByByte)
{
    // Streams rich in 250, 251 and 252, so that syncs, broken syncs and syncs inside frames
    // all occur many times.
    std::mt19937 rng(4711);
    int total = 0;
    const std::uint8_t alphabet[] = {250, 251, 252, 0, 1, 16, 231, 239, 5};
    for (int round = 0; round < 200; ++round) {
        ReplyFields fields;
        ReplyParser parser(fields);
        int seen = 0;
        bool checked = true;
        ReplyFrameTap tap([&](const ReplyFrame &f) {
            ++seen;
            // Fed one byte at a time, the parser has just taken the same last byte.
            ReplyFrame fromParser;
            fromParser.address = static_cast<std::uint8_t>(fields.replyAddress);
            fromParser.length = static_cast<std::uint8_t>(fields.replyLength);
            fromParser.command = static_cast<std::uint8_t>(fields.replyCommand);
            fromParser.data = fields.replyData;
            checked = checked && (fromParser == f);
        });
        for (int i = 0; i < 400; ++i) {
            const char b = static_cast<char>(alphabet[rng() % std::size(alphabet)]);
            parser.ParseReplyBytes(QByteArrayView(&b, 1));
            tap.feed(QByteArrayView(&b, 1));
        }
        ASSERT_TRUE(checked) << "round " << round;
        total += seen;
    }
    EXPECT_GT(total, 20);  // the streams did contain whole frames
}

TEST(ReplyTap, FramesSplitAnywhereAndSyncsInsideFrames)
{
    QByteArray frame = QByteArray::fromHex("FAFBFC 05 10 E7 000102030405060708090A0B0C0D0E0F 00");
    for (int cut = 0; cut <= frame.size(); ++cut) {
        std::vector<ReplyFrame> frames;
        ReplyFrameTap tap([&](const ReplyFrame &f) { frames.push_back(f); });
        tap.feed(QByteArrayView(frame).first(cut));
        tap.feed(QByteArrayView(frame).sliced(cut));
        ASSERT_EQ(frames.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(frames[0].address, 5);
        EXPECT_EQ(frames[0].command, 231);
        EXPECT_EQ(frames[0].data[15], 15);
        EXPECT_EQ(frames[0].describe(),
                  QStringLiteral("reply ID 5 command 231 length 16 data 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"));
    }

    std::vector<ReplyFrame> frames;
    ReplyFrameTap tap([&](const ReplyFrame &f) { frames.push_back(f); });
    // 250 251 00 252 is no sync; a sync after the 5th data byte abandons the first frame.
    tap.feed(QByteArray::fromHex("FAFB00FC 01 02 03"));
    tap.feed(QByteArray::fromHex("FAFBFC 01 10 E7 0102030405 FAFBFC 02 10 E8 000000000000000000000000000000FF"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].address, 2);
    EXPECT_EQ(frames[0].command, 232);
    EXPECT_EQ(frames[0].data[15], 0xFF);
}

}  // namespace
}  // namespace talvo
