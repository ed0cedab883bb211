#include "link/ReplyParser.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <QByteArray>
#include <gtest/gtest.h>

namespace talvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes dataRun(std::uint8_t first)
{
    Bytes d(16);
    for (int i = 0; i < 16; ++i)
        d[i] = static_cast<std::uint8_t>(first + i);
    return d;
}

// Sync, ID, length, command, 16 data bytes and the byte that closes the frame.
Bytes reply(std::uint8_t id, std::uint8_t length, std::uint8_t command, const Bytes &data, std::uint8_t closing = 0x5A)
{
    Bytes out{250, 251, 252, id, length, command};
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(closing);
    return out;
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QByteArray qbytes(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), static_cast<qsizetype>(b.size()));
}

std::array<std::uint8_t, 16> arr(const Bytes &b)
{
    std::array<std::uint8_t, 16> a{};
    std::copy(b.begin(), b.end(), a.begin());
    return a;
}

bool sameFields(const ReplyFields &a, const ReplyFields &b)
{
    if (a.replyAddress != b.replyAddress || a.replyLength != b.replyLength || a.replyCommand != b.replyCommand
        || a.replyData != b.replyData)
        return false;
    for (int k = 1; k <= kProgramBlockCount; ++k) {
        if (a.block(k).received != b.block(k).received || a.block(k).bytes != b.block(k).bytes)
            return false;
    }
    return true;
}

class ReplyParserTest : public testing::Test {
protected:
    void feed(const Bytes &b) { parser.ParseReplyBytes(qbytes(b)); }

    ReplyFields fields;
    ReplyParser parser{fields};
};

TEST_F(ReplyParserTest, FullFrameFillsBlockOneAndTrailingBytesChangeNothing)
{
    const Bytes data = dataRun(0x10);
    feed(reply(5, 16, 231, data));
    EXPECT_EQ(fields.replyAddress, 5);
    EXPECT_EQ(fields.replyLength, 16);
    EXPECT_EQ(fields.replyCommand, 231);
    EXPECT_EQ(fields.block(1).received, 100);
    EXPECT_EQ(fields.block(1).bytes, arr(data));

    const ReplyFields before = fields;
    feed({0x01, 0x02, 0x03, 0x04, 0xFF, 0, 231, 16});
    EXPECT_TRUE(sameFields(fields, before));
}

TEST_F(ReplyParserTest, EveryBlockCommandFillsItsOwnBlockOnly)
{
    for (int k = 1; k <= kProgramBlockCount; ++k) {
        ReplyFields f;
        ReplyParser p{f};
        p.ParseReplyBytes(qbytes(reply(3, 16, static_cast<std::uint8_t>(230 + k), dataRun(static_cast<std::uint8_t>(k * 16)))));
        for (int j = 1; j <= kProgramBlockCount; ++j)
            EXPECT_EQ(f.block(j).received, j == k ? 100 : 0) << "reply " << 230 + k << ", block " << j;
    }
}

TEST_F(ReplyParserTest, StatusReplyFillsTheStatusBlock)
{
    Bytes status(16, 0);
    status[2] = 7;   // running program
    status[6] = 1;   // bridge available
    status[8] = 2;   // firmware 2.13
    status[9] = 13;
    feed(reply(1, 16, 239, status));
    EXPECT_EQ(fields.statusBlock().received, 100);
    EXPECT_EQ(fields.statusBlock().bytes, arr(status));
}

