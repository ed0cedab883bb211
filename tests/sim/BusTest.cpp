// The line: finding frames among other bytes, addressing, collisions, faults and the record.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "SimHarness.h"
#include "sim/Bus.h"

namespace talvo::sim {
namespace {

using testing::Frame;
using testing::Harness;

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// --- finding frames -------------------------------------------------------------------------

struct LineCase {
    const char *name;
    QByteArray bytes;  // written one byte every 6 ms
    int answers;       // replies expected
    int badChecksums;  // frames recorded as ignored
};

class FrameFindingTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FrameFindingTest, AnswersExactlyTheGoodFrames)
{
    const LineCase &c = GetParam();
    Harness h;
    h.add();
    h.bus.receivePaced(c.bytes, 0.0);
    h.bus.flush();
    const QByteArray out = h.bus.takeAll();
    EXPECT_EQ(out.size(), c.answers * kReplyFrameSize);
    int bad = 0, replies = 0;
    for (const auto &f : h.bus.record().frames)
        bad += f.checksumOk ? 0 : 1;
    for (const auto &r : h.bus.record().replies)
        replies += r.bytes.isEmpty() ? 0 : 1;
    EXPECT_EQ(bad, c.badChecksums);
    EXPECT_EQ(replies, c.answers);
}

const QByteArray kConnect = Hex("336677010000DC016442" "99AABB");
const QByteArray kStatus = Hex("336677010000EF016455" "99AABB");

INSTANTIATE_TEST_SUITE_P(
    Sim, FrameFindingTest,
    ::testing::Values(
        LineCase{"Plain", kConnect, 1, 0},
        LineCase{"GarbageBefore", Hex("00FF3366123399") + kConnect, 1, 0},
        LineCase{"PartialStartMarksBefore", Hex("3333663366") + kConnect, 1, 0},
        LineCase{"WrongChecksumIgnored", Hex("336677010000DC016443" "99AABB"), 0, 1},
        LineCase{"WrongChecksumThenGood", Hex("336677010000DC016443" "99AABB") + kStatus, 1, 1},
        // A frame cut short (its sender stopped) and then a whole frame: the whole one counts.
        LineCase{"CutFrameThenGood", Hex("336677010000DC01") + kStatus, 1, 0},
        // Length byte above any frame: the start mark was noise.
        LineCase{"ImpossibleLength", Hex("3366770100000250") + kConnect, 1, 0},
        // End mark bytes inside the data are data: no escaping on the wire.
        LineCase{"MarksInsideData", Hex("336677010000DD1099AABB33667799AABB0000010501010103" "99AABB"), 1, 0},
        LineCase{"TwoFramesBackToBack", kConnect + kStatus, 2, 0},
        LineCase{"OtherAddress", Hex("336677020000DC016443" "99AABB"), 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SimLine, FrameSplitAnywhereGivesTheSameFrame)
{
    for (int split = 1; split < kStatus.size(); ++split) {
        Harness h;
        h.add();
        h.bus.receive(kStatus.left(split), 0.0);
        EXPECT_TRUE(h.bus.record().frames.empty());
        h.bus.receive(kStatus.mid(split), 1.0);
        ASSERT_EQ(h.bus.record().frames.size(), 1u) << split;
        EXPECT_EQ(h.bus.record().frames[0].wire, kStatus);
        h.parser.ParseReplyBytes(h.bus.takeAll());
        EXPECT_EQ(h.fields.statusBlock().received, 100) << split;
    }
}

TEST(SimLine, AStalledFrameIsForgottenAfterTheReceiverTimesOut)
{
    Harness h;
    h.add();
    // The start of a frame whose length byte promises 26 data bytes, then silence, then a
    // status request: without the time-out the request would be taken as the missing data.
    h.bus.receivePaced(Hex("336677010000051A0102"), 0.0);
    h.bus.receivePaced(kStatus, 1000.0);
    ASSERT_EQ(h.bus.record().frames.size(), 1u);
    EXPECT_EQ(h.bus.record().frames[0].frame.command, 239);
    ASSERT_EQ(h.bus.record().garbage.size(), 1u);
    EXPECT_EQ(h.bus.record().garbage[0].bytes, Hex("336677010000051A0102"));
}

// --- addressing and collisions ------------------------------------------------------------

struct TwinBus {
    Harness h;
    Amplifier *first;
    Amplifier *second;

    TwinBus()
    {
        AmplifierConfig a;
        a.id = 3;
        a.subAddress = 1;
        first = &h.add(a);
        a.subAddress = 2;
        a.firmwareMinor = 9;
        a.slotRecords[0][0] = 'X';  // tell the two slot 1 names apart
        second = &h.add(a);
    }
};

TEST(SimCollision, TwoAmplifiersWithOneIdGarbleEachOther)
{
    TwinBus t;
    Harness &h = t.h;
    h.send(Frame(3, 220, {100}));
    EXPECT_EQ(h.fields.replyAddress, 0) << "interleaved replies carry no readable sync";
    EXPECT_EQ(h.lastLine.size(), 2 * kReplyFrameSize);
    EXPECT_TRUE(t.first->connected());
    EXPECT_TRUE(t.second->connected());
    const auto &replies = h.bus.record().replies;
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_TRUE(replies[0].collided);
    EXPECT_TRUE(replies[1].collided);

    // The bytes of both replies are all there, alternating.
    const QByteArray a = replies[0].bytes, b = replies[1].bytes;
    for (int i = 0; i < kReplyFrameSize; ++i) {
        EXPECT_EQ(h.lastLine[2 * i], a[i]);
        EXPECT_EQ(h.lastLine[2 * i + 1], b[i]);
    }

    EXPECT_FALSE(h.requestStatus(3));
    EXPECT_FALSE(h.requestBlock(3, 1, 1));
}

TEST(SimCollision, SubAddressPicksOneOfThem)
{
    TwinBus t;
    Harness &h = t.h;
    for (std::uint16_t sub : {1, 2}) {
        ASSERT_TRUE(h.requestStatus(3, sub)) << sub;
        EXPECT_EQ(h.fields.replyAddress, 3);
        EXPECT_EQ(h.fields.statusBlock().bytes[9], sub == 1 ? 5 : 9);
        ASSERT_TRUE(h.requestBlock(3, 1, 1, sub));
        EXPECT_EQ(h.fields.block(1).bytes[0], sub == 1 ? 'M' : 'X');
    }
    EXPECT_FALSE(h.requestStatus(3, 4)) << "nobody has sub-address 4";

    // A setting sent to one sub-address stays there.
    h.send(Frame(3, 60, {4, 0}, 2));
    EXPECT_EQ(t.second->liveProgram()[51], 4);
    EXPECT_EQ(t.first->liveProgram()[51], 0);
    for (const auto &r : h.bus.record().replies)
        EXPECT_FALSE(r.collided);
}

TEST(SimCollision, DifferentDelaysDoNotCollide)
{
    TwinBus t;
    t.second->faults().replyDelayMs = 20.0;  // the first reply is over by then
    t.h.send(Frame(3, 220, {110}));
    EXPECT_EQ(t.h.fields.replyAddress, 3);
    for (const auto &r : t.h.bus.record().replies)
        EXPECT_FALSE(r.collided);
}

// --- faults ---------------------------------------------------------------------------------

TEST(SimFaults, NoAnswerStillCarriesOutTheCommand)
{
    Harness h;
    AmplifierConfig config;
    config.faults.noAnswer = true;
    Amplifier &amp = h.add(config);
    h.send(Frame(1, 220, {101}));
    EXPECT_TRUE(h.lastLine.isEmpty());
    EXPECT_EQ(h.fields.replyAddress, 0);
    EXPECT_TRUE(amp.connected());
    EXPECT_TRUE(amp.outputMuted(0));
    ASSERT_EQ(h.bus.record().replies.size(), 1u);
    EXPECT_TRUE(h.bus.record().replies[0].silent);
}

TEST(SimFaults, DropShareIsHonouredAndReproducible)
{
    const auto dropped = [](double share, std::uint32_t seed) {
        Harness h;
        AmplifierConfig config;
        config.faults.dropShare = share;
        config.faults.seed = seed;
        h.add(config);
        std::vector<bool> pattern;
        for (int i = 0; i < 200; ++i) {
            h.send(Frame(1, 220, {110}));
            pattern.push_back(h.fields.replyAddress == 0);
            EXPECT_EQ(h.bus.record().replies.back().dropped, pattern.back());
        }
        return pattern;
    };
    const auto none = dropped(0.0, 1);
    EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
    const auto all = dropped(1.0, 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), true), 200);
    const auto half = dropped(0.5, 42);
    const auto count = std::count(half.begin(), half.end(), true);
    EXPECT_GT(count, 60);
    EXPECT_LT(count, 140);
    EXPECT_EQ(dropped(0.5, 42), half) << "the same seed gives the same drill";
}

TEST(SimFaults, ReplyDelayMovesTheReplyOnTheLine)
{
    for (double delay : {0.0, kDefaultReplyDelayMs, 120.0}) {
        Harness h;
        AmplifierConfig config;
        config.faults.replyDelayMs = delay;
        h.add(config);
        const double last = h.bus.receiveFrame(Frame(1, 239, {100}), 0.0);
        ASSERT_TRUE(h.bus.nextDueMs().has_value());
        EXPECT_DOUBLE_EQ(*h.bus.nextDueMs(), last + delay);
        if (delay > 0) {
            EXPECT_TRUE(h.bus.takeDue(last + delay - 0.01).isEmpty());
        }
        const QByteArray first = h.bus.takeDue(last + delay);
        EXPECT_EQ(first.size(), 1) << "one byte at a time at 38400 baud";
        const QByteArray rest = h.bus.takeDue(last + delay + 10.0);
        EXPECT_EQ(rest.size(), kReplyFrameSize - 1);
        EXPECT_FALSE(h.bus.nextDueMs().has_value());
    }
}

TEST(SimFaults, GarbageBeforeEachReplyIsSkippedByTheParser)
{
    Harness h;
    AmplifierConfig config;
    config.faults.garbageBytes = 40;
    config.faults.seed = 7;
    h.add(config);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(h.requestStatus(1)) << i;
        EXPECT_EQ(h.lastLine.size(), 40 + kReplyFrameSize);
        EXPECT_EQ(h.lastLine.indexOf(Hex("FAFBFC")), 40) << "no sync inside the garbage";
    }
}

TEST(SimFaults, ReplyCutShortLeavesTheBlockMissing)
{
    Harness h;
    AmplifierConfig config;
    config.faults.cutShortTo = 12;
    Amplifier &amp = h.add(config);
    EXPECT_FALSE(h.requestStatus(1));
    EXPECT_EQ(h.lastLine.size(), 12);
    EXPECT_EQ(h.fields.replyAddress, 1) << "the ID got through before the cut";
    EXPECT_TRUE(h.bus.record().replies.back().cutShort);

    // Once the fault is cleared the next whole reply is read again.
    amp.faults().cutShortTo = -1;
    EXPECT_TRUE(h.requestStatus(1));
}

// --- the record -------------------------------------------------------------------------------

TEST(SimRecord, TimesGapsAndTimingFlags)
{
    Harness h;
    h.add();
    double t = 0;
    // 1: connect, properly paced bytes.
    t = h.bus.receiveFrame(Frame(1, 220, {100}), t) + 30.0;
    // 2: 30 ms after the connect frame (its pacing): fine; but its bytes come 5 ms apart.
    t = h.bus.receiveFrame(Frame(1, 2, {1, 0, 0xAA}), t, 5.0) + 100.0;
    // 3: only 100 ms after a gain frame (150 ms pacing).
    t = h.bus.receiveFrame(Frame(1, 239, {100}), t) + 150.0;
    // 4: a PEQ band exactly 150 ms after the status request: fine.
    t = h.bus.receiveFrame(Frame(1, 5, {0, 30, 0, 0, 0, 0xAA, 3, 0}), t) + 249.0;
    // 5: 249 ms after a PEQ band (250 ms pacing).
    h.bus.receiveFrame(Frame(1, 239, {100}), t);

    const auto &frames = h.bus.record().frames;
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].gapsMs.size(), 12u);
    EXPECT_DOUBLE_EQ(frames[0].gapsMs[0], 6.0);
    EXPECT_DOUBLE_EQ(frames[0].firstByteMs, 0.0);
    EXPECT_DOUBLE_EQ(frames[0].lastByteMs, 72.0);
    EXPECT_LT(frames[0].sincePreviousMs, 0.0);

    const bool tooClose[] = {false, true, false, false, false};
    const bool tooSoon[] = {false, false, true, false, true};
    const int pacing[] = {0, 30, 150, 150, 250};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(frames[i].bytesTooClose, tooClose[i]) << i;
        EXPECT_EQ(frames[i].pacingTooShort, tooSoon[i]) << i;
        if (i > 0) {
            EXPECT_EQ(frames[i].previousPacingMs, pacing[i]) << i;
        }
    }
    EXPECT_DOUBLE_EQ(frames[2].sincePreviousMs, 100.0);
    EXPECT_EQ(h.bus.record().timingViolations().size(), 3u);
}