TEST_F(ReplyParserTest, LiveGainReplyChangesOnlySixBytesOfBlockEight)
{
    fields.block(8).bytes.fill(0xEE);
    feed(reply(1, 16, 238, dataRun(1)));
    EXPECT_EQ(fields.block(8).received, 100);
    EXPECT_EQ(fields.block(8).bytes, arr({1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(fields.replyData, arr(dataRun(1)));  // the reply itself still carries all sixteen
}

struct NoBlockCase {
    std::uint8_t length;
    std::uint8_t command;
};

TEST_F(ReplyParserTest, RepliesThatAreNotBlockRepliesFillOnlyTheReplyFields)
{
    const NoBlockCase cases[] = {{15, 231}, {17, 231}, {0, 239}, {16, 230}, {16, 240}, {16, 220}, {16, 0}};
    for (const NoBlockCase &c : cases) {
        ReplyFields f;
        ReplyParser p{f};
        p.ParseReplyBytes(qbytes(reply(9, c.length, c.command, dataRun(0x40))));
        EXPECT_EQ(f.replyAddress, 9);
        EXPECT_EQ(f.replyLength, c.length);
        EXPECT_EQ(f.replyCommand, c.command);
        EXPECT_EQ(f.replyData, arr(dataRun(0x40)));
        for (int k = 1; k <= kProgramBlockCount; ++k) {
            EXPECT_EQ(f.block(k).received, 0) << "length " << int(c.length) << " command " << int(c.command);
            EXPECT_EQ(f.block(k).bytes, arr(Bytes(16, 0)));
        }
    }
}

TEST_F(ReplyParserTest, ReceivedIsNeverClearedByTheParser)
{
    feed(reply(1, 16, 232, dataRun(0)));
    feed(reply(1, 15, 232, dataRun(0x80)));
    EXPECT_EQ(fields.block(2).received, 100);
    EXPECT_EQ(fields.block(2).bytes, arr(dataRun(0)));
}

TEST_F(ReplyParserTest, BrokenSyncStartsNothing)
{
    feed(Bytes{250, 251, 0, 252} + Bytes{5, 16, 231} + dataRun(0) + Bytes{0});
    EXPECT_TRUE(sameFields(fields, ReplyFields{}));
    // Nor do the sync bytes in the wrong order.
    feed(Bytes{251, 250, 252, 5, 16, 231} + dataRun(0) + Bytes{250, 252, 251, 252, 7, 16, 231} + dataRun(0));
    EXPECT_TRUE(sameFields(fields, ReplyFields{}));
}

TEST_F(ReplyParserTest, MarksFromAnEarlierReadDoNotPairWithLaterBytes)
{
    // 250 251 at positions 2 and 3; the 252 of the next read is its 4th byte but position 7.
    // Counting positions per read instead of over the stream would see a sync here.
    feed({0, 250, 251});
    feed(Bytes{0, 0, 0, 252, 5, 16, 231} + dataRun(0) + Bytes{0});
    EXPECT_TRUE(sameFields(fields, ReplyFields{}));
}

TEST_F(ReplyParserTest, SecondSyncAbandonsTheFirstFrame)
{
    const Bytes first = {250, 251, 252, 5, 16, 231, 1, 2, 3, 4, 5};
    const Bytes second = reply(7, 16, 232, dataRun(0x60));
    feed(first + second);
    EXPECT_EQ(fields.replyAddress, 7);
    EXPECT_EQ(fields.replyCommand, 232);
    EXPECT_EQ(fields.replyData, arr(dataRun(0x60)));
    EXPECT_EQ(fields.block(1).received, 0);
    EXPECT_EQ(fields.block(2).received, 100);
    EXPECT_EQ(fields.block(2).bytes, arr(dataRun(0x60)));
}

TEST_F(ReplyParserTest, AbandonedFrameKeepsWhatItFilled)
{
    // The new frame is cut short after its ID; the older fields stay as the first frame left them.
    // The 250 and 251 of the new sync were still data of the first frame when they arrived.
    feed(Bytes{250, 251, 252, 5, 16, 231, 1, 2, 3, 4, 5} + Bytes{250, 251, 252, 7});
    EXPECT_EQ(fields.replyAddress, 7);
    EXPECT_EQ(fields.replyLength, 16);
    EXPECT_EQ(fields.replyCommand, 231);
    EXPECT_EQ(fields.replyData, arr({1, 2, 3, 4, 5, 250, 251}));
    EXPECT_EQ(fields.block(1).received, 0);
}

TEST_F(ReplyParserTest, GarbageBetweenFramesIsIgnored)
{
    const Bytes garbage = {0, 1, 250, 0, 251, 252, 252, 16, 231, 0xFF, 250, 250, 251, 0, 252, 0x33, 0x66, 0x77};
    feed(reply(4, 16, 233, dataRun(0x20)));
    const ReplyFields afterFirst = fields;
    feed(garbage);
    EXPECT_TRUE(sameFields(fields, afterFirst));

    feed(garbage + reply(6, 16, 234, dataRun(0x30)) + garbage);
    EXPECT_EQ(fields.replyAddress, 6);
    EXPECT_EQ(fields.block(3).bytes, arr(dataRun(0x20)));
    EXPECT_EQ(fields.block(4).received, 100);
    EXPECT_EQ(fields.block(4).bytes, arr(dataRun(0x30)));
}

TEST_F(ReplyParserTest, SyncMarksInsideDataAreHarmless)
{
    const Bytes data = {250, 251, 250, 251, 0, 252, 251, 252, 250, 0, 251, 252, 250, 250, 251, 251};
    feed(reply(2, 16, 235, data) + reply(3, 16, 236, dataRun(0)));
    EXPECT_EQ(fields.block(5).received, 100);
    EXPECT_EQ(fields.block(5).bytes, arr(data));
    // A frame that followed directly is still found.
    EXPECT_EQ(fields.replyAddress, 3);
    EXPECT_EQ(fields.block(6).received, 100);
}

TEST_F(ReplyParserTest, IdIsTakenAsSoonAsItArrives)
{
    feed({250, 251, 252, 42});
    EXPECT_EQ(fields.replyAddress, 42);
}

// A stream of several frames with garbage, cut in two at every possible point (and also fed
// one byte at a time), must give exactly what one read of the whole stream gives.
TEST(ReplyParserSplit, AnySplitGivesTheSameFields)
{
    Bytes gains = dataRun(0x70);
    const Bytes stream = Bytes{0, 250, 251} + reply(5, 16, 231, dataRun(0x10)) + Bytes{1, 2, 250}
                         + reply(5, 16, 238, gains) + Bytes{250, 251} + reply(5, 16, 239, dataRun(0x90), 250)
                         + Bytes{251, 252, 8, 16, 232, 1, 2, 3};

    ReplyFields whole;
    ReplyParser wholeParser{whole};
    wholeParser.ParseReplyBytes(qbytes(stream));
    ASSERT_EQ(whole.replyAddress, 8);  // the last frame's sync spans the end of the previous one
    ASSERT_EQ(whole.block(1).received, 100);
    ASSERT_EQ(whole.block(8).received, 100);
    ASSERT_EQ(whole.statusBlock().received, 100);

    const QByteArray all = qbytes(stream);
    for (qsizetype cut = 0; cut <= all.size(); ++cut) {
        ReplyFields split;
        ReplyParser p{split};
        p.ParseReplyBytes(QByteArrayView(all).first(cut));
        p.ParseReplyBytes(QByteArrayView(all).sliced(cut));
        EXPECT_TRUE(sameFields(split, whole)) << "cut after byte " << cut;
    }

    ReplyFields single;
    ReplyParser p{single};
    for (qsizetype i = 0; i < all.size(); ++i)
        p.ParseReplyBytes(QByteArrayView(all).sliced(i, 1));
    EXPECT_TRUE(sameFields(single, whole));
}

TEST(ReplyParserSplit, EmptyReadChangesNothing)
{
    ReplyFields f;
    ReplyParser p{f};
    p.ParseReplyBytes(qbytes({250, 251}));
    p.ParseReplyBytes(QByteArrayView());
    p.ParseReplyBytes(qbytes(Bytes{252, 5, 16, 231} + dataRun(0)));
    EXPECT_EQ(f.replyAddress, 5);
    EXPECT_EQ(f.block(1).received, 100);
}

// The counts the soak test compares with the simulator's record: a reply is counted once its
// closing byte arrived, a resynchronisation when a sync cuts an unfinished reply short; bytes
// between replies are neither, and the pieces a stream arrives in change nothing.
TEST(ReplyCounts, CountWholeRepliesAndResynchronisations)
{
    const Bytes whole = reply(1, 16, 231, dataRun(0));
    const Bytes cut(whole.begin(), whole.begin() + 12);
    struct Case {
        const char *name;
        Bytes stream;
        std::int64_t replies;
        std::int64_t resyncs;
    };
    const Case cases[] = {
        {"one reply", whole, 1, 0},
        {"garbage around replies", Bytes{7, 250, 251, 9} + whole + Bytes{250, 1} + whole + Bytes{0xFF}, 2, 0},
        {"a reply cut short, then a whole one", cut + whole, 1, 1},
        {"two cut short, then garbage and a whole one", cut + cut + Bytes{1, 2, 3} + whole, 1, 2},
        {"a reply without its closing byte", Bytes(whole.begin(), whole.end() - 1), 0, 0},
        {"a reply cut short at the end", whole + cut, 1, 0},
    };
    for (const Case &c : cases) {
        for (const std::size_t piece : {c.stream.size(), std::size_t{1}, std::size_t{5}}) {
            ReplyFields fields;
            ReplyParser parser(fields);
            for (std::size_t at = 0; at < c.stream.size(); at += piece)
                parser.ParseReplyBytes(qbytes(Bytes(c.stream.begin() + static_cast<std::ptrdiff_t>(at),
                                                    c.stream.begin() + static_cast<std::ptrdiff_t>(std::min(at + piece, c.stream.size())))));
            EXPECT_EQ(parser.counts().replies, c.replies) << c.name << ", pieces of " << piece;
            EXPECT_EQ(parser.counts().resyncs, c.resyncs) << c.name << ", pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace talvo