TEST(SimRecord, ToleranceForgivesJitterButNotRealFaults)
{
    struct Case {
        const char *name;
        double late;     // one byte's time stamp this much late
        double gap;      // the sender's pause after every byte
        bool flagged;
    };
    const Case cases[] = {
        {"one late time stamp within the tolerance", 0.8, 6.0, false},
        {"one late time stamp beyond it", 3.0, 6.0, true},
        {"every pause a little short", 0.0, 5.5, true},  // 12 x 0.5 ms over the frame
        {"every pause a little long", 0.0, 6.5, false},
    };
    for (const Case &c : cases) {
        BusOptions options;
        options.timingToleranceMs = 1.0;
        Harness h(options);
        h.add();
        const QByteArray wire = Frame(1, 220, {100}).wireBytes();
        for (qsizetype i = 0; i < wire.size(); ++i)
            h.bus.receive(wire.sliced(i, 1), i * c.gap + (i == 5 ? c.late : 0.0));
        ASSERT_EQ(h.bus.record().frames.size(), 1u) << c.name;
        EXPECT_EQ(h.bus.record().frames[0].bytesTooClose, c.flagged) << c.name;
    }
}

TEST(SimRecord, JsonLinesDescribeFramesRepliesGarbageAndCollisions)
{
    Harness h;
    AmplifierConfig a;
    a.id = 3;
    h.add(a);
    a.subAddress = 2;
    h.add(a);
    std::vector<QJsonObject> lines;
    h.bus.record().sink = [&lines](const QJsonObject &o) {
        // Every line must survive the trip through text, as the record file holds it.
        const QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Compact);
        ASSERT_FALSE(text.contains('\n'));
        lines.push_back(QJsonDocument::fromJson(text).object());
    };
    h.bus.receivePaced(Hex("0102"), 0.0);
    h.send(Frame(3, 239, {100}, 2));
    h.send(Frame(3, 220, {110}));
    h.send(Frame(3, 220, {110}, 1));
    h.bus.receivePaced(Hex("336677030000DC016E00" "99AABB"), h.now);

    QStringList types;
    for (const auto &o : lines)
        types << o.value("type").toString();
    EXPECT_EQ(types, (QStringList{"garbage", "frame", "reply", "frame", "reply", "reply", "collision", "frame",
                                  "reply", "frame"}));

    const QJsonObject &frame = lines[1];
    EXPECT_EQ(frame.value("bytes").toString(), "33 66 77 03 00 02 EF 01 64 59 99 AA BB");
    EXPECT_EQ(frame.value("sub_address").toInt(), 2);
    EXPECT_EQ(frame.value("command").toInt(), 239);
    EXPECT_EQ(frame.value("gaps_ms").toArray().size(), 12);
    EXPECT_TRUE(frame.value("checksum_ok").toBool());
    EXPECT_EQ(frame.value("deliveries").toArray().size(), 1);
    EXPECT_TRUE(frame.value("pacing_too_short").isBool());

    const QJsonObject &reply = lines[2];
    EXPECT_EQ(reply.value("frame").toInt(), 0);
    EXPECT_EQ(reply.value("id").toInt(), 3);
    EXPECT_TRUE(reply.value("bytes").toString().startsWith("FA FB FC 03 10 EF"));
    EXPECT_FALSE(reply.value("collided").toBool());
    EXPECT_TRUE(lines[5].value("collided").toBool());
    EXPECT_EQ(lines[6].value("reply").toInt(), 1);
    EXPECT_EQ(lines[8].value("collided").toBool(), false) << "sub-address 1 alone answers";
    EXPECT_FALSE(lines[9].value("checksum_ok").toBool());
    EXPECT_EQ(lines[9].value("deliveries").toArray().size(), 0);
}

}  // namespace
}  // namespace talvo::sim
